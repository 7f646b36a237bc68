// 32-bit top-down DIB sections: the pixel layout of the toolkit's canvas.
#pragma once
#include <windows.h>

namespace VantorUI {

inline HBITMAP CreateCanvasBitmap(HDC dc, int width, int height, void** bits) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;  // rows top to bottom, as the canvas expects
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  *bits = nullptr;
  return CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace VantorUI
