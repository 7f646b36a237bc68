#include <gtest/gtest.h>

#include "PngWrite.h"
#include "SkinZipWriter.h"
#include "UIBuilder.h"
#include "UIManager.h"
#include "UIResource.h"

using namespace VantorUI;

namespace {

// A solid (or per-quadrant) PNG made in memory.
std::vector<uint8_t> png(int w, int h, const std::function<uint32_t(int, int)>& rgba) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t c = rgba(x, y);
      pixels.insert(pixels.end(), {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    }
  return EncodePng(w, h, pixels);
}

std::vector<uint8_t> solid(int w, int h, uint32_t rgba) {
  return png(w, h, [rgba](int, int) { return rgba; });
}

// Paints a layout over a canvas of the client size; images come from a package.
struct Painted {
  std::vector<uint8_t> zip;
  CManagerUI manager;
  std::unique_ptr<CBitmapUI> target;

  Painted(const std::string& layout, std::vector<vekt::skin::ZipInput> images, int w, int h) {
    images.push_back({"t.xml", std::vector<uint8_t>(layout.begin(), layout.end()), true});
    zip = vekt::skin::WriteZip(images);
    CResourceUI::Package().Close();
    EXPECT_TRUE(CResourceUI::OpenMemoryPackage(zip.data(), zip.size()));
    CDialogBuilder builder;
    EXPECT_TRUE(manager.AttachDialog(builder.Create(L"t.xml", nullptr, &manager))) << builder.GetLastErrorText();
    manager.SetClientSize(w, h);
    paint();
  }
  ~Painted() { CResourceUI::Package().Close(); }
  void paint() {
    target = std::make_unique<CBitmapUI>(manager.GetClientSize().cx, manager.GetClientSize().cy);
    CCanvasUI canvas(*target);
    CCanvasRenderUI render(canvas, [this](const std::wstring& f) { return manager.GetImage(f); });
    manager.Paint(render, UIRect{0, 0, target->Width(), target->Height()});
  }
  uint32_t at(int x, int y) const { return target->At(x, y); }
};

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlue = 0xFF0000FF;  // ARGB
constexpr uint32_t kGrey = 0xFF808080;

}  // namespace

TEST(PaintTest, ProgressFillAndBackground) {
  const std::string layout =
      "<Window size='960,620'><VerticalLayout bkcolor='#FFFFFFFF'>"
      "<Progress name='progress' float='true' pos='320,320,0,0' height='13' width='530' "
      "bkimage=\"file='bk.png' corner='3,3,3,3'\" foreimage=\"file='fore.png' corner='3,3,3,3'\" min='0' max='100' "
      "value='0'/>"
      "<Label name='clear' float='true' pos='0,0,50,50' bkcolor='#123456'/>"
      "</VerticalLayout></Window>";
  Painted p(layout, {{"bk.png", solid(530, 13, 0x808080FF), false}, {"fore.png", solid(530, 13, 0x0000FFFF), true}},
            960, 620);
  EXPECT_EQ(p.at(5, 5), kWhite) << "six-digit colours have alpha 0 and draw nothing";
  EXPECT_EQ(p.at(319, 325), kWhite);
  EXPECT_EQ(p.at(320, 325), kGrey) << "value 0: background only";
  EXPECT_EQ(p.at(849, 332), kGrey);
  EXPECT_EQ(p.at(850, 325), kWhite);

  static_cast<CProgressUI*>(p.manager.FindControl(L"progress"))->SetValue(50);
  p.paint();
  EXPECT_EQ(p.at(320, 320), kBlue);
  EXPECT_EQ(p.at(320 + 264, 332), kBlue);
  EXPECT_EQ(p.at(320 + 265, 326), kGrey) << "the fill is 265 of 530 pixels";
  EXPECT_EQ(p.at(320 + 264, 333), kWhite);
}

TEST(PaintTest, NineGridKeepsCornersAndCanLeaveTheMiddleOut) {
  // 10x10: red 3-pixel corners, green edges, blue middle.
  auto img = png(10, 10, [](int x, int y) {
    const bool edgeX = x < 3 || x >= 7, edgeY = y < 3 || y >= 7;
    if (edgeX && edgeY) return 0xFF0000FFu;
    if (edgeX || edgeY) return 0x00FF00FFu;
    return 0x0000FF80u;  // half-transparent blue
  });
  auto bitmap = CBitmapUI::Decode(img);
  ASSERT_NE(bitmap, nullptr);
  CBitmapUI target(40, 30);
  CCanvasUI canvas(target);
  canvas.DrawNineGrid(*bitmap, UIRect{0, 0, 40, 30}, UIRect{3, 3, 3, 3}, false);
  EXPECT_EQ(target.At(0, 0), 0xFFFF0000u);
  EXPECT_EQ(target.At(2, 2), 0xFFFF0000u);
  EXPECT_EQ(target.At(39, 29), 0xFFFF0000u);
  EXPECT_EQ(target.At(37, 0), 0xFFFF0000u);
  EXPECT_EQ(target.At(3, 0), 0xFF00FF00u) << "top edge stretched";
  EXPECT_EQ(target.At(36, 2), 0xFF00FF00u);
  EXPECT_EQ(target.At(0, 15), 0xFF00FF00u);
  EXPECT_EQ(target.At(20, 15), 0u) << "middle left transparent";
  canvas.DrawNineGrid(*bitmap, UIRect{0, 0, 40, 30}, UIRect{3, 3, 3, 3}, true);
  EXPECT_EQ(target.At(20, 15), 0x80000080u) << "premultiplied half-transparent blue";
  // Clipped drawing never leaves the canvas.
  canvas.DrawNineGrid(*bitmap, UIRect{-100, -100, 1000, 1000}, UIRect{50, 50, 50, 50}, true);
  canvas.FillColor(UIRect{-5, -5, 100, 100}, 0xFF00FF00);
  EXPECT_EQ(target.At(39, 29), 0xFF00FF00u);
}

TEST(PaintTest, ButtonStateImagesAndMissingImages) {
  const std::string layout =
      "<Window><VerticalLayout bkcolor='#FFFFFFFF'>"
      "<Button name='b' float='true' pos='10,10,34,34' normalimage='n.png' hotimage=\"file='h.png'\" "
      "pushedimage='p.png'/>"
      "<Progress name='bar' float='true' pos='0,50,100,60' foreimage='gone.png' value='40'/>"
      "<Label name='l' float='true' pos='40,10,60,30' bkimage='gone.png'/>"
      "</VerticalLayout></Window>";
  Painted p(layout,
            {{"n.png", solid(24, 24, 0xFF0000FF), true},
             {"h.png", solid(24, 24, 0x00FF00FF), true},
             {"p.png", solid(24, 24, 0x0000FFFF), false}},
            100, 100);
  EXPECT_EQ(p.at(20, 20), 0xFFFF0000u);
  EXPECT_EQ(p.at(50, 20), kWhite) << "a missing image draws nothing";
  EXPECT_EQ(p.at(10, 55), kWhite);
  auto* bar = static_cast<CProgressUI*>(p.manager.FindControl(L"bar"));
  EXPECT_TRUE(bar->GetForeImage().empty()) << "a fore image that cannot be drawn is forgotten";

  p.manager.OnMouseMove({20, 20});
  p.paint();
  EXPECT_EQ(p.at(20, 20), 0xFF00FF00u) << "hot";
  p.manager.OnButtonDown({20, 20});
  p.paint();
  EXPECT_EQ(p.at(20, 20), 0xFF0000FFu) << "pushed";
  p.manager.OnButtonUp({20, 20});
  p.manager.OnMouseMove({90, 90});
  p.paint();
  EXPECT_EQ(p.at(20, 20), 0xFFFF0000u) << "normal again after the mouse left";
}
