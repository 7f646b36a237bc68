// Decoded images and the pixel canvas controls are painted on. Pixels are
// 32-bit BGRA with premultiplied alpha, the layout Windows DIB sections and
// layered windows use.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "UIDefs.h"

namespace VantorUI {

class CBitmapUI {
 public:
  CBitmapUI(int width, int height);
  // PNG (with alpha) or JPEG; null for anything else or a broken file.
  static std::shared_ptr<CBitmapUI> Decode(const std::vector<uint8_t>& bytes);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  uint32_t* Pixels() { return m_pixels.data(); }
  const uint32_t* Pixels() const { return m_pixels.data(); }
  uint32_t At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }

 private:
  int m_width;
  int m_height;
  std::vector<uint32_t> m_pixels;
};

// Premultiplies a straight 0xAARRGGBB colour.
uint32_t Premultiply(UIColor color);

// Drawing operations on a pixel buffer owned elsewhere (a DIB section) or by
// the canvas itself.
class CCanvasUI {
 public:
  CCanvasUI(uint32_t* pixels, int width, int height);
  explicit CCanvasUI(CBitmapUI& target);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  uint32_t At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
  void SetClip(const UIRect& clip);
  const UIRect& Clip() const { return m_clip; }

  // Source-over blend of a colour with its own alpha.
  void FillColor(const UIRect& rect, UIColor color);
  // Stretches `image` over `dest` as a nine-grid: the corner cells keep their
  // size, edges stretch in one direction, the middle in both (or is left out).
  void DrawNineGrid(const CBitmapUI& image, const UIRect& dest, const UIRect& corner, bool drawMiddle = true);

 private:
  void blendStretched(const CBitmapUI& image, const UIRect& src, const UIRect& dest);
  uint32_t* m_pixels;
  int m_width;
  int m_height;
  UIRect m_clip;
};

}  // namespace VantorUI
