// Cost of one begin/end sample pair on the engine thread and of the frame-end
// pass over 10 000 nodes, beside two steady_clock reads as the floor.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "session/Profiler.h"

using Clock = std::chrono::steady_clock;

static double nsPer(Clock::time_point a, Clock::time_point b, long n) {
  return std::chrono::duration<double, std::nano>(b - a).count() / static_cast<double>(n);
}

int main() {
  const long iters = 5000000;
  volatile long long sink = 0;
  auto t0 = Clock::now();
  for (long i = 0; i < iters; ++i) {
    auto a = Clock::now();
    auto b = Clock::now();
    sink = sink + (b - a).count();
  }
  auto t1 = Clock::now();
  double floor = nsPer(t0, t1, iters);

  zem::Profiler p;
  p.startProfiling();
  p.startMonoOn(nullptr, 1, false);
  p.pushSample("Frame");
  t0 = Clock::now();
  for (long i = 0; i < iters; ++i) {
    p.pushSample("Update");
    p.popSample();
  }
  t1 = Clock::now();
  double pair = nsPer(t0, t1, iters);
  p.popSample();

  zem::Profiler q;
  q.startProfiling();
  q.startMonoOn(nullptr, 1, false);
  std::string tmp = "/tmp/bench_zem_cpu.txt";
  q.idMapFile("/tmp/bench_zem_ids.txt", nullptr);
  q.logCpuFile(tmp.c_str());
  std::vector<std::string> names;
  for (int i = 0; i < 100; ++i) names.push_back("n" + std::to_string(i));
  const int frames = 200;
  double frameNs = 0;
  for (int f = 1; f <= frames; ++f) {
    for (int a = 0; a < 100; ++a) {
      q.pushSample(names[a].c_str());
      for (int b = 0; b < 99; ++b) {
        q.pushSample(names[b].c_str());
        q.popSample();
      }
      q.popSample();
    }
    auto s = Clock::now();
    q.frameEnd(f);
    frameNs += std::chrono::duration<double, std::nano>(Clock::now() - s).count();
  }
  q.stopProfiling();
  std::remove(tmp.c_str());
  std::remove("/tmp/bench_zem_ids.txt");

  std::printf("floor: two steady_clock reads      %8.1f ns\n", floor);
  std::printf("sample pair (push + pop)           %8.1f ns  (%.2fx floor)\n", pair, pair / floor);
  std::printf("frame-end pass, 10000 nodes        %8.1f us\n", frameNs / frames / 1000.0);
  return sink == -1 ? 1 : 0;
}
