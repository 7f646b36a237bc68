// Pixel to HIMETRIC (hundredths of a millimetre) conversion for sizing
// embedded OLE objects; shared by every browser host.
#pragma once

namespace vekt::browser {

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct HimetricSize {
  long cx = 0;
  long cy = 0;
};

// a * b / c rounded half away from zero, as the system's MulDiv does;
// -1 when c is 0 or the result does not fit.
int mulDivRounded(int a, int b, int c);

// Extent of a pixel rectangle at the given pixels per inch. Each edge is
// converted on its own before subtracting, so a rectangle converts the same
// wherever it lies.
HimetricSize himetricExtent(const PixelRect& bounds, int dpiX, int dpiY);

}  // namespace vekt::browser
