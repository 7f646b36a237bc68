// Cost of one managed call's enter/leave pair through zem on Debian's Mono 6.8:
// the engine thread recording (filtered path, the call pushed and popped),
// another thread (zem returns after the thread check), and the floor: the same
// instrumented calls with zem's no-op callbacks installed (WinProfileCPU(3)).
// Then one allocation through zem's memory mode (shadow stack, call path, live
// object map, sweeps at the collections) against the same loop with zem's
// empty allocation and enter/leave callbacks (after StopProfiling).
#include <dlfcn.h>
#include <mono/jit/jit.h>
#include <mono/metadata/assembly.h>
#include <mono/metadata/mono-config.h>
#include <mono/metadata/profiler.h>
#include <mono/metadata/threads.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

MonoProfilerCallInstrumentationFlags instrumentAll(MonoProfiler*, MonoMethod*) {
  return static_cast<MonoProfilerCallInstrumentationFlags>(MONO_PROFILER_CALL_INSTRUMENTATION_ENTER |
                                                           MONO_PROFILER_CALL_INSTRUMENTATION_LEAVE);
}

MonoMethod* g_run = nullptr;
MonoDomain* g_domain = nullptr;

// Nanoseconds per unit of method(count) (Bench.Run: calls, Bench.Allocate:
// allocations); the best of several runs.
double nsPerCall(int calls, MonoMethod* method = g_run) {
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
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
  auto winProfileCpu = reinterpret_cast<void (*)(int)>(dlsym(zem, "WinProfileCPU"));
  auto setFrameAtEnd = reinterpret_cast<void (*)(int)>(dlsym(zem, "SetFrameAtEnd"));
  MonoClass* k = mono_class_from_name(mono_assembly_get_image(bench), "", "Bench");
  g_run = mono_class_get_method_from_name(k, "Run", 1);
  MonoMethod* allocate = mono_class_get_method_from_name(k, "Allocate", 1);
  auto stopProfiling = reinterpret_cast<int (*)()>(dlsym(zem, "StopProfiling"));
  if (!startProfilerOn || !winProfileCpu || !setFrameAtEnd || !stopProfiling || !g_run || !allocate ||
      startProfilerOn(MONO_LIB, 0, 1, 0) != 1) {
    std::printf("cannot bind zem to the runtime\n");
    return 1;
  }
  const int calls = 2000000;
  nsPerCall(1000);  // compile Run and Leaf
  const double recorded = nsPerCall(calls);
  setFrameAtEnd(1);
  double otherThread = 0;
  std::thread t([&] {
    mono_thread_attach(g_domain);
    otherThread = nsPerCall(calls);
  });
  t.join();
  winProfileCpu(3);  // zem's no-op callbacks: the instrumented call alone
  const double floor = nsPerCall(calls);
  std::printf("floor: call with no-op enter/leave callbacks   %7.1f ns\n", floor);
  std::printf("enter/leave through zem, engine thread       %7.1f ns  (%.2fx floor)\n", recorded, recorded / floor);
  std::printf("enter/leave through zem, another thread      %7.1f ns  (%.2fx floor)\n", otherThread,
              otherThread / floor);

  const int allocations = 1000000;
  startProfilerOn(MONO_LIB, 1, 0, 0);  // memory mode
  nsPerCall(1000, allocate);           // compile Allocate
  const double tracked = nsPerCall(allocations, allocate);
  setFrameAtEnd(2);
  stopProfiling();  // zem's empty allocation and enter/leave callbacks stay installed
  const double empty = nsPerCall(allocations, allocate);
  std::printf("allocation with empty callbacks               %7.1f ns\n", empty);
  std::printf("allocation recorded by zem (memory mode)      %7.1f ns  (%.2fx empty)\n", tracked, tracked / empty);
  return 0;
}
