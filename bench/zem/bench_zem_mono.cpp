// Cost of one managed call's enter/leave pair through zem on Debian's Mono 6.8:
// the engine thread recording (filtered path, the call pushed and popped),
// other threads (zem returns after the thread test) — one that never called zem and
// one that holds a thread number — and the floor: the same instrumented calls with
// zem's no-op callbacks installed (WinProfileCPU(3)), on the engine thread and on
// another thread. The cases alternate over several rounds in one process.
// Then one allocation through zem's memory mode (shadow stack, call path, live
// object map, sweeps at the collections) against the same loop with zem's
// empty allocation and enter/leave callbacks (after StopProfiling).
#include <dlfcn.h>
#include <mono/jit/jit.h>
#include <mono/metadata/assembly.h>
#include <mono/metadata/mono-config.h>
#include <mono/metadata/profiler.h>
#include <mono/metadata/threads.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

namespace {

MonoProfilerCallInstrumentationFlags instrumentAll(MonoProfiler*, MonoMethod*) {
  return static_cast<MonoProfilerCallInstrumentationFlags>(MONO_PROFILER_CALL_INSTRUMENTATION_ENTER |
                                                           MONO_PROFILER_CALL_INSTRUMENTATION_LEAVE);
}

MonoMethod* g_run = nullptr;
MonoDomain* g_domain = nullptr;

// Nanoseconds per unit of method(count) (Bench.Run: calls, Bench.Allocate:
// allocations); the best of a few runs.
double nsPerCall(int calls, MonoMethod* method = g_run) {
  double best = 1e300;
  for (int run = 0; run < 3; ++run) {
    void* args[1] = {&calls};
    MonoObject* exc = nullptr;
    auto a = std::chrono::steady_clock::now();
    mono_runtime_invoke(method, nullptr, args, &exc);
    auto b = std::chrono::steady_clock::now();
    double ns = std::chrono::duration<double, std::nano>(b - a).count() / calls;
    if (ns < best) best = ns;
  }
  return best;
}

// The same on a new attached thread; `before` runs on it first, then `meanwhile` on the
// calling thread, then the measurement.
template <typename Before, typename Meanwhile>
double nsPerCallOnAnotherThread(int calls, Before before, Meanwhile meanwhile) {
  double ns = 0;
  std::promise<void> ready, go;
  std::thread t([&] {
    mono_thread_attach(g_domain);
    before();
    ready.set_value();
    go.get_future().wait();
    ns = nsPerCall(calls);
  });
  ready.get_future().wait();
  meanwhile();
  go.set_value();
  t.join();
  return ns;
}
double nsPerCallOnAnotherThread(int calls) {
  return nsPerCallOnAnotherThread(
      calls, [] {}, [] {});
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  MonoProfilerHandle handle = mono_profiler_create(nullptr);
  mono_profiler_set_call_instrumentation_filter_callback(handle, instrumentAll);
  mono_profiler_enable_allocations();  // only before the runtime starts
  mono_config_parse(nullptr);
  g_domain = mono_jit_init("zembench");
  void* zem = dlopen(ZEM_PATH, RTLD_NOW | RTLD_LOCAL);
  MonoAssembly* bench = mono_domain_assembly_open(g_domain, BENCH_DLL);
  if (!g_domain || !zem || !bench) {
    std::printf("cannot start: runtime, zem or Bench.dll missing\n");
    return 1;
  }
  auto startProfilerOn =
      reinterpret_cast<int (*)(const char*, int32_t, int32_t, int32_t)>(dlsym(zem, "StartProfilerOn"));
  auto startProfiling = reinterpret_cast<int (*)()>(dlsym(zem, "StartProfiling"));
  auto winProfileCpu = reinterpret_cast<void (*)(int)>(dlsym(zem, "WinProfileCPU"));
  auto setFrameAtEnd = reinterpret_cast<void (*)(int)>(dlsym(zem, "SetFrameAtEnd"));
  MonoClass* k = mono_class_from_name(mono_assembly_get_image(bench), "", "Bench");
  g_run = mono_class_get_method_from_name(k, "Run", 1);
  MonoMethod* allocate = mono_class_get_method_from_name(k, "Allocate", 1);
  auto stopProfiling = reinterpret_cast<int (*)()>(dlsym(zem, "StopProfiling"));
  if (!startProfilerOn || !startProfiling || !winProfileCpu || !setFrameAtEnd || !stopProfiling || !g_run ||
      !allocate) {
    std::printf("cannot bind zem to the runtime\n");
    return 1;
  }
  const int calls = 2000000, rounds = 5;
  const char* names[] = {"floor: no-op callbacks, engine thread", "floor: no-op callbacks, another thread",
                         "zem, engine thread (recorded)", "zem, thread that never called zem",
                         "zem, thread holding a thread number"};
  std::vector<double> ns[5];
  for (int round = 0; round < rounds; ++round) {
    winProfileCpu(0);
    if (startProfilerOn(MONO_LIB, 0, 1, 0) != 1) {
      std::printf("cannot bind zem to the runtime\n");
      return 1;
    }
    nsPerCall(1000);  // compile Run and Leaf
    ns[2].push_back(nsPerCall(calls));
    setFrameAtEnd(round);
    ns[3].push_back(nsPerCallOnAnotherThread(calls));
    // Starting a session hands the thread a number; the engine thread then takes the session back.
    ns[4].push_back(nsPerCallOnAnotherThread(
        calls, [&] { startProfiling(); }, [&] { startProfiling(); }));
    setFrameAtEnd(round);
    winProfileCpu(3);  // zem's no-op callbacks: the instrumented call alone
    ns[0].push_back(nsPerCall(calls));
    ns[1].push_back(nsPerCallOnAnotherThread(calls));
  }
  std::printf("ns per enter/leave pair, %d rounds (best of 3 runs of %d calls each)\n", rounds, calls);
  const double floorOther = median(ns[1]);
  for (int c = 0; c < 5; ++c) {
    std::printf("%-40s", names[c]);
    for (double v : ns[c]) std::printf(" %7.1f", v);
    const double best = *std::min_element(ns[c].begin(), ns[c].end());
    std::printf("   best %6.1f  median %6.1f  (%.2fx other-thread floor)\n", best, median(ns[c]),
                median(ns[c]) / floorOther);
  }

  const int allocations = 1000000;
  startProfilerOn(MONO_LIB, 1, 0, 0);  // memory mode
  nsPerCall(1000, allocate);           // compile Allocate
  const double tracked = nsPerCall(allocations, allocate);
  setFrameAtEnd(rounds);
  stopProfiling();  // zem's empty allocation and enter/leave callbacks stay installed
  const double empty = nsPerCall(allocations, allocate);
  std::printf("allocation with empty callbacks               %7.1f ns\n", empty);
  std::printf("allocation recorded by zem (memory mode)      %7.1f ns  (%.2fx empty)\n", tracked, tracked / empty);
  return 0;
}
