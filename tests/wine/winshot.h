// Screenshots for the Windows test hosts and demos: a window as it is on the
// screen, as RGBA pixels to probe and as a PNG file. One file of the program
// defines STB_IMAGE_WRITE_IMPLEMENTATION before including this.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <stb_image_write.h>

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

// A screen rectangle as it is (under Xvfb: what a person would see, layered
// windows included), saved as PNG at path when one is given.
inline Picture captureRect(const RECT& area, const std::string& path) {
  Picture picture;
  picture.width = area.right - area.left;
  picture.height = area.bottom - area.top;
  if (picture.width <= 0 || picture.height <= 0) return picture;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, picture.width, picture.height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  picture.rgba.resize(static_cast<size_t>(picture.width) * picture.height * 4);
  const unsigned char* bgra = static_cast<const unsigned char*>(bits);
  for (size_t i = 0; i < picture.rgba.size(); i += 4) {
    picture.rgba[i] = bgra[i + 2];
    picture.rgba[i + 1] = bgra[i + 1];
    picture.rgba[i + 2] = bgra[i];
    picture.rgba[i + 3] = 255;
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  picture.saved = !path.empty() && stbi_write_png(path.c_str(), picture.width, picture.height, 4, picture.rgba.data(),
                                                  picture.width * 4) != 0;
  return picture;
}

// The window as it is on the screen.
inline Picture capture(HWND window, const std::string& path) {
  RECT rc{};
  GetWindowRect(window, &rc);
  return captureRect(rc, path);
}

}  // namespace winshot
