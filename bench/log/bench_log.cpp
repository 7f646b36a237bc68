// Lines per second and per-line latency of a file log category from 1 and 4
// threads, next to spdlog's asynchronous file logger writing the same lines.
// The floor row times an empty call the same way in the same run: its maximum
// shows how long this machine preempts a thread, the bound a logger's worst
// call is judged against.
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
  return r;
}

template <typename LogLine>
void writers(int threads, int lines, std::vector<std::vector<uint32_t>>& lat, LogLine logLine) {
  std::vector<std::thread> pool;
  lat.assign(static_cast<size_t>(threads), {});
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
}

Result runVexolib(const fs::path& dir, int threads, int lines) {
  std::string path = (dir / "vexo.log").string();
  std::vector<vexolib::log::LogAgent*> agents(static_cast<size_t>(threads));
  std::vector<std::vector<uint32_t>> lat;
  auto start = Clock::now();
  writers(threads, lines, lat, [&](int t, int i) {
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

Result runFloor(int threads, int lines) {
  std::vector<std::vector<uint32_t>> lat;
  auto start = Clock::now();
  writers(threads, lines, lat, [](int, int) {});
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return summarise(lat, seconds);
}

void print(const char* who, int threads, const Result& r) {
  std::printf("%-10s %d thread%s  %10.0f lines/s  latency ns: mean %7.0f  p50 %6.0f  p99 %7.0f  p99.9 %8.0f  max %9.0f\n",
              who, threads, threads == 1 ? " " : "s", r.linesPerSecond, r.meanNs, r.p50Ns, r.p99Ns, r.p999Ns, r.maxNs);
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
      Result v = runVexolib(dir, threads, total / threads);
      Result s = runSpdlog(dir, threads, total / threads);
      Result f = runFloor(threads, total / threads);
      if (round == 1) {
        print("vexolib", threads, v);
        print("spdlog", threads, s);
        print("floor", threads, f);
      }
    }
  }
  fs::remove_all(dir);
  return 0;
}
