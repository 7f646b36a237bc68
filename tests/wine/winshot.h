// Screenshots for the Windows test hosts and demos: a window as it is on the
// screen, as RGBA pixels to probe and as a PNG file, and the check that its
// texts are drawn. One file of the program defines
// STB_IMAGE_WRITE_IMPLEMENTATION before including this.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "DrawnText.h"

namespace winshot {

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  bool saved = false;
  COLORREF at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    const unsigned char* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
    return RGB(p[0], p[1], p[2]);
  }
  // The pixel as 0x00RRGGBB; 0xFF000000 outside the picture.
  uint32_t rgb(int x, int y) const {
    const COLORREF c = at(x, y);
    return c == CLR_INVALID ? 0xFF000000u
                            : (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
  }
};

// A 32-bit top-down bitmap selected into a memory DC, to draw or copy into.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    screen_ = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen_);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bitmap_ = CreateDIBSection(screen_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
    ReleaseDC(nullptr, screen_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  HDC screen() const { return screen_; }

  Picture picture() const {
    Picture picture;
    picture.width = width_;
    picture.height = height_;
    GdiFlush();
    picture.rgba.resize(static_cast<size_t>(width_) * height_ * 4);
    const unsigned char* bgra = static_cast<const unsigned char*>(bits_);
    for (size_t i = 0; bgra && i < picture.rgba.size(); i += 4) {
      picture.rgba[i] = bgra[i + 2];
      picture.rgba[i + 1] = bgra[i + 1];
      picture.rgba[i + 2] = bgra[i];
      picture.rgba[i + 3] = 255;
    }
    return picture;
  }

 private:
  int width_, height_;
  HDC screen_ = nullptr, dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

// A screen rectangle as it is (under Xvfb: what a person would see, layered
// windows included), saved as PNG at path when one is given.
inline Picture captureRect(const RECT& area, const std::string& path) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return Picture{};
  const Canvas canvas(width, height);
  BitBlt(canvas.dc(), 0, 0, width, height, canvas.screen(), area.left, area.top, SRCCOPY | CAPTUREBLT);
  Picture picture = canvas.picture();
  picture.saved =
      !path.empty() && stbi_write_png(path.c_str(), width, height, 4, picture.rgba.data(), width * 4) != 0;
  return picture;
}

// The window as it is on the screen.
inline Picture capture(HWND window, const std::string& path) {
  RECT rc{};
  GetWindowRect(window, &rc);
  return captureRect(rc, path);
}

// The window once it has painted (its middle no longer black), saved as PNG.
inline Picture captureWhenPainted(HWND window, const std::string& path) {
  Picture shot;
  for (int i = 0; i < 50; ++i) {
    Sleep(100);
    shot = capture(window, path);
    if (shot.at(shot.width / 2, shot.height / 2) != RGB(0, 0, 0)) break;
  }
  return shot;
}

// What `area` of the picture (picture coordinates) shows: drawn characters, or
// the boxes of characters the font has no glyph for. Says what it found.
inline drawntext::Verdict textIn(const Picture& picture, const RECT& area, const char* what) {
  const drawntext::Verdict verdict = drawntext::inspect(picture.rgba.data(), picture.width, picture.height,
                                                        {area.left, area.top, area.right, area.bottom});
  std::printf("text %s: %s (%d of %d rows inside it alike)\n", what, verdict.drawn() ? "drawn" : "not drawn",
              verdict.alike, verdict.rows);
  return verdict;
}

// The text of one of the window's child controls, found by its place.
inline drawntext::Verdict textOfChild(const Picture& picture, HWND window, HWND child, const char* what) {
  RECT outer{}, inner{};
  GetWindowRect(window, &outer);
  GetWindowRect(child, &inner);
  OffsetRect(&inner, -outer.left, -outer.top);
  return textIn(picture, inner, what);
}

// Characters no font has (private use), drawn by GDI in `face` as a window
// draws its text: the picture of missing glyphs the text check must refuse.
inline Picture missingGlyphs(const wchar_t* face, int height) {
  const Canvas canvas(40 * height / 3, height * 2);
  HFONT font = CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
  HGDIOBJ old = SelectObject(canvas.dc(), font);
  RECT all{0, 0, 40 * height / 3, height * 2};
  FillRect(canvas.dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(canvas.dc(), TRANSPARENT);
  SetTextColor(canvas.dc(), RGB(0x44, 0x44, 0x44));
  TextOutW(canvas.dc(), height / 2, height / 2, L"\uE000\uE001\uE002\uE003\uE004", 5);
  const Picture picture = canvas.picture();
  SelectObject(canvas.dc(), old);
  DeleteObject(font);
  return picture;
}

}  // namespace winshot
