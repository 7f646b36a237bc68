#include "Himetric.h"

#include <gtest/gtest.h>

#include <climits>

namespace vekt::browser {
namespace {

TEST(MulDivRounded, RoundsHalfAwayFromZero) {
  const struct {
    int a, b, c, result;
  } cases[] = {
      {2540, 800, 96, 21167},
      {2540, 600, 96, 15875},
      {2540, 1, 96, 26},
      {2540, -300, 96, -7938},
      {-2540, 300, 96, -7938},
      {2540, 300, -96, -7938},
      {5, 1, 2, 3},
      {-5, 1, 2, -3},
      {3, 1, 2, 2},
      {0, -7, 3, 0},
      {1, 1, 0, -1},
      {INT_MAX, 2, 1, -1},
      {INT_MAX, 2, 2, INT_MAX},
      {INT_MIN, 1, 1, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mulDivRounded(c.a, c.b, c.c), c.result) << c.a << '*' << c.b << '/' << c.c;
  }
}

TEST(HimetricExtent, ConvertsEachEdge) {
  const HimetricSize screen = himetricExtent({0, 0, 800, 600}, 96, 96);
  EXPECT_EQ(screen.cx, 21167);
  EXPECT_EQ(screen.cy, 15875);
  const HimetricSize start = himetricExtent({-300, -300, 300, 300}, 96, 96);
  EXPECT_EQ(start.cx, 7938 * 2);
  EXPECT_EQ(start.cy, 7938 * 2);
  const HimetricSize scaled = himetricExtent({0, 0, 800, 600}, 144, 120);
  EXPECT_EQ(scaled.cx, 14111);
  EXPECT_EQ(scaled.cy, 12700);
  // No screen density: the conversion fails per edge instead of dividing by zero.
  const HimetricSize none = himetricExtent({0, 0, 800, 600}, 0, 0);
  EXPECT_EQ(none.cx, 0);
  EXPECT_EQ(none.cy, 0);
}

}  // namespace
}  // namespace vekt::browser
