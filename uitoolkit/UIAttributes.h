// Parsing of attribute texts found in layouts: numbers, booleans, rectangles,
// colours and image descriptors. Each parser reports failure instead of guessing.
#pragma once
#include <string>
#include <vector>

#include "UIDefs.h"

namespace VantorUI {

// Coordinates and sizes in layouts are clamped to this magnitude so the layout
// arithmetic cannot overflow.
constexpr int kMaxCoordinate = 100000;

bool ParseInt(const std::wstring& text, int& value);
// A comma-separated list of exactly `count` integers.
bool ParseIntList(const std::wstring& text, int* values, int count);
bool ParseRect(const std::wstring& text, UIRect& rect);
bool ParseSize(const std::wstring& text, UISize& size);
// "true" turns a flag on; anything else turns it off.
bool ParseBool(const std::wstring& text);
// "#AARRGGBB" or "#RRGGBB" (alpha 0); the '#' is required.
bool ParseColor(const std::wstring& text, UIColor& color);

// An image named in a layout: a bare file name, or key='value' pairs of which
// "file" and "corner" are used; other keys are accepted and ignored.
struct ImageDescriptor {
  std::wstring file;
  UIRect corner;  // edge widths kept unscaled when the image is stretched
  bool valid = false;
};
ImageDescriptor ParseImageDescriptor(const std::wstring& text);

}  // namespace VantorUI
