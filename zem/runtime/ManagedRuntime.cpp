#include "ManagedRuntime.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/File.h"
#include "base/Text.h"
#include "session/Profiler.h"

namespace zem {

namespace {

// The runtime whose callbacks are installed; one per process in a game.
std::atomic<ManagedRuntime*> g_runtime{nullptr};

ManagedRuntime* target(void* profiler) { return profiler ? g_runtime.load() : nullptr; }

// The enter/leave callbacks run on every managed call of every thread, and only the main
// thread records: the others leave after the thread test, with no call and no stack frame.
ManagedRuntime* mainThreadTarget(void* profiler) {
  if (knownThreadId() == 0 || !profiler) return nullptr;
  ManagedRuntime* r = g_runtime.load(std::memory_order_acquire);
  return r && r->onMain() ? r : nullptr;
}

void enterHook(void* p, void* method) {
  if (auto* r = mainThreadTarget(p)) r->onEnter(method);
}
void leaveHook(void* p, void* method) {
  if (auto* r = mainThreadTarget(p)) r->onLeave(method);
}
void gcHook(void* p, int event, int generation) {
  if (auto* r = target(p)) r->onGcEvent(event, generation);
}
void injectEnterHook(void* p, void* method) {
  if (auto* r = target(p)) r->onInjectEnter(method);
}
void injectLeaveHook(void* p, void* method) {
  if (auto* r = target(p)) r->onInjectLeave(method);
}
void collectEnterHook(void* p, void* method) {
  if (auto* r = target(p)) r->onCollectEnter(method);
}
void shadowEnterHook(void* p, void* method) {
  if (auto* r = target(p)) r->onShadowEnter(method);
}
void shadowLeaveHook(void* p, void* method) {
  if (auto* r = target(p)) r->onShadowLeave(method);
}
void shadowCatchHook(void* p, void* method, int, int) {
  if (auto* r = target(p)) r->onShadowCatch(method);
}
void allocMemoryHook(void* p, void* object, void* klass) {
  if (auto* r = target(p)) r->onAllocMemory(object, klass);
}
void allocCombinedHook(void* p, void* object, void*) {
  if (auto* r = target(p)) r->onAllocCombined(object);
}
void noAllocation(void*, void*, void*) {}
// The runtime crashes on a null callback: "none" is one of these.
void noMethod(void*, void*) {}
void noResize(void*, int64_t) {}
void noThrow(void*, void*) {}
void noClause(void*, void*, int, int) {}
void noShutdown(void*) {}

const char* const kInjectionTriggers[] = {":Update (", ":LateUpdate (", ":Awake (", ":OnEnable (", ":Start ("};

bool beginsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}
bool anyPrefix(const std::set<std::string>& list, const char* text) {
  if (!text) return false;
  for (const std::string& p : list)
    if (std::strncmp(text, p.c_str(), p.size()) == 0) return true;
  return false;
}

}  // namespace

ManagedRuntime::~ManagedRuntime() {
  ManagedRuntime* self = this;
  g_runtime.compare_exchange_strong(self, nullptr);
}

bool ManagedRuntime::onMain() const { return session_.onMain(); }

// ---- binding ----

bool ManagedRuntime::bind(const char* module, bool il2cpp) {
  runtimeLoaded_ = true;
  il2cpp_ = il2cpp;
  if (!module_.open(module)) return false;
  if (il2cpp) {
    missing_ = bindApi(module_, il2cppApi_);
  } else {
    missing_ = bindApi(module_, monoApi_);
    enterLeaveOnly_ = !monoApi_.mono_profiler_install_method_invoke && monoApi_.mono_profiler_install_enter_leave;
  }
  bound_ = true;
  return true;
}

void ManagedRuntime::ensureProfiler() {
  // Every install creates another profiler that keeps firing: install one and reuse it.
  g_runtime.store(this);
  if (profilerInstalled_ || !monoApi_.mono_profiler_install) return;
  profilerInstalled_ = true;
  monoApi_.mono_profiler_install(profilerHandle_, noShutdown);
}

int ManagedRuntime::readMask() const {
  return monoApi_.mono_profiler_get_events ? monoApi_.mono_profiler_get_events() : kAssumedMask;
}

void ManagedRuntime::writeMask(int mask) const {
  if (monoApi_.mono_profiler_set_events) monoApi_.mono_profiler_set_events(mask);
}

void ManagedRuntime::installEnterLeave(MethodCallback enter, MethodCallback leave) const {
  if (monoApi_.mono_profiler_install_enter_leave) monoApi_.mono_profiler_install_enter_leave(enter, leave);
}

void ManagedRuntime::installInvoke(MethodCallback start, MethodCallback end) const {
  if (monoApi_.mono_profiler_install_method_invoke) monoApi_.mono_profiler_install_method_invoke(start, end);
}

void ManagedRuntime::installAllocation(AllocationCallback callback) const {
  if (monoApi_.mono_profiler_install_allocation) monoApi_.mono_profiler_install_allocation(callback);
}

void ManagedRuntime::installException(ThrowCallback thrown, MethodCallback leave, ClauseCallback clause) const {
  if (monoApi_.mono_profiler_install_exception) monoApi_.mono_profiler_install_exception(thrown, leave, clause);
}

void ManagedRuntime::installMethodHooks(MethodCallback enter, MethodCallback leave) const {
  if (monoApi_.mono_profiler_install_method_invoke)
    installInvoke(enter, leave);
  else
    installEnterLeave(enter, leave);
}

void ManagedRuntime::clearMethodHooks() const {
  installEnterLeave(noMethod, noMethod);
  installInvoke(noMethod, noMethod);
}

bool ManagedRuntime::preLoad(const char* module, bool il2cpp) {
  if (!runtimeLoaded_) bind(module, il2cpp);
  if (!bound_) return false;  // a failed binding is not reported as success later either
  if (enterLeaveOnly_ && !il2cpp_) {
    ensureProfiler();
    writeMask(readMask() | kEnterLeave | kInvoke);
  }
  return true;
}

int ManagedRuntime::hookEntry(const char* module) {
  if (!runtimeLoaded_) bind(module, false);
  if (!bound_ || il2cpp_) return 0;
  ensureProfiler();
  writeMask(readMask() | kEnterLeave | kInvoke);
  installMethodHooks(injectEnterHook, injectLeaveHook);
  return 1;
}

int ManagedRuntime::startMonoOn(const char* module, int mode, bool il2cpp) {
  if (mode == 0xffff) depthLimit_ = 1;
  if (!module) return 0;
  if (!runtimeLoaded_) bind(module, il2cpp);
  if (!bound_) return 0;
  if (!il2cpp_) installHooks(mode);
  if (mode == 1 || mode == 0xffff) {
    session_.samples().restartClock();
    if (enterLeaveOnly_) wrapperDetection_ = true;
  }
  return 1;
}

void ManagedRuntime::installHooks(int mode) {
  ensureProfiler();
  if (mode != 0 && monoApi_.mono_profiler_install_gc) monoApi_.mono_profiler_install_gc(gcHook, noResize);
  if (mode == 2) {
    installAllocation(allocMemoryHook);
    clearMethodHooks();
    installEnterLeave(shadowEnterHook, shadowLeaveHook);
    // The runtime reports no plain leave for frames an exception unwinds: its
    // exception notices (where it has them) take those frames off the shadow stacks.
    installException(noThrow, shadowLeaveHook, shadowCatchHook);
  }
  if (mode == 0xffff) installAllocation(allocCombinedHook);
  if (mode == 1 || mode == 0xffff) installMethodHooks(enterHook, leaveHook);
  int mask = readMask() & ~(kEnterLeave | kInvoke);
  if (mode == 2) {
    mask |= kEnterLeave | kAllocations;
  } else if (mode == 1) {
    if (cpuFilterLevel_ == 3)
      clearMethodHooks();
    else
      mask |= enterLeaveOnly_ ? kEnterLeave : kInvoke;
  } else if (mode == 0xffff) {
    mask |= (enterLeaveOnly_ ? kEnterLeave : kInvoke) | kAllocations;
  }
  writeMask(mask);
  if (mode == 1 && enterLeaveOnly_ && cpuFilterLevel_ != 3) {
    session_.setManagedMode(0);
    installEnterLeave(collectEnterHook, noMethod);
    selfCheck();
    installEnterLeave(enterHook, leaveHook);
    session_.setManagedMode(1);
  }
}

void ManagedRuntime::winProfileCpu(int level) {
  cpuFilterLevel_ = level;
  if (level == 3 && bound_ && !il2cpp_) {
    writeMask(readMask() & ~(kEnterLeave | kInvoke));
    clearMethodHooks();
  }
}

void ManagedRuntime::addFilter(const char* prefix, int kind) {
  if (!prefix || kind < 1 || kind > 5) return;
  filters_[kind - 1].insert(prefix);
}

void ManagedRuntime::stop() {
  if (!bound_ || il2cpp_) return;
  writeMask(readMask() & ~(kEnterLeave | kInvoke));
  clearMethodHooks();
  if (profilerInstalled_) installException(noThrow, noMethod, noClause);
  // Without method events the shadow stacks go stale: allocations after the stop
  // would be filed under wrong paths.
  if (profilerInstalled_) installAllocation(noAllocation);
}

// ---- names ----

std::string ManagedRuntime::methodDisplayName(void* method, bool signature) {
  if (!method) return {};
  if (il2cpp_) {
    auto it = aotNames_.find(method);
    if (it != aotNames_.end()) return it->second;
    const Il2cppApi& a = il2cppApi_;
    void* klass = a.il2cpp_method_get_class ? a.il2cpp_method_get_class(method) : nullptr;
    const char* ns = klass && a.il2cpp_class_get_namespace ? a.il2cpp_class_get_namespace(klass) : nullptr;
    const char* cls = klass && a.il2cpp_class_get_name ? a.il2cpp_class_get_name(klass) : nullptr;
    const char* name = a.il2cpp_method_get_name ? a.il2cpp_method_get_name(method) : nullptr;
    std::string text;
    if (ns && *ns) text = std::string(ns) + ".";
    text += std::string(cls ? cls : "") + ":" + (name ? name : "");
    return aotNames_.emplace(method, text).first->second;
  }
  if (!monoApi_.mono_method_full_name) return {};
  char* full = monoApi_.mono_method_full_name(method, signature ? 1 : 0);
  if (!full) return {};
  std::string text(full);
  // The runtime allocates a new text on every call.
  if (monoApi_.mono_free) monoApi_.mono_free(full);
  return text;
}

void ManagedRuntime::nameWritten(Key method, const std::string& name) {
  if (wrapperDetection_ && !name.empty() && name[0] == '(') wrapperMethods_.insert(method);
}

bool ManagedRuntime::isEntryFrame(Key method) {
  LockGuard g(entryFrameLock_);
  auto it = entryFrameCache_.find(method);
  if (it != entryFrameCache_.end()) return it->second;
  void* m = reinterpret_cast<void*>(method);
  bool answer = false;
  const bool mono = !il2cpp_;
  void* klass = mono ? (monoApi_.mono_method_get_class ? monoApi_.mono_method_get_class(m) : nullptr)
                     : (il2cppApi_.il2cpp_method_get_class ? il2cppApi_.il2cpp_method_get_class(m) : nullptr);
  auto nsOf = mono ? monoApi_.mono_class_get_namespace : il2cppApi_.il2cpp_class_get_namespace;
  auto clsOf = mono ? monoApi_.mono_class_get_name : il2cppApi_.il2cpp_class_get_name;
  auto nameOf = mono ? monoApi_.mono_method_get_name : il2cppApi_.il2cpp_method_get_name;
  const char* ns = klass && nsOf ? nsOf(klass) : nullptr;
  const char* cls = klass && clsOf ? clsOf(klass) : nullptr;
  if (anyPrefix(filters_[0], ns) || anyPrefix(filters_[1], cls)) {
    const char* name = nameOf ? nameOf(m) : nullptr;
    answer = !anyPrefix(filters_[3], name) && !anyPrefix(filters_[4], ns);
  }
  // The kind-3 list (method-name prefixes) has no say: both of its outcomes answer false.
  entryFrameCache_.emplace(method, answer);
  return answer;
}

// ---- objects ----

uint32_t ManagedRuntime::objectSize(void* object) {
  auto size = il2cpp_ ? il2cppApi_.il2cpp_object_get_size : monoApi_.mono_object_get_size;
  return size ? size(object) : 0;
}

std::string ManagedRuntime::className(void* klass) {
  auto name = il2cpp_ ? il2cppApi_.il2cpp_class_get_name : monoApi_.mono_class_get_name;
  const char* text = klass && name ? name(klass) : nullptr;
  return text ? text : "";
}

int ManagedRuntime::isAlive(void* object) {
  if (il2cpp_ || !monoApi_.mono_object_is_alive) return -1;
  return monoApi_.mono_object_is_alive(object) ? 1 : 0;
}

uint32_t ManagedRuntime::newWeakHandle(void* object) {
  const MonoApi& a = monoApi_;
  if (il2cpp_ || !a.mono_gchandle_new_weakref || !a.mono_gchandle_get_target || !a.mono_gchandle_free) return 0;
  return a.mono_gchandle_new_weakref(object, 0);
}

void* ManagedRuntime::weakTarget(uint32_t handle) {
  return handle && monoApi_.mono_gchandle_get_target ? monoApi_.mono_gchandle_get_target(handle) : nullptr;
}

void ManagedRuntime::freeWeakHandle(uint32_t handle) {
  if (handle && monoApi_.mono_gchandle_free) monoApi_.mono_gchandle_free(handle);
}

void ManagedRuntime::collectAll() {
  if (il2cpp_ || !monoApi_.mono_gc_collect || !monoApi_.mono_gc_max_generation) return;
  monoApi_.mono_gc_collect(monoApi_.mono_gc_max_generation());
}

bool ManagedRuntime::isAllocatorFrame(Key method) {
  // Mono's allocation wrappers and the internal calls they make (never script code).
  const std::string name = methodDisplayName(reinterpret_cast<void*>(method), false);
  return beginsWith(name, "(wrapper alloc) ") ||
         beginsWith(name, "(wrapper managed-to-native) object:__icall_wrapper_");
}

// ---- callbacks ----

bool ManagedRuntime::passesOuterFilter(void* method) const {
  if (cpuFilterLevel_ == 0) return true;
  return !apiSet_.count(method) && (!wrapperDetection_ || !wrapperMethods_.count(reinterpret_cast<Key>(method)));
}

// Kept out of the trampolines, so the other threads' early return saves no registers.
[[gnu::noinline]] void ManagedRuntime::onEnter(void* method) {
  if (!onMain()) return;
  Samples& samples = session_.samples();
  const Key key = reinterpret_cast<Key>(method);
  if (!enterLeaveOnly_) {
    samples.push(key, false);
    return;
  }
  if (!passesOuterFilter(method)) return;
  if (cpuFilterLevel_ == 2) {
    samples.push(key, false);
    return;
  }
  const uint32_t n = ++depth_;
  // Past the last skip flag (an exception leaves an enter without a leave) nothing is recorded.
  bool skip = n >= kSkipSlots;
  if (!skip && cpuFilterLevel_ == 0) {
    if (n > depthLimit_) {
      skip = true;
    } else if (apiSet_.count(method)) {
      skip = true;
    } else if (wrapperDetection_ && wrapperMethods_.count(key)) {
      skipFlags_[n] = 1;
      return;
    }
  }
  if (n < kSkipSlots) skipFlags_[n] = skip ? 1 : 0;
  if (!skip) samples.push(key, false);
}

[[gnu::noinline]] void ManagedRuntime::onLeave(void* method) {
  if (!onMain()) return;
  Samples& samples = session_.samples();
  const Key key = reinterpret_cast<Key>(method);
  if (!enterLeaveOnly_) {
    samples.pop(key);
    return;
  }
  if (!passesOuterFilter(method)) return;
  if (cpuFilterLevel_ == 2) {
    samples.pop(key);
    return;
  }
  const bool skip = depth_ == 0 || depth_ >= kSkipSlots || skipFlags_[depth_] != 0;
  if (depth_ > 0) --depth_;
  if (!skip) samples.pop(key);
}

void ManagedRuntime::onGcEvent(int event, int) {
  if (session_.managedMode() == 2) {
    // Mark end comes while the world is stopped; event 11 once it runs again.
    if (event == 2 || event == 11) session_.allocations().sweep(event == 2);
    return;
  }
  if (session_.managedMode() != 1 || !onMain()) return;
  if (event == 0)
    session_.pushSample("GC.Collect");
  else if (event == 5)
    session_.popSample();
}

void ManagedRuntime::onShadowEnter(void* method) { session_.allocations().onShadowEnter(method); }
void ManagedRuntime::onShadowLeave(void* method) { session_.allocations().onShadowLeave(method); }
void ManagedRuntime::onShadowCatch(void* method) { session_.allocations().onCatch(method); }
void ManagedRuntime::onAllocMemory(void* object, void* klass) { session_.allocations().onAllocMemory(object, klass); }
void ManagedRuntime::onAllocCombined(void* object) { session_.allocations().onAllocCombined(object); }

void ManagedRuntime::onCollectEnter(void* method) {
  if (onMain() && method) apiSet_.insert(method);
}

void ManagedRuntime::onInjectEnter(void* method) {
  if (injected_.load()) return;
  const std::string name = methodDisplayName(method, true);
  bool trigger = false;
  for (const char* t : kInjectionTriggers) trigger = trigger || name.find(t) != std::string::npos;
  if (!trigger) return;
  // Test and set: two threads (or a second matching method) must not inject twice.
  if (injected_.exchange(true)) return;
  inject();
}

void ManagedRuntime::onInjectLeave(void*) {
  if (injected_.load()) clearMethodHooks();
}

// ---- self-check and injection ----

void* ManagedRuntime::currentDomain() const {
  void* d = monoApi_.mono_domain_get ? monoApi_.mono_domain_get() : nullptr;
  if (!d && monoApi_.mono_get_root_domain) d = monoApi_.mono_get_root_domain();
  return d;
}

void* ManagedRuntime::findClass(void* domain, const char* assembly, const char* nameSpace, const char* name) const {
  const MonoApi& a = monoApi_;
  if (!a.mono_domain_assembly_open || !a.mono_assembly_get_image || !a.mono_class_from_name) return nullptr;
  void* asm_ = a.mono_domain_assembly_open(domain, assembly);
  void* image = asm_ ? a.mono_assembly_get_image(asm_) : nullptr;
  return image ? a.mono_class_from_name(image, nameSpace, name) : nullptr;
}

void* ManagedRuntime::findMethod(void* klass, const char* prefix) {
  if (!klass || !monoApi_.mono_class_get_methods) return nullptr;
  void* iterator = nullptr;
  while (void* m = monoApi_.mono_class_get_methods(klass, &iterator))
    if (beginsWith(methodDisplayName(m, true), prefix)) return m;
  return nullptr;
}

void ManagedRuntime::invoke(void* method, void** args) const {
  if (!method || !monoApi_.mono_runtime_invoke) return;
  void* exception = nullptr;
  monoApi_.mono_runtime_invoke(method, nullptr, args, &exception);
}

void ManagedRuntime::selfCheck() {
  void* domain = currentDomain();
  if (!domain) return;
  void* engine = findClass(domain, "ZEMWrapper_Windows", "", "ZEMEngine");
  if (!engine) engine = findClass(domain, "ZEMWrapper_Windows_IL2CPP", "", "ZEMEngine");
  if (!engine) engine = findClass(domain, "Assembly-CSharp", "", "ZEMEngine");
  void* push = findMethod(engine, "ZEMEngine:PushSample (");
  void* pop = findMethod(engine, "ZEMEngine:PopSample (");
  if (push) apiSet_.insert(push);
  if (pop) apiSet_.insert(pop);
  if (push && monoApi_.mono_string_new) {
    void* args[1] = {monoApi_.mono_string_new(domain, "-")};
    invoke(push, args);
  }
  invoke(pop, nullptr);
  void* profiler = findClass(domain, "ZemCallBack", "ZemCallBack", "Profiler");
  invoke(findMethod(profiler, "ZemCallBack.Profiler:CheckAllApi ("), nullptr);
}

std::string ManagedRuntime::wrapperAssemblyPath() {
  if (const char* configured = std::getenv("ZEM_WRAPPER_ASSEMBLY"))
    if (*configured) return configured;
  return zemModuleFolder() + "ZEMWrapper_Windows.dll";
}

namespace {
bool readWholeFile(const std::string& utf8Path, std::string& out) {
  std::FILE* f = vekt::base::openFile(vekt::base::utf8ToUtf16(utf8Path), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok && !out.empty();
}
}  // namespace

void ManagedRuntime::inject() {
  const MonoApi& a = monoApi_;
  void* domain = currentDomain();
  if (!domain) return;
  void* assemblyClass = findClass(domain, "mscorlib", "System.Reflection", "Assembly");
  void* load = findMethod(assemblyClass, "System.Reflection.Assembly:Load (byte[])");
  if (!load || !a.mono_get_byte_class || !a.mono_array_new || !a.mono_array_addr_with_size) return;
  std::string bytes;
  if (!readWholeFile(wrapperAssemblyPath(), bytes)) return;
  void* array = a.mono_array_new(domain, a.mono_get_byte_class(), bytes.size());
  char* data = array ? a.mono_array_addr_with_size(array, 1, 0) : nullptr;
  if (!data) return;
  std::memcpy(data, bytes.data(), bytes.size());
  void* args[1] = {array};
  invoke(load, args);
  void* engine = findClass(domain, "ZEMWrapper_Windows", "", "ZEMEngine");
  invoke(findMethod(engine, "ZEMEngine:StaticInit ()"), nullptr);
}

}  // namespace zem
