// known_profile <zem library> <output dir>
// One frame with a profile of known proportions, recorded through zem's
// exports as an engine would: "Frame" (100 ms) holding "Update" (75 ms) and
// "Render" (25 ms), logged as registered samples so the times are exact.
// Writes ids.txt and cpu.txt into the output dir.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {
void* g_lib = nullptr;

template <typename T>
T fn(const char* name) {
  void* symbol = dlsym(g_lib, name);
  if (!symbol) std::printf("missing export %s\n", name);
  return reinterpret_cast<T>(symbol);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: known_profile <zem library> <output dir>\n");
    return 2;
  }
  g_lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!g_lib) {
    std::printf("cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  using StrFn = void (*)(const char*);
  using Str2Fn = void (*)(const char*, const char*);
  auto markStartTime = fn<StrFn>("MarkStartTime");
  auto startProfiling = fn<int32_t (*)()>("StartProfiling");
  auto startMonoOn = fn<int32_t (*)(const char*, int32_t, int32_t)>("StartMonoOn");
  auto idMapFile = fn<Str2Fn>("IdMapFile");
  auto logCpuFile = fn<StrFn>("LogCpuFile");
  auto registerSample = fn<Str2Fn>("RegisterSample");
  auto logSample = fn<void (*)(int32_t, int64_t, int32_t)>("LogSample");
  auto frameAtEnd = fn<void (*)(int32_t)>("SetFrameAtEnd");
  auto stopProfiling = fn<int32_t (*)()>("StopProfiling");
  if (!markStartTime || !startProfiling || !startMonoOn || !idMapFile || !logCpuFile || !registerSample ||
      !logSample || !frameAtEnd || !stopProfiling) {
    return 1;
  }
  const std::string dir = std::string(argv[2]) + "/";
  markStartTime(nullptr);  // text records
  startProfiling();
  startMonoOn(nullptr, 1, 0);  // cpu mode, no managed runtime
  idMapFile((dir + "ids.txt").c_str(), (dir + "unregistered.txt").c_str());
  logCpuFile((dir + "cpu.txt").c_str());
  registerSample("Frame", nullptr);
  registerSample("Update", "Frame");
  registerSample("Render", "Frame");
  constexpr int64_t kMs = 1000000;
  logSample(0, 100 * kMs, 1);
  logSample(1, 75 * kMs, 1);
  logSample(2, 25 * kMs, 1);
  frameAtEnd(1);
  return stopProfiling() == 0 ? 0 : 1;
}
