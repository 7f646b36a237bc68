// Lines per second and per-line latency of a file log category from 1 and 4
// threads, next to spdlog's asynchronous file logger writing the same lines.
// The floor row times an empty call the same way in the same run, from as
// many threads and for as long as the vexolib writers ran: its maximum shows
// how long this machine preempts a thread, the bound a logger's worst call is
// judged against.
// Both keep one 1 MiB backup (spdlog: rotating sink, max 1 file) so both do
// the same file work. Throughput counts until everything is on disk.
#include <spdlog/async.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "LogExports.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
const char* kPayload = "payload text of a typical game line, position 10 20 30";

struct Result {
  double linesPerSecond;
  double meanNs, p50Ns, p99Ns, p999Ns, maxNs;
  size_t overOneMs;
};

Result summarise(std::vector<std::vector<uint32_t>>& perThread, double seconds) {
  std::vector<uint32_t> all;
  for (auto& v : perThread) all.insert(all.end(), v.begin(), v.end());
  std::sort(all.begin(), all.end());
  double sum = 0;
  for (uint32_t v : all) sum += v;
  Result r{};
  r.linesPerSecond = static_cast<double>(all.size()) / seconds;
  r.meanNs = sum / static_cast<double>(all.size());
  r.p50Ns = all[all.size() / 2];
  r.p99Ns = all[all.size() * 99 / 100];
  r.p999Ns = all[all.size() * 999 / 1000];
  r.maxNs = all.back();
  r.overOneMs = static_cast<size_t>(all.end() - std::upper_bound(all.begin(), all.end(), 1000000u));
  return r;
}

// Returns how long the writing took, in seconds.
template <typename LogLine>
double writers(int threads, int lines, std::vector<std::vector<uint32_t>>& lat, LogLine logLine) {
  std::vector<std::thread> pool;
  lat.assign(static_cast<size_t>(threads), {});
  auto start = Clock::now();
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      auto& mine = lat[static_cast<size_t>(t)];
      mine.reserve(static_cast<size_t>(lines));
      logLine(t, -1);  // set-up call for the thread (agent), not timed
      for (int i = 0; i < lines; ++i) {
        auto a = Clock::now();
        logLine(t, i);
        auto b = Clock::now();
        mine.push_back(static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(b - a).count()));
      }
    });
  }
  for (auto& p : pool) p.join();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

Result runVexolib(const fs::path& dir, int threads, int lines, double& writingSeconds) {
  std::string path = (dir / "vexo.log").string();
  std::vector<vexolib::log::LogAgent*> agents(static_cast<size_t>(threads));
  std::vector<std::vector<uint32_t>> lat;
  auto start = Clock::now();
  writingSeconds = writers(threads, lines, lat, [&](int t, int i) {
    if (i < 0) {
      auto* a = LogManager_NewLogAgent();
      LogManager_SetCatagory(a, "bench", path.c_str(), 0, 0);
      LogManager_Init(a);
      agents[static_cast<size_t>(t)] = a;
      return;
    }
    LogManager_printf2(agents[static_cast<size_t>(t)], 4, "thread %d line %d %s", t, i, kPayload);
  });
  LogManager_Destroy();  // the flush thread writes out the rest
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (auto* a : agents) LogManager_Stop(a);
  return summarise(lat, seconds);
}

Result runSpdlog(const fs::path& dir, int threads, int lines) {
  spdlog::init_thread_pool(8192, 1);
  auto logger = spdlog::rotating_logger_mt<spdlog::async_factory>("bench", (dir / "spd.log").string(), 1048576, 1);
  logger->set_pattern("[%Y-%m-%d %H:%M:%S] %n (%l): %v");
  std::vector<std::vector<uint32_t>> lat;
  auto start = Clock::now();
  writers(threads, lines, lat, [&](int t, int i) {
    if (i >= 0) logger->info("thread {} line {} {}", t, i, kPayload);
  });
  logger.reset();
  spdlog::shutdown();  // drains the queue and closes the file
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return summarise(lat, seconds);
}

// Empty calls timed back to back for `seconds` from each thread. Only the
// maximum and the calls of 1 us or more are kept (tens of millions of calls).
struct Floor {
  double maxNs = 0;
  double p999Ns = 0;
  uint64_t calls = 0;
  size_t overOneMs = 0;
};

Floor runFloor(int threads, double seconds) {
  std::vector<std::vector<uint32_t>> slow(static_cast<size_t>(threads));
  std::vector<uint64_t> calls(static_cast<size_t>(threads), 0);
  std::vector<std::thread> pool;
  const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      auto& mine = slow[static_cast<size_t>(t)];
      uint64_t n = 0;
      for (;;) {
        auto a = Clock::now();
        auto b = Clock::now();
        ++n;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(b - a).count();
        if (ns >= 1000) mine.push_back(static_cast<uint32_t>(ns));
        if (b >= until) break;
      }
      calls[static_cast<size_t>(t)] = n;
    });
  }
  for (auto& p : pool) p.join();
  Floor f;
  std::vector<uint32_t> all;
  for (auto& v : slow) all.insert(all.end(), v.begin(), v.end());
  for (uint64_t n : calls) f.calls += n;
  std::sort(all.begin(), all.end());
  if (!all.empty()) f.maxNs = all.back();
  f.overOneMs = static_cast<size_t>(all.end() - std::upper_bound(all.begin(), all.end(), 1000000u));
  const uint64_t above = f.calls / 1000;                            // calls slower than the p99.9
  f.p999Ns = above < all.size() ? all[all.size() - 1 - above] : 0;  // 0: under 1 us
  return f;
}

void print(const char* who, int threads, const Result& r) {
  std::printf(
      "%-10s %d thread%s  %10.0f lines/s  latency ns: mean %7.0f  p50 %6.0f  p99 %7.0f  p99.9 %8.0f  max %9.0f"
      "  calls over 1 ms %zu\n",
      who, threads, threads == 1 ? " " : "s", r.linesPerSecond, r.meanNs, r.p50Ns, r.p99Ns, r.p999Ns, r.maxNs,
      r.overOneMs);
}
}  // namespace

int main(int argc, char** argv) {
  int total = argc > 1 ? std::atoi(argv[1]) : 400000;
  if (total <= 0) total = 400000;
  fs::path dir = fs::temp_directory_path() / ("bench_log_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::printf("%d lines per run, file with one 1 MiB backup\n", total);
  for (int threads : {1, 4}) {
    for (int round = 0; round < 2; ++round) {  // alternate to even out disk and cache effects
      double writingSeconds = 0;
      Result v = runVexolib(dir, threads, total / threads, writingSeconds);
      Result s = runSpdlog(dir, threads, total / threads);
      Floor f = runFloor(threads, writingSeconds);
      if (round == 1) {
        print("vexolib", threads, v);
        print("spdlog", threads, s);
        std::printf(
            "%-10s %d thread%s  %10.0f calls in %.2f s  empty call ns: p99.9 %s%6.0f  max %9.0f  calls over 1 ms %zu\n",
            "floor", threads, threads == 1 ? " " : "s", static_cast<double>(f.calls), writingSeconds,
            f.p999Ns == 0 ? "<" : " ", f.p999Ns == 0 ? 1000.0 : f.p999Ns, f.maxNs, f.overOneMs);
      }
    }
  }
  fs::remove_all(dir);
  return 0;
}
