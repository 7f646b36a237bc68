// Stand-in for the game's managed runtime module: exports the mono_* and
// il2cpp_* functions zem binds, over a small fixed set of classes and
// methods, and records what zem does with them. Built twice: like the
// runtime of the game engines (enter/leave installer only, no event-mask
// reader) with STANDIN_LEGACY, and with every function. standin_* exports
// let tests drive method entries, allocations, collections (objects dying
// and moving) and read the records.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#if defined(_WIN32)
#define STANDIN_API extern "C" __declspec(dllexport)
#else
#define STANDIN_API extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct FakeClass {
  const char* nameSpace;
  const char* name;
  const char* assembly;
};
struct FakeMethod {
  int klass;
  const char* name;
  const char* signature;
  const char* prefix;  // "(wrapper ...) " for runtime-made wrappers
};

const FakeClass kClasses[] = {
    {"", "Game", "Assembly-CSharp"},
    {"", "ZEMEngine", "ZEMWrapper_Windows"},
    {"ZemCallBack", "Profiler", "ZemCallBack"},
    {"System.Reflection", "Assembly", "mscorlib"},
    {"UnityEngine", "Behaviour", "Assembly-CSharp"},
    {"", "Bullet", "Assembly-CSharp"},  // 5: allocated by the tests
    {"System", "String", "mscorlib"},   // 6
    {"", "object", "mscorlib"},         // 7: the runtime's allocator wrappers
};
const int kClassCount = sizeof kClasses / sizeof kClasses[0];
// Indexes used by the tests (standin_method).
const FakeMethod kMethods[] = {
    {0, "Update", "", ""},                                                                      // 0
    {0, "Deep", "int", ""},                                                                     // 1
    {0, "Native", "", "(wrapper managed-to-native) "},                                          // 2
    {1, "PushSample", "string", ""},                                                            // 3
    {1, "PopSample", "", ""},                                                                   // 4
    {1, "StaticInit", "", ""},                                                                  // 5
    {1, "LogInt", "string,int", ""},                                                            // 6
    {2, "CheckAllApi", "", ""},                                                                 // 7
    {3, "Load", "byte[]", ""},                                                                  // 8
    {0, "Render", "", ""},                                                                      // 9
    {4, "Awake", "", ""},                                                                       // 10
    {0, "Level2", "", ""},                                                                      // 11
    {0, "Level3", "", ""},                                                                      // 12
    {7, "ProfilerAllocSmall", "intptr,intptr", "(wrapper alloc) "},                             // 13
    {7, "__icall_wrapper_mono_gc_alloc_obj", "intptr,intptr", "(wrapper managed-to-native) "},  // 14
};
const int kMethodCount = sizeof kMethods / sizeof kMethods[0];

using MethodCallback = void (*)(void*, void*);
using GcEventCallback = void (*)(void*, int, int);
using AllocationCallback = void (*)(void*, void*, void*);
using ThrowCallback = void (*)(void*, void*);
using ClauseCallback = void (*)(void*, void*, int, int);

// A managed object: where it is now and whether it is alive.
struct FakeObject {
  uintptr_t address;
  uint32_t size;
  bool alive;
};

struct State {
  std::mutex lock;
  // The runtime's threads read these while a callback may be replacing them.
  std::atomic<void*> profiler{nullptr};
  std::atomic<MethodCallback> enter{nullptr}, leave{nullptr};
  std::atomic<GcEventCallback> gc{nullptr};
  std::atomic<AllocationCallback> allocation{nullptr};
  std::atomic<ThrowCallback> thrown{nullptr};
  std::atomic<MethodCallback> exceptionLeave{nullptr};
  std::atomic<ClauseCallback> clause{nullptr};
  std::atomic<void (*)()> onWeakHandle{nullptr};  // run by each new weak handle, before it is made
  std::mutex objectLock;                          // objects and weak handles; allocating threads run at once
  std::vector<FakeObject> objects;
  std::map<uintptr_t, size_t> objectAt;  // live objects by address
  std::vector<long> handleTargets;       // object index per handle - 1; -1 when freed
  bool weakHandles = true;
  int liveHandles = 0;
  int mask = 0;
  int installs = 0, nullInstalls = 0, hookInstalls = 0;
  std::atomic<int> outstandingNames{0}, loads{0}, staticInits{0}, checkAllApi{0};
  std::string loadedBytes;
  bool wrapperLoaded = false;
  int domain = 1;
  unsigned char byteArray[1 << 16];
  size_t byteArrayLength = 0;
};
State g;

void* methodHandle(int i) { return const_cast<FakeMethod*>(&kMethods[i]); }
int methodIndex(void* m) {
  for (int i = 0; i < kMethodCount; ++i)
    if (m == methodHandle(i)) return i;
  return -1;
}
void* classHandle(int i) { return const_cast<FakeClass*>(&kClasses[i]); }

void callEnter(int i) {
  if (MethodCallback f = g.enter.load()) f(g.profiler.load(), methodHandle(i));
}
void callLeave(int i) {
  if (MethodCallback f = g.leave.load()) f(g.profiler.load(), methodHandle(i));
}
void setHooks(MethodCallback enter, MethodCallback leave) {
  std::lock_guard<std::mutex> l(g.lock);
  if (!enter || !leave) ++g.nullInstalls;
  ++g.hookInstalls;
  g.enter = enter;
  g.leave = leave;
}

}  // namespace

// ---- names ----
STANDIN_API const char* mono_class_get_name(void* k) { return static_cast<FakeClass*>(k)->name; }
STANDIN_API const char* mono_class_get_namespace(void* k) { return static_cast<FakeClass*>(k)->nameSpace; }
STANDIN_API const char* mono_method_get_name(void* m) { return static_cast<FakeMethod*>(m)->name; }
STANDIN_API void* mono_method_get_class(void* m) { return classHandle(static_cast<FakeMethod*>(m)->klass); }
STANDIN_API char* mono_method_full_name(void* m, int32_t signature) {
  const FakeMethod& fm = *static_cast<FakeMethod*>(m);
  const FakeClass& fc = kClasses[fm.klass];
  std::string text = fm.prefix;
  if (*fc.nameSpace) text += std::string(fc.nameSpace) + ".";
  text += std::string(fc.name) + ":" + fm.name;
  if (signature) text += std::string(" (") + fm.signature + ")";
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(out, text.c_str(), text.size() + 1);
  ++g.outstandingNames;
  return out;
}
STANDIN_API void mono_free(void* p) {
  if (p) --g.outstandingNames;
  std::free(p);
}
STANDIN_API uint32_t mono_object_get_size(void* o) {
  std::lock_guard<std::mutex> l(g.objectLock);
  auto it = g.objectAt.find(reinterpret_cast<uintptr_t>(o));
  return it == g.objectAt.end() ? 16 : g.objects[it->second].size;
}
STANDIN_API uint32_t mono_gchandle_new_weakref(void* o, int32_t) {
  if (void (*hook)() = g.onWeakHandle.load()) hook();
  std::lock_guard<std::mutex> l(g.objectLock);
  auto it = g.objectAt.find(reinterpret_cast<uintptr_t>(o));
  if (!g.weakHandles || it == g.objectAt.end()) return 0;
  g.handleTargets.push_back(static_cast<long>(it->second));
  ++g.liveHandles;
  return static_cast<uint32_t>(g.handleTargets.size());
}
STANDIN_API void* mono_gchandle_get_target(uint32_t h) {
  std::lock_guard<std::mutex> l(g.objectLock);
  if (h == 0 || h > g.handleTargets.size() || g.handleTargets[h - 1] < 0) return nullptr;
  const FakeObject& o = g.objects[static_cast<size_t>(g.handleTargets[h - 1])];
  return o.alive ? reinterpret_cast<void*>(o.address) : nullptr;
}
STANDIN_API void mono_gchandle_free(uint32_t h) {
  std::lock_guard<std::mutex> l(g.objectLock);
  if (h == 0 || h > g.handleTargets.size() || g.handleTargets[h - 1] < 0) return;
  g.handleTargets[h - 1] = -1;
  --g.liveHandles;
}
STANDIN_API void mono_gc_collect(int) {}
STANDIN_API int64_t mono_gc_get_used_size() { return 6 * 1024 * 1024; }
STANDIN_API int64_t mono_gc_get_heap_size() { return 8 * 1024 * 1024; }
STANDIN_API void mono_stack_walk_no_il(void*, void*) {}
STANDIN_API int mono_gc_max_generation() { return 1; }

// ---- profiler ----
STANDIN_API void mono_profiler_install(void* profiler, void (*)(void*)) {
  std::lock_guard<std::mutex> l(g.lock);
  ++g.installs;
  g.profiler = profiler;
}
STANDIN_API void mono_profiler_set_events(int mask) { g.mask = mask; }
STANDIN_API void mono_profiler_install_enter_leave(MethodCallback enter, MethodCallback leave) {
  setHooks(enter, leave);
}
STANDIN_API void mono_profiler_install_gc(GcEventCallback event, void (*)(void*, int64_t)) { g.gc = event; }
STANDIN_API void mono_profiler_install_allocation(AllocationCallback callback) { g.allocation = callback; }
STANDIN_API void mono_profiler_install_exception(ThrowCallback thrown, MethodCallback leave, ClauseCallback clause) {
  g.thrown = thrown;
  g.exceptionLeave = leave;
  g.clause = clause;
}
#if !defined(STANDIN_LEGACY)
STANDIN_API int mono_profiler_get_events() { return g.mask; }
STANDIN_API void mono_profiler_install_method_invoke(MethodCallback start, MethodCallback end) { setHooks(start, end); }
STANDIN_API int32_t mono_object_is_alive(void* o) {
  std::lock_guard<std::mutex> l(g.objectLock);
  return g.objectAt.count(reinterpret_cast<uintptr_t>(o)) ? 1 : 0;
}
#endif

// ---- domains, assemblies, invocation ----
STANDIN_API void* mono_domain_get() { return &g.domain; }
STANDIN_API void* mono_get_root_domain() { return &g.domain; }
STANDIN_API void* mono_domain_assembly_open(void*, const char* name) {
  // Only assemblies already loaded are found by bare name.
  if (!std::strcmp(name, "ZEMWrapper_Windows") && !g.wrapperLoaded) return nullptr;
  for (const FakeClass& c : kClasses)
    if (!std::strcmp(c.assembly, name)) return const_cast<char*>(c.assembly);
  return nullptr;
}
STANDIN_API void* mono_assembly_get_image(void* assembly) { return assembly; }
STANDIN_API void* mono_class_from_name(void* image, const char* ns, const char* name) {
  for (int i = 0; i < kClassCount; ++i)
    if (!std::strcmp(kClasses[i].assembly, static_cast<const char*>(image)) &&
        !std::strcmp(kClasses[i].nameSpace, ns) && !std::strcmp(kClasses[i].name, name))
      return classHandle(i);
  return nullptr;
}
STANDIN_API void* mono_class_get_methods(void* klass, void** iterator) {
  intptr_t next = reinterpret_cast<intptr_t>(*iterator);
  for (intptr_t i = next; i < kMethodCount; ++i)
    if (classHandle(kMethods[i].klass) == klass) {
      *iterator = reinterpret_cast<void*>(i + 1);
      return methodHandle(static_cast<int>(i));
    }
  return nullptr;
}
STANDIN_API void* mono_runtime_invoke(void* method, void*, void** args, void**) {
  int i = methodIndex(method);
  callEnter(i);
  if (i == 8 && args) {  // Assembly.Load(byte[])
    ++g.loads;
    g.loadedBytes.assign(reinterpret_cast<char*>(g.byteArray), g.byteArrayLength);
    g.wrapperLoaded = true;
  } else if (i == 5) {
    ++g.staticInits;
  } else if (i == 7) {  // the callback assembly exercises the wrapper's API
    ++g.checkAllApi;
    callEnter(6);
    callLeave(6);
  }
  callLeave(i);
  return nullptr;
}
STANDIN_API void* mono_string_new(void*, const char* text) { return const_cast<char*>(text); }
STANDIN_API void* mono_get_byte_class() { return &g.byteArray; }
STANDIN_API void* mono_array_new(void*, void*, uintptr_t length) {
  if (length > sizeof g.byteArray) return nullptr;
  g.byteArrayLength = length;
  return g.byteArray;
}
STANDIN_API char* mono_array_addr_with_size(void* array, int size, uintptr_t index) {
  return static_cast<char*>(array) + size * index;
}

// ---- the ahead-of-time runtime's names ----
STANDIN_API const char* il2cpp_class_get_name(void* k) { return mono_class_get_name(k); }
STANDIN_API const char* il2cpp_class_get_namespace(void* k) { return mono_class_get_namespace(k); }
STANDIN_API const char* il2cpp_method_get_name(void* m) { return mono_method_get_name(m); }
STANDIN_API void* il2cpp_method_get_class(void* m) { return mono_method_get_class(m); }
STANDIN_API uint32_t il2cpp_object_get_size(void*) { return 16; }
STANDIN_API void il2cpp_gc_collect(int) {}
STANDIN_API int64_t il2cpp_gc_get_used_size() { return 3 * 1024 * 1024; }
STANDIN_API int64_t il2cpp_gc_get_heap_size() { return 4 * 1024 * 1024; }

// ---- test controls ----
STANDIN_API void standin_reset() {
  std::lock_guard<std::mutex> l(g.lock);
  g.profiler = nullptr;
  g.enter = nullptr;
  g.leave = nullptr;
  g.gc = nullptr;
  g.allocation = nullptr;
  g.thrown = nullptr;
  g.exceptionLeave = nullptr;
  g.clause = nullptr;
  g.onWeakHandle = nullptr;
  {
    std::lock_guard<std::mutex> o(g.objectLock);
    g.objects.clear();
    g.objectAt.clear();
    g.handleTargets.clear();
    g.weakHandles = true;
    g.liveHandles = 0;
  }
  g.mask = 0;
  g.installs = g.nullInstalls = g.hookInstalls = 0;
  g.outstandingNames = 0;
  g.loads = 0;
  g.staticInits = 0;
  g.checkAllApi = 0;
  g.loadedBytes.clear();
  g.wrapperLoaded = false;
}
STANDIN_API void* standin_method(int i) { return i >= 0 && i < kMethodCount ? methodHandle(i) : nullptr; }
STANDIN_API void standin_enter(int i) { callEnter(i); }
STANDIN_API void standin_leave(int i) { callLeave(i); }
// An exception thrown in the innermost frame and caught in method catcher (an index),
// after it unwound the frames of methods unwound[0..count), innermost first. The runtime
// reports no plain leave for those: with exceptionLeaves it reports each as left by the
// exception, and the catch clause of catcher in any case.
STANDIN_API void standin_throw(const int* unwound, int count, int catcher, int exceptionLeaves) {
  void* profiler = g.profiler.load();
  if (ThrowCallback f = g.thrown.load()) f(profiler, &g.domain);
  if (exceptionLeaves)
    for (int i = 0; i < count; ++i)
      if (MethodCallback f = g.exceptionLeave.load()) f(profiler, methodHandle(unwound[i]));
  if (ClauseCallback f = g.clause.load()) f(profiler, methodHandle(catcher), 0, 0);
}
STANDIN_API void standin_gc(int event) {
  if (GcEventCallback f = g.gc.load()) f(g.profiler.load(), event, 0);
}
STANDIN_API int standin_mask() { return g.mask; }
// A new object of class klass (a class index) and size at address, reported to
// the allocation callback on the calling thread. An object that still lived at
// that address is taken as collected.
STANDIN_API void standin_alloc(uintptr_t address, int klass, uint32_t size) {
  {
    std::lock_guard<std::mutex> l(g.objectLock);
    auto it = g.objectAt.find(address);
    if (it != g.objectAt.end()) g.objects[it->second].alive = false;
    g.objects.push_back({address, size, true});
    g.objectAt[address] = g.objects.size() - 1;
  }
  if (AllocationCallback f = g.allocation.load())
    f(g.profiler.load(), reinterpret_cast<void*>(address),
      klass >= 0 && klass < kClassCount ? classHandle(klass) : nullptr);
}
// The object at address reported to the allocation callback once more (a runtime
// may report one object twice).
STANDIN_API void standin_report_again(uintptr_t address, int klass) {
  if (AllocationCallback f = g.allocation.load())
    f(g.profiler.load(), reinterpret_cast<void*>(address),
      klass >= 0 && klass < kClassCount ? classHandle(klass) : nullptr);
}
// hook runs inside every later mono_gchandle_new_weakref (null: none), on the calling thread.
STANDIN_API void standin_on_weak_handle(void (*hook)()) { g.onWeakHandle = hook; }
STANDIN_API void standin_kill(uintptr_t address) {
  std::lock_guard<std::mutex> l(g.objectLock);
  auto it = g.objectAt.find(address);
  if (it == g.objectAt.end()) return;
  g.objects[it->second].alive = false;
  g.objectAt.erase(it);
}
// The collector moves the object at from to to (anything still at to dies).
STANDIN_API void standin_move(uintptr_t from, uintptr_t to) {
  std::lock_guard<std::mutex> l(g.objectLock);
  auto it = g.objectAt.find(from);
  if (it == g.objectAt.end()) return;
  const size_t index = it->second;
  g.objectAt.erase(it);
  auto there = g.objectAt.find(to);
  if (there != g.objectAt.end()) g.objects[there->second].alive = false;
  g.objects[index].address = to;
  g.objectAt[to] = index;
}
// 0: weak handles are refused (the handle 0), so zem falls back to asking liveness.
STANDIN_API void standin_weak_handles(int on) {
  std::lock_guard<std::mutex> l(g.objectLock);
  g.weakHandles = on != 0;
}
// Counters by name: installs, null_installs, hook_installs, outstanding_names, loads,
// static_inits, check_all_api, live_handles; -1 for an unknown name.
STANDIN_API int standin_counter(const char* name) {
  const std::string n = name;
  if (n == "installs") return g.installs;
  if (n == "null_installs") return g.nullInstalls;
  if (n == "hook_installs") return g.hookInstalls;
  if (n == "outstanding_names") return g.outstandingNames;
  if (n == "loads") return g.loads;
  if (n == "static_inits") return g.staticInits;
  if (n == "check_all_api") return g.checkAllApi;
  if (n == "live_handles") {
    std::lock_guard<std::mutex> l(g.objectLock);
    return g.liveHandles;
  }
  return -1;
}
STANDIN_API const char* standin_loaded_bytes() { return g.loadedBytes.c_str(); }
