#include "StandinDevice.h"

namespace zem::capture::test {

std::vector<uint8_t> makePattern(int width, int height, PixelOrder order) {
  std::vector<uint8_t> px(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t r, g, b;
      const bool right = x >= width / 2, bottom = y >= height / 2;
      if (!right && !bottom) {
        r = 255;
        g = 0;
        b = 0;
      } else if (right && !bottom) {
        r = 0;
        g = 255;
        b = 0;
      } else if (!right) {
        r = 0;
        g = 0;
        b = 255;
      } else {
        r = g = b = 255;
      }
      // Gradient band: the middle eighth of the rows.
      if (height >= 8 && y >= height * 7 / 16 && y < height * 9 / 16)
        r = g = b = static_cast<uint8_t>(width > 1 ? x * 255 / (width - 1) : 0);
      uint8_t* p = &px[(static_cast<size_t>(y) * width + x) * 4];
      if (order == PixelOrder::kBgrx) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
      } else {
        p[0] = r;
        p[1] = g;
        p[2] = b;
      }
      p[3] = 0x5a;  // ignored byte, deliberately not 255
    }
  }
  return px;
}

}  // namespace zem::capture::test
