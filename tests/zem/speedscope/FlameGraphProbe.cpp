// flame_graph_probe PICTURE.png ROW...
// Reads speedscope's time-order flame chart off a picture of the page: finds
// the chart's rows (bars about 20 pixels high, under the overview) and checks
// that each named row holds bars with the given extents, as fractions of the
// picture's width. ROW is "depth=from:to,from:to...", e.g. "1=0:0.75,0.75:1".
// A bar ends where its colour changes; the chart's grid lines and the gaps of
// a pixel or two between bars of one colour do not end it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

struct Rgb {
  int r, g, b;
};

int distance(Rgb a, Rgb b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
  Rgb at(int x, int y) const {
    const unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
    return Rgb{p[0], p[1], p[2]};
  }
  // Bars are coloured; the page, the grid and the text are white, grey or dark.
  bool bar(int x, int y) const {
    const Rgb c = at(x, y);
    const int high = std::max(c.r, std::max(c.g, c.b)), low = std::min(c.r, std::min(c.g, c.b));
    return high - low > 24 && high > 120;
  }
};

struct Segment {
  double from, to;
};

// Runs of bar pixels down a column near the right edge (the bars' labels sit at
// their left): the chart's rows are the ones of its bar height (the overview
// above draws taller ones). Every row of these profiles reaches the right edge.
std::vector<int> rowTops(const Picture& p) {
  std::vector<int> tops;
  const int x = p.width - 4;
  for (int y = 0; y < p.height;) {
    if (!p.bar(x, y)) {
      ++y;
      continue;
    }
    int end = y;
    while (end < p.height && p.bar(x, end)) ++end;
    if (end - y >= 14 && end - y <= 24) tops.push_back(y);
    y = end;
  }
  return tops;
}

std::vector<Segment> segments(const Picture& p, int y) {
  std::vector<Segment> out;
  int start = -1, lastBar = -1;
  Rgb colour{0, 0, 0};
  auto close = [&] {
    if (start >= 0) out.push_back({static_cast<double>(start) / p.width, static_cast<double>(lastBar + 1) / p.width});
    start = -1;
  };
  for (int x = 0; x < p.width; ++x) {
    if (!p.bar(x, y)) continue;
    const Rgb c = p.at(x, y);
    if (start >= 0 && (x - lastBar > 3 || distance(c, colour) > 40)) close();
    if (start < 0) {
      start = x;
      colour = c;
    }
    lastBar = x;
  }
  close();
  return out;
}

bool parseRow(const std::string& text, int& depth, std::vector<Segment>& want) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) return false;
  depth = std::atoi(text.substr(0, eq).c_str());
  size_t at = eq + 1;
  while (at < text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string pair = text.substr(at, comma - at);
    const size_t colon = pair.find(':');
    if (colon == std::string::npos) return false;
    want.push_back({std::atof(pair.substr(0, colon).c_str()), std::atof(pair.substr(colon + 1).c_str())});
    at = comma + 1;
  }
  return depth >= 0 && !want.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: flame_graph_probe PICTURE.png depth=from:to[,from:to...]...\n");
    return 2;
  }
  Picture p;
  int channels = 0;
  unsigned char* data = stbi_load(argv[1], &p.width, &p.height, &channels, 3);
  if (!data) {
    std::printf("FAIL cannot read %s\n", argv[1]);
    return 1;
  }
  p.pixels.assign(data, data + static_cast<size_t>(p.width) * p.height * 3);
  stbi_image_free(data);

  const std::vector<int> tops = rowTops(p);
  std::printf("%s: %dx%d, %zu flame chart rows\n", argv[1], p.width, p.height, tops.size());
  const double tolerance = 4.0 / p.width;  // bar borders and rounding
  int failed = 0;
  for (int i = 2; i < argc; ++i) {
    int depth = 0;
    std::vector<Segment> want;
    if (!parseRow(argv[i], depth, want)) {
      std::printf("FAIL bad row text %s\n", argv[i]);
      return 2;
    }
    if (depth >= static_cast<int>(tops.size())) {
      std::printf("FAIL row %d: the chart has %zu rows\n", depth, tops.size());
      ++failed;
      continue;
    }
    const std::vector<Segment> got = segments(p, tops[depth] + 2);  // above the bars' labels
    bool same = got.size() == want.size();
    for (size_t s = 0; same && s < got.size(); ++s)
      same = std::fabs(got[s].from - want[s].from) <= tolerance && std::fabs(got[s].to - want[s].to) <= tolerance;
    std::printf("%s row %d:", same ? "OK" : "FAIL", depth);
    for (const Segment& s : got) std::printf(" %.3f:%.3f", s.from, s.to);
    std::printf("\n");
    if (!same) ++failed;
  }
  return failed == 0 ? 0 : 1;
}
