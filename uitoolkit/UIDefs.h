// Basic value types shared by the toolkit's portable core and its Windows layer.
#pragma once
#include <cstdint>
#include <string>

namespace VantorUI {

// Window-message parameters, wide enough for a pointer on either platform.
using UIWParam = uintptr_t;
using UILParam = intptr_t;

struct UIPoint {
  int x = 0;
  int y = 0;
};

struct UISize {
  int cx = 0;
  int cy = 0;
};

struct UIRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(UIPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool operator==(const UIRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const UIRect& o) const { return !(*this == o); }
};

inline UIRect MakeRect(int left, int top, int width, int height) {
  return UIRect{left, top, left + width, top + height};
}

// Colours are 0xAARRGGBB.
using UIColor = uint32_t;

}  // namespace VantorUI
