// Whether an area of a screenshot shows drawn characters, or the boxes a font
// draws for characters it has no glyph for. A line of such boxes is a top and a
// bottom line with only the same thin sides between them: every row inside the
// text is the same. Rows through drawn characters (CJK, Latin) differ from one
// another. Portable: the Wine test hosts check their screenshots with it, the
// host tests check it on made pictures.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

namespace drawntext {

struct Area {
  int left, top, right, bottom;  // right and bottom excluded
};

struct Verdict {
  int rows = 0;   // rows inside the text: its inked height less two rows at each edge
  int alike = 0;  // the most of them that are the same
  // Text whose inside rows mostly differ; a line of boxes, or nothing, is no text.
  bool drawn() const { return rows >= 3 && alike * 2 < rows; }
};

namespace detail {

inline uint32_t pixel(const uint8_t* rgba, int width, int x, int y) {
  const uint8_t* p = rgba + (static_cast<size_t>(y) * width + x) * 4;
  return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

inline int channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }

inline int distance(uint32_t a, uint32_t b) {
  int sum = 0;
  for (int shift = 0; shift < 24; shift += 8) sum += std::abs(channel(a, shift) - channel(b, shift));
  return sum;
}

// Ink: a pixel more than half way from the background towards the text colour,
// so anti-aliased edges count from half coverage, whatever the two colours.
inline bool inked(uint32_t rgb, uint32_t background, uint32_t text) {
  long along = 0, span = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const long toText = channel(text, shift) - channel(background, shift);
    along += (channel(rgb, shift) - channel(background, shift)) * toText;
    span += toText * toText;
  }
  return span > 0 && along * 2 > span;
}

}  // namespace detail

// `rgba` holds width * height pixels of four bytes (R, G, B, A), rows top down;
// the area holds one line of text. Its background is the area's most common
// colour, the text colour the one farthest from it.
inline Verdict inspect(const uint8_t* rgba, int width, int height, Area area) {
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, width);
  area.bottom = std::min(area.bottom, height);
  Verdict verdict;
  if (area.left >= area.right || area.top >= area.bottom) return verdict;

  std::map<uint32_t, int> counts;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) ++counts[detail::pixel(rgba, width, x, y)];
  uint32_t background = 0;
  int most = 0;
  for (const auto& [rgb, n] : counts)
    if (n > most) most = n, background = rgb;
  uint32_t text = background;
  for (const auto& entry : counts)
    if (detail::distance(entry.first, background) > detail::distance(text, background)) text = entry.first;
  // A flat area, or one of faint noise only, holds no text.
  if (detail::distance(text, background) < 24) return verdict;

  std::vector<std::vector<bool>> rows;
  int firstInked = -1, lastInked = -1;
  for (int y = area.top; y < area.bottom; ++y) {
    std::vector<bool> row(area.right - area.left);
    bool any = false;
    for (int x = area.left; x < area.right; ++x)
      any |= row[x - area.left] = detail::inked(detail::pixel(rgba, width, x, y), background, text);
    if (any) {
      if (firstInked < 0) firstInked = static_cast<int>(rows.size());
      lastInked = static_cast<int>(rows.size());
    }
    rows.push_back(std::move(row));
  }
  if (firstInked < 0) return verdict;
  // Two rows off each edge: where a box has its top and bottom lines, blurred.
  std::map<std::vector<bool>, int> alike;
  for (int r = firstInked + 2; r <= lastInked - 2; ++r) {
    ++verdict.rows;
    verdict.alike = std::max(verdict.alike, ++alike[rows[r]]);
  }
  return verdict;
}

}  // namespace drawntext
