// skin_paint OUTDIR
// Draws the launcher's skin images from plain shapes and colours: buttons,
// progress bar, warning icon, drop shadow, the download page backgrounds and
// the program's icon.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

struct Rgba {
  double r, g, b, a;  // 0..255, straight alpha
};

class Image {
 public:
  Image(int w, int h) : m_w(w), m_h(h), m_px(static_cast<size_t>(w) * h, Rgba{0, 0, 0, 0}) {}
  int w() const { return m_w; }
  int h() const { return m_h; }

  // Paints `colour` where `inside` holds, with 4x4 samples per pixel for smooth edges.
  void shape(const std::function<bool(double, double)>& inside, Rgba colour) {
    for (int y = 0; y < m_h; ++y)
      for (int x = 0; x < m_w; ++x) {
        int hits = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx) hits += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
        if (hits) over(x, y, Rgba{colour.r, colour.g, colour.b, colour.a * hits / 16});
      }
  }
  void fill(const std::function<Rgba(int, int)>& colourAt) {
    for (int y = 0; y < m_h; ++y)
      for (int x = 0; x < m_w; ++x) over(x, y, colourAt(x, y));
  }
  bool writePng(const std::string& path) const {
    const auto bytes = pack(4);
    return stbi_write_png(path.c_str(), m_w, m_h, 4, bytes.data(), m_w * 4) != 0;
  }
  bool writeJpg(const std::string& path) const {
    const auto bytes = pack(3);
    return stbi_write_jpg(path.c_str(), m_w, m_h, 3, bytes.data(), 90) != 0;
  }
  // The icon resource's image: a 32-bit DIB (height doubled, rows bottom up,
  // BGRA) followed by an all-clear AND mask; alpha does the shape.
  std::vector<uint8_t> iconDib() const {
    std::vector<uint8_t> out;
    auto put = [&out](uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put(40, 4), put(m_w, 4), put(m_h * 2, 4), put(1, 2), put(32, 2);
    for (int i = 0; i < 6; ++i) put(0, 4);
    const auto rgba = pack(4);
    for (int y = m_h - 1; y >= 0; --y)
      for (int x = 0; x < m_w; ++x) {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * m_w + x) * 4];
        out.insert(out.end(), {p[2], p[1], p[0], p[3]});
      }
    const int maskRow = (m_w + 31) / 32 * 4;
    out.insert(out.end(), static_cast<size_t>(maskRow) * m_h, 0);
    return out;
  }

 private:
  void over(int x, int y, Rgba s) {
    Rgba& d = m_px[static_cast<size_t>(y) * m_w + x];
    const double sa = s.a / 255, da = d.a / 255, oa = sa + da * (1 - sa);
    if (oa <= 0) return;
    d.r = (s.r * sa + d.r * da * (1 - sa)) / oa;
    d.g = (s.g * sa + d.g * da * (1 - sa)) / oa;
    d.b = (s.b * sa + d.b * da * (1 - sa)) / oa;
    d.a = oa * 255;
  }
  std::vector<uint8_t> pack(int channels) const {
    std::vector<uint8_t> out;
    out.reserve(m_px.size() * channels);
    for (const Rgba& p : m_px) {
      out.push_back(static_cast<uint8_t>(std::lround(p.r)));
      out.push_back(static_cast<uint8_t>(std::lround(p.g)));
      out.push_back(static_cast<uint8_t>(std::lround(p.b)));
      if (channels == 4) out.push_back(static_cast<uint8_t>(std::lround(p.a)));
    }
    return out;
  }
  int m_w, m_h;
  std::vector<Rgba> m_px;
};

Rgba hex(uint32_t rgb, double alpha = 255) {
  return Rgba{double((rgb >> 16) & 0xFF), double((rgb >> 8) & 0xFF), double(rgb & 0xFF), alpha};
}

std::function<bool(double, double)> roundRect(double l, double t, double r, double b, double radius) {
  return [=](double x, double y) {
    if (x < l || x >= r || y < t || y >= b) return false;
    const double cx = std::min(std::max(x, l + radius), r - radius);
    const double cy = std::min(std::max(y, t + radius), b - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  };
}

std::function<bool(double, double)> circle(double cx, double cy, double radius) {
  return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius; };
}

// A thick line segment from (x0,y0) to (x1,y1).
std::function<bool(double, double)> stroke(double x0, double y0, double x1, double y1, double width) {
  return [=](double x, double y) {
    const double dx = x1 - x0, dy = y1 - y0;
    double t = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy);
    t = std::min(1.0, std::max(0.0, t));
    const double px = x0 + t * dx - x, py = y0 + t * dy - y;
    return px * px + py * py <= width * width / 4;
  };
}

Image closeButton(int size, bool hover) {
  Image img(size, size);
  const double s = size;
  if (hover) img.shape(roundRect(1, 1, s - 1, s - 1, 4), hex(0xE81123));
  const Rgba mark = hover ? hex(0xFFFFFF) : hex(0x666666);
  const double m = s * 0.32;
  img.shape(stroke(m, m, s - m, s - m, 2), mark);
  img.shape(stroke(s - m, m, m, s - m, 2), mark);
  return img;
}

Image minimiseButton(bool hover) {
  Image img(24, 24);
  if (hover) img.shape(roundRect(1, 1, 23, 23, 4), hex(0xB0B0B0));
  img.shape(roundRect(7, 11, 17, 13, 1), hover ? hex(0xFFFFFF) : hex(0x666666));
  return img;
}

Image progressBar(uint32_t rgb) {
  Image img(530, 13);
  img.shape(roundRect(0, 0, 530, 13, 3), hex(rgb));
  return img;
}

Image warningIcon() {
  Image img(60, 60);
  img.shape(circle(30, 30, 28), hex(0xF5A623));
  img.shape(roundRect(27, 13, 33, 37, 3), hex(0xFFFFFF));
  img.shape(circle(30, 45, 3.5), hex(0xFFFFFF));
  return img;
}

Image confirmButton() {
  Image img(96, 32);
  img.shape(roundRect(0, 0, 96, 32, 4), hex(0x008AFF));
  img.shape(roundRect(1, 1, 95, 31, 3), hex(0xFFFFFF));
  return img;
}

// Dark at the outer edge fading in over 9 pixels, with rounded outer corners.
Image shadow() {
  Image img(58, 58);
  img.fill([](int x, int y) {
    const double cx = std::min(std::max(x + 0.5, 9.0), 49.0);
    const double cy = std::min(std::max(y + 0.5, 9.0), 49.0);
    const double dist = std::sqrt((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy));
    const double depth = std::max(0.0, 1.0 - dist / 9.0);  // 1 at the window edge, 0 outside
    return Rgba{0, 0, 0, 110 * depth * depth};
  });
  return img;
}

Image background(uint32_t top, uint32_t bottom, uint32_t accent) {
  Image img(960, 620);
  const Rgba a = hex(top), b = hex(bottom);
  img.fill([&](int, int y) {
    const double t = y / 619.0;
    return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, 255};
  });
  img.shape(circle(160, 140, 90), hex(accent, 120));
  img.shape(roundRect(300, 300, 870, 360, 8), hex(0x000000, 80));  // under the progress bar
  return img;
}

// The launcher's window and taskbar icon (resource 107): a blue rounded square
// with a white V.
Image appIcon(int size) {
  Image img(size, size);
  const double s = size, w = std::max(1.5, s / 8);
  img.shape(roundRect(0.5, 0.5, s - 0.5, s - 0.5, s / 5), hex(0x0A5FB4));
  img.shape(stroke(s * 0.25, s * 0.25, s * 0.5, s * 0.75, w), hex(0xFFFFFF));
  img.shape(stroke(s * 0.75, s * 0.25, s * 0.5, s * 0.75, w), hex(0xFFFFFF));
  return img;
}

// An .ico file holding one image per size.
bool writeIcon(const std::string& path, const std::vector<Image>& images) {
  std::vector<std::vector<uint8_t>> dibs;
  for (const Image& image : images) dibs.push_back(image.iconDib());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  auto put = [f](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
  };
  put(0, 2), put(1, 2), put(static_cast<uint32_t>(images.size()), 2);
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    put(static_cast<uint32_t>(images[i].w() & 0xFF), 1), put(static_cast<uint32_t>(images[i].h() & 0xFF), 1);
    put(0, 2), put(1, 2), put(32, 2), put(static_cast<uint32_t>(dibs[i].size()), 4), put(offset, 4);
    offset += static_cast<uint32_t>(dibs[i].size());
  }
  for (const auto& dib : dibs) std::fwrite(dib.data(), 1, dib.size(), f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_paint OUTDIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  struct Png {
    const char* name;
    Image image;
  } pngs[] = {
      {"shadow.png", shadow()},
      {"gmin_normal.png", minimiseButton(false)},
      {"gmin_hover.png", minimiseButton(true)},
      {"gclose_normal.png", closeButton(28, false)},
      {"gclose_hover.png", closeButton(28, true)},
      {"gprogress_bk.png", progressBar(0xDDDDDD)},
      {"gprogress_fore.png", progressBar(0x008AFF)},
      {"btn_close.png", closeButton(24, false)},
      {"btn_close_hover.png", closeButton(24, true)},
      {"icon_warning.png", warningIcon()},
      {"confirm.png", confirmButton()},
  };
  bool ok = true;
  for (const Png& p : pngs) ok = p.image.writePng(dir + p.name) && ok;
  ok = background(0x3A2A1A, 0x8A5A2A, 0xF0C060).writeJpg(dir + "rusa_download_bk.jpg") && ok;
  ok = background(0x123A5A, 0x3A8AC0, 0x80E0FF).writeJpg(dir + "pnol_download_bk.jpg") && ok;
  ok = background(0x1E3A1E, 0x5A9A4A, 0xE0F080).writeJpg(dir + "fai_download_bk.jpg") && ok;
  ok = writeIcon(dir + "vekt.ico", {appIcon(16), appIcon(32), appIcon(48)}) && ok;
  if (!ok) std::fprintf(stderr, "skin_paint: cannot write into %s\n", argv[1]);
  return ok ? 0 : 1;
}
