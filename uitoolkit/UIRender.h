// What controls paint through. The portable canvas implementation draws colours
// and images; text needs fonts and is drawn by the platform layer.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "UIAttributes.h"
#include "UIImage.h"

namespace VantorUI {

// Text style bits of labels.
enum UITextStyle : unsigned {
  kTextLeft = 0x0,
  kTextCenter = 0x1,
  kTextRight = 0x2,
  kTextTop = 0x0,
  kTextVCenter = 0x4,
  kTextBottom = 0x8,
};

class IRenderUI {
 public:
  virtual ~IRenderUI() = default;
  virtual void FillColor(const UIRect& rect, UIColor color) = 0;
  // False when the image cannot be found or decoded; nothing is drawn then.
  virtual bool DrawImage(const ImageDescriptor& image, const UIRect& dest) = 0;
  virtual void DrawString(const std::wstring& text, const UIRect& rect, int font, UIColor color, unsigned style) = 0;
};

using ImageLookup = std::function<std::shared_ptr<CBitmapUI>(const std::wstring& file)>;

class CCanvasRenderUI : public IRenderUI {
 public:
  CCanvasRenderUI(CCanvasUI& canvas, ImageLookup images) : m_canvas(canvas), m_images(std::move(images)) {}
  void FillColor(const UIRect& rect, UIColor color) override { m_canvas.FillColor(rect, color); }
  bool DrawImage(const ImageDescriptor& image, const UIRect& dest) override {
    const auto bitmap = image.valid && m_images ? m_images(image.file) : nullptr;
    if (!bitmap) return false;
    m_canvas.DrawNineGrid(*bitmap, dest, image.corner);
    return true;
  }
  void DrawString(const std::wstring&, const UIRect&, int, UIColor, unsigned) override {}

 protected:
  CCanvasUI& m_canvas;
  ImageLookup m_images;
};

}  // namespace VantorUI
