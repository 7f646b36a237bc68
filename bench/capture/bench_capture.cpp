// Encoding a 1920x1080 frame as the render thread does it, in 4 slices of
// rows with libjpeg-turbo, beside stb_image_write's JPEG writer at the same
// quality on the same pixels, in one run.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "JpegEncoder.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

using Clock = std::chrono::steady_clock;
using zem::capture::JpegEncoder;
using zem::capture::MemorySink;
using zem::capture::PixelOrder;

namespace {

double ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// Something like a game frame: smooth shading, edges and a little noise.
std::vector<uint8_t> makeFrame(int w, int h) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 28) - 8;
      const bool tile = ((x / 120) + (y / 90)) % 2 == 0;
      uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      p[0] = static_cast<uint8_t>(std::clamp(x * 255 / w + noise, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp((tile ? 180 : 60) + noise, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(static_cast<int>(128 + 100 * std::sin(y * 0.02)) + noise, 0, 255));
      p[3] = 255;
    }
  return px;
}

double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void stbWrite(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

}  // namespace

int main() {
  const int w = 1920, h = 1080, slices = 4, rounds = 15;
  const int rows = h / slices;
  const auto frame = makeFrame(w, h);
  std::vector<double> sliceMs[slices], totalMs, stbMs;
  size_t ourBytes = 0, stbBytes = 0;

  for (int r = 0; r < rounds; ++r) {
    MemorySink sink;
    sink.bytes.reserve(1 << 20);
    JpegEncoder encoder;
    const auto start = Clock::now();
    auto t = start;
    encoder.start(sink, w, h, PixelOrder::kRgbx);
    for (int s = 0; s < slices; ++s) {
      const int first = s * rows, count = s == slices - 1 ? h - first : rows;
      encoder.writeRows(frame.data() + static_cast<size_t>(first) * w * 4, w * 4, count);
      if (s == slices - 1) encoder.finish();
      const auto now = Clock::now();
      sliceMs[s].push_back(ms(t, now));
      t = now;
    }
    totalMs.push_back(ms(start, t));
    ourBytes = sink.bytes.size();

    std::vector<uint8_t> out;
    out.reserve(1 << 20);
    const auto s0 = Clock::now();
    stbi_write_jpg_to_func(stbWrite, &out, w, h, 4, frame.data(), JpegEncoder::kQuality);
    stbMs.push_back(ms(s0, Clock::now()));
    stbBytes = out.size();
  }

  // The machine is shared: the fastest round shows the work itself, the median
  // what a busy machine gives.
  std::printf("1920x1080 frame, quality %d, %d rounds: fastest / median\n", JpegEncoder::kQuality, rounds);
  double longest = 0;
  for (int i = 0; i < slices; ++i) {
    std::printf("libjpeg-turbo slice %d:     %6.2f / %6.2f ms%s\n", i + 1, fastest(sliceMs[i]), median(sliceMs[i]),
                i == slices - 1 ? " (includes the end of the file)" : "");
    longest = std::max(longest, fastest(sliceMs[i]));
  }
  std::printf("libjpeg-turbo total:       %6.2f / %6.2f ms, %zu bytes\n", fastest(totalMs), median(totalMs), ourBytes);
  std::printf("stb_image_write (one go):  %6.2f / %6.2f ms, %zu bytes\n", fastest(stbMs), median(stbMs), stbBytes);
  std::printf("longest slice (fastest round) %.2f ms, goal under 4 ms; stb takes %.1fx as long\n", longest,
              fastest(stbMs) / fastest(totalMs));
  return 0;
}
