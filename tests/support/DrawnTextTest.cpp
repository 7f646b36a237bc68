// The screenshot text check on made pictures: characters pass; missing-glyph
// boxes (apart, touching, anti-aliased, before a full stop) and blank areas
// fail, whatever the colours.
#include "DrawnText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Two 12 x 12 characters drawn as CJK glyphs are at this size.
const char* const kGlyphs[][12] = {
    {"..#....#....", ".###.######.", "..#..#....#.", "..##.######.", ".##..#....#.", "..#..######.",
     "..#.........", "..#.########", "..#....#....", "..#.##.####.", "..#.##.#....", ".##.#.#.####"},
    {"..########..", "............", "............", "############", "......#.....", "......#.....",
     "..#...#...#.", "..#...#...#.", ".#....#....#", "#.....#.....", "....###.....", "............"},
};

struct Canvas {
  int width, height;
  uint32_t background;
  std::vector<uint8_t> rgba;
  Canvas(int w, int h, uint32_t bg) : width(w), height(h), background(bg), rgba(static_cast<size_t>(w) * h * 4) {
    fill(0, 0, w, h, bg);
  }
  void fill(int x, int y, int w, int h, uint32_t rgb) {
    for (int py = y; py < y + h; ++py)
      for (int px = x; px < x + w; ++px) {
        if (px < 0 || py < 0 || px >= width || py >= height) continue;
        uint8_t* p = &rgba[(static_cast<size_t>(py) * width + px) * 4];
        p[0] = static_cast<uint8_t>(rgb >> 16), p[1] = static_cast<uint8_t>(rgb >> 8), p[2] = static_cast<uint8_t>(rgb);
        p[3] = 255;
      }
  }
  void glyph(int x, int y, int which, uint32_t rgb) {
    for (int row = 0; row < 12; ++row)
      for (int col = 0; col < 12; ++col)
        if (kGlyphs[which][row][col] == '#') fill(x + col, y + row, 1, 1, rgb);
  }
  // A missing-glyph box as a renderer draws it off the pixel grid: full top and
  // bottom lines, each side spread over two columns at a fraction of the ink.
  void box(int x, int y, int w, int h, uint32_t rgb, int sideShare) {
    const uint32_t side = mix(rgb, sideShare);
    fill(x, y, 1, h, side);
    fill(x + w - 1, y, 1, h, side);
    fill(x + 1, y, w - 2, 1, rgb);
    fill(x + 1, y + h - 1, w - 2, 1, rgb);
  }
  // `share` percent of the way from the background to `rgb`.
  uint32_t mix(uint32_t rgb, int share) const {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int from = (background >> shift) & 0xFF, to = (rgb >> shift) & 0xFF;
      out |= static_cast<uint32_t>(from + (to - from) * share / 100) << shift;
    }
    return out;
  }
  drawntext::Verdict inspect(drawntext::Area area) const { return drawntext::inspect(rgba.data(), width, height, area); }
};

TEST(DrawnText, TellsCharactersFromMissingGlyphBoxes) {
  enum Draw { kCharacters, kBoxesApart, kBoxesTouching, kBoxesAndFullStop, kNothing };
  struct Case {
    std::string what;
    uint32_t background, text;
    Draw draw;
    int sideShare;
    bool drawn;
  } cases[] = {
      {"dark characters on white", 0xFFFFFF, 0x444444, kCharacters, 0, true},
      {"faint characters on white (the progress tip)", 0xFFFFFF, 0xEEE8D9, kCharacters, 0, true},
      {"white characters on blue", 0x0050A0, 0xFFFFFF, kCharacters, 0, true},
      {"boxes apart, sides inked", 0xFFFFFF, 0x444444, kBoxesApart, 100, false},
      {"boxes apart, sides below half ink", 0xFFFFFF, 0x444444, kBoxesApart, 30, false},
      {"boxes touching, sides faint", 0xFFFFFF, 0x000000, kBoxesTouching, 15, false},
      {"faint boxes", 0xFFFFFF, 0xEEE8D9, kBoxesTouching, 40, false},
      {"boxes and a full stop", 0xFFFFFF, 0x444444, kBoxesAndFullStop, 100, false},
      {"nothing", 0xFFFFFF, 0x444444, kNothing, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Canvas canvas(200, 30, c.background);
    for (int i = 0, x = 6; i < 8; ++i) {
      switch (c.draw) {
        case kCharacters: canvas.glyph(x, 9, i % 2, c.text), x += 14; break;
        case kBoxesApart: canvas.box(x, 8, 9, 14, c.text, c.sideShare), x += 12; break;
        case kBoxesTouching:
        case kBoxesAndFullStop: canvas.box(x, 8, 9, 14, c.text, c.sideShare), x += 9; break;
        case kNothing: break;
      }
    }
    if (c.draw == kBoxesAndFullStop) canvas.fill(90, 18, 2, 2, c.text);
    const drawntext::Verdict verdict = canvas.inspect({0, 0, 200, 30});
    EXPECT_EQ(verdict.drawn(), c.drawn) << verdict.alike << " of " << verdict.rows << " rows alike";
  }
}

TEST(DrawnText, LooksOnlyInsideTheAreaAndClipsItToThePicture) {
  Canvas canvas(120, 30, 0xFFFFFF);
  canvas.glyph(4, 9, 0, 0x000000);
  canvas.glyph(18, 9, 1, 0x000000);
  for (int x = 60; x < 110; x += 10) canvas.box(x, 8, 9, 14, 0x000000, 100);
  EXPECT_TRUE(canvas.inspect({0, 0, 40, 30}).drawn());
  EXPECT_FALSE(canvas.inspect({50, 0, 300, 300}).drawn());
  EXPECT_TRUE(canvas.inspect({-50, -50, 40, 500}).drawn());
  EXPECT_EQ(canvas.inspect({90, 20, 10, 5}).rows, 0);  // empty: right before left
}

}  // namespace
