#include "Himetric.h"

#include <cstdint>

namespace vekt::browser {

int mulDivRounded(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t multiplicand = a;
  int64_t divisor = c;
  if (divisor < 0) {
    multiplicand = -multiplicand;
    divisor = -divisor;
  }
  const int64_t product = multiplicand * b;
  const int64_t half = divisor / 2;
  const int64_t result = (product >= 0 ? product + half : product - half) / divisor;
  if (result > INT32_MAX || result < -INT32_MAX) return -1;
  return static_cast<int>(result);
}

HimetricSize himetricExtent(const PixelRect& bounds, int dpiX, int dpiY) {
  constexpr int kHimetricPerInch = 2540;
  HimetricSize size;
  size.cx = static_cast<long>(mulDivRounded(kHimetricPerInch, bounds.right, dpiX)) -
            mulDivRounded(kHimetricPerInch, bounds.left, dpiX);
  size.cy = static_cast<long>(mulDivRounded(kHimetricPerInch, bounds.bottom, dpiY)) -
            mulDivRounded(kHimetricPerInch, bounds.top, dpiY);
  return size;
}

}  // namespace vekt::browser
