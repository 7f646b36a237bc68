#include "UIImage.h"

#include <algorithm>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace VantorUI {
namespace {

UIRect intersect(const UIRect& a, const UIRect& b) {
  UIRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

uint32_t blendOver(uint32_t dst, uint32_t src) {
  const uint32_t sa = src >> 24;
  if (sa == 255) return src;
  if (sa == 0 && (src & 0xFFFFFF) == 0) return dst;
  const uint32_t inv = 255 - sa;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t s = (src >> shift) & 0xFF;
    const uint32_t d = (dst >> shift) & 0xFF;
    const uint32_t v = std::min<uint32_t>(255, s + (d * inv + 127) / 255);
    out |= v << shift;
  }
  return out;
}

}  // namespace

CBitmapUI::CBitmapUI(int width, int height)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_pixels(static_cast<size_t>(m_width) * m_height, 0) {}

std::shared_ptr<CBitmapUI> CBitmapUI::Decode(const std::vector<uint8_t>& bytes) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return nullptr;
  int w = 0, h = 0, channels = 0;
  unsigned char* rgba = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &channels, 4);
  if (!rgba) return nullptr;
  auto bitmap = std::make_shared<CBitmapUI>(w, h);
  const unsigned char* p = rgba;
  for (uint32_t& px : bitmap->m_pixels) {
    const uint32_t a = p[3];
    const uint32_t r = (p[0] * a + 127) / 255, g = (p[1] * a + 127) / 255, b = (p[2] * a + 127) / 255;
    px = (a << 24) | (r << 16) | (g << 8) | b;
    p += 4;
  }
  stbi_image_free(rgba);
  return bitmap;
}

uint32_t Premultiply(UIColor color) {
  const uint32_t a = color >> 24;
  const uint32_t r = (((color >> 16) & 0xFF) * a + 127) / 255;
  const uint32_t g = (((color >> 8) & 0xFF) * a + 127) / 255;
  const uint32_t b = ((color & 0xFF) * a + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

CCanvasUI::CCanvasUI(uint32_t* pixels, int width, int height)
    : m_pixels(pixels), m_width(width), m_height(height), m_clip{0, 0, width, height} {}

CCanvasUI::CCanvasUI(CBitmapUI& target) : CCanvasUI(target.Pixels(), target.Width(), target.Height()) {}

void CCanvasUI::SetClip(const UIRect& clip) { m_clip = intersect(clip, UIRect{0, 0, m_width, m_height}); }

void CCanvasUI::FillColor(const UIRect& rect, UIColor color) {
  const UIRect r = intersect(rect, m_clip);
  const uint32_t src = Premultiply(color);
  for (int y = r.top; y < r.bottom; ++y) {
    uint32_t* row = m_pixels + static_cast<size_t>(y) * m_width;
    for (int x = r.left; x < r.right; ++x) row[x] = blendOver(row[x], src);
  }
}

void CCanvasUI::blendStretched(const CBitmapUI& image, const UIRect& src, const UIRect& dest) {
  if (src.IsEmpty() || dest.IsEmpty()) return;
  const UIRect r = intersect(dest, m_clip);
  const int64_t dw = dest.Width(), dh = dest.Height();
  for (int y = r.top; y < r.bottom; ++y) {
    // Sample at pixel centres so a 1:1 copy is exact and stretching is even.
    const int sy =
        src.top + static_cast<int>(((2 * (y - dest.top) + 1) * static_cast<int64_t>(src.Height())) / (2 * dh));
    uint32_t* row = m_pixels + static_cast<size_t>(y) * m_width;
    for (int x = r.left; x < r.right; ++x) {
      const int sx =
          src.left + static_cast<int>(((2 * (x - dest.left) + 1) * static_cast<int64_t>(src.Width())) / (2 * dw));
      row[x] = blendOver(row[x], image.At(sx, sy));
    }
  }
}

void CCanvasUI::DrawNineGrid(const CBitmapUI& image, const UIRect& dest, const UIRect& corner, bool drawMiddle) {
  const int iw = image.Width(), ih = image.Height();
  if (iw <= 0 || ih <= 0 || dest.IsEmpty()) return;
  // Corners never exceed the image or the destination.
  const int l = std::min({corner.left, iw, dest.Width()});
  const int t = std::min({corner.top, ih, dest.Height()});
  const int r = std::min({corner.right, iw - l, dest.Width() - l});
  const int b = std::min({corner.bottom, ih - t, dest.Height() - t});
  const int sx[4] = {0, l, iw - r, iw};
  const int sy[4] = {0, t, ih - b, ih};
  const int dx[4] = {dest.left, dest.left + l, dest.right - r, dest.right};
  const int dy[4] = {dest.top, dest.top + t, dest.bottom - b, dest.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      if (row == 1 && col == 1 && !drawMiddle) continue;
      blendStretched(image, UIRect{sx[col], sy[row], sx[col + 1], sy[row + 1]},
                     UIRect{dx[col], dy[row], dx[col + 1], dy[row + 1]});
    }
  }
}

}  // namespace VantorUI
