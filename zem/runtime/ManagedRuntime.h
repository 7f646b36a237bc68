// Binding to the game's managed runtime (the just-in-time runtime's mono_*
// functions or the ahead-of-time runtime's il2cpp_* ones), its profiler
// callbacks, and what they turn method entries and exits into: scopes on
// the main context's CPU tree, filtered by depth, the wrapper's own API and
// wrapper methods. Also the injection of the wrapper assembly and the
// self-check that learns the wrapper's API.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Module.h"
#include "alloc/Allocations.h"
#include "RuntimeApi.h"
#include "trees/CallTree.h"
#include "trees/TreeWriter.h"

namespace zem {

class Profiler;

class ManagedRuntime : public MethodNames, public ObjectRuntime {
 public:
  // Profiler event mask bits of the runtime.
  static const int kAllocations = 0x80, kGc = 0x100, kEnterLeave = 0x1000, kInvoke = 0x10000;
  static const int kAssumedMask = kAllocations | kGc;  // when the mask cannot be read
  static const uint32_t kSkipSlots = 50000;            // depths 1..49999

  explicit ManagedRuntime(Profiler& session) : session_(session) {}
  ~ManagedRuntime() override;

  // exports
  bool preLoad(const char* module, bool il2cpp);
  int hookEntry(const char* module);
  int startMonoOn(const char* module, int mode, bool il2cpp);
  void winProfileCpu(int level);
  bool monoEnterLeave() const { return enterLeaveOnly_; }
  void addFilter(const char* prefix, int kind);
  void stop();  // the runtime part of StopProfiling

  // callbacks (the runtime calls them through the static trampolines)
  void onEnter(void* method);
  void onLeave(void* method);
  void onGcEvent(int event, int generation);
  void onInjectEnter(void* method);
  void onInjectLeave(void* method);
  void onCollectEnter(void* method);
  void onShadowEnter(void* method);
  void onShadowLeave(void* method);
  void onShadowCatch(void* method);
  void onAllocMemory(void* object, void* klass);
  void onAllocCombined(void* object);
  bool onMain() const;  // the calling thread is the session's main thread

  // frame end: open method scopes do not carry over
  void clearDepth() { depth_ = 0; }
  uint32_t depth() const { return depth_; }

  // names
  std::string displayName(Key method) override { return methodDisplayName(reinterpret_cast<void*>(method), true); }
  void nameWritten(Key method, const std::string& name) override;
  std::string methodDisplayName(void* method, bool signature);
  bool isEntryFrame(Key method) override;

  // objects (allocation tracking)
  uint32_t objectSize(void* object) override;
  std::string className(void* klass) override;
  int isAlive(void* object) override;
  uint32_t newWeakHandle(void* object) override;
  void* weakTarget(uint32_t handle) override;
  void freeWeakHandle(uint32_t handle) override;
  void collectAll() override;
  bool isAllocatorFrame(Key method) override;

  // heap figures for the statistics files (null when the runtime lacks them)
  using HeapSizeFn = int64_t (*)();
  HeapSizeFn heapUsedFunction() const {
    return il2cpp_ ? il2cppApi_.il2cpp_gc_get_used_size : monoApi_.mono_gc_get_used_size;
  }
  HeapSizeFn heapSizeFunction() const {
    return il2cpp_ ? il2cppApi_.il2cpp_gc_get_heap_size : monoApi_.mono_gc_get_heap_size;
  }

  // for tests
  bool bound() const { return bound_; }
  bool isIl2cpp() const { return il2cpp_; }
  const std::vector<std::string>& missingFunctions() const { return missing_; }
  bool inApiSet(void* method) const { return apiSet_.count(method) != 0; }
  bool injected() const { return injected_.load(); }
  // Where the wrapper assembly is read from: ZEM_WRAPPER_ASSEMBLY, else
  // ZEMWrapper_Windows.dll in the folder of zem's own module.
  static std::string wrapperAssemblyPath();

 private:
  bool bind(const char* module, bool il2cpp);
  void ensureProfiler();
  int readMask() const;
  void writeMask(int mask) const;
  void installEnterLeave(MethodCallback enter, MethodCallback leave) const;
  void installInvoke(MethodCallback start, MethodCallback end) const;
  void installMethodHooks(MethodCallback enter, MethodCallback leave) const;
  void installAllocation(AllocationCallback callback) const;
  void installException(ThrowCallback thrown, MethodCallback leave, ClauseCallback clause) const;
  void clearMethodHooks() const;
  void installHooks(int mode);
  void selfCheck();
  void inject();
  void* currentDomain() const;
  void* findClass(void* domain, const char* assembly, const char* nameSpace, const char* name) const;
  void* findMethod(void* klass, const char* prefix);
  void invoke(void* method, void** args) const;
  bool passesOuterFilter(void* method) const;

  Profiler& session_;
  Module module_;
  MonoApi monoApi_;
  Il2cppApi il2cppApi_;
  std::vector<std::string> missing_;
  bool runtimeLoaded_ = false;  // a binding was tried (never again)
  bool bound_ = false;          // and it succeeded
  bool il2cpp_ = false;
  bool enterLeaveOnly_ = false;
  bool profilerInstalled_ = false;
  unsigned char profilerHandle_[10] = {};

  int cpuFilterLevel_ = 0;
  bool wrapperDetection_ = false;
  std::atomic<bool> injected_{false};
  uint32_t depth_ = 0;
  uint32_t depthLimit_ = 3;
  std::vector<unsigned char> skipFlags_ = std::vector<unsigned char>(kSkipSlots, 0);
  std::unordered_set<void*> apiSet_;
  std::unordered_set<Key> wrapperMethods_;
  std::set<std::string> filters_[5];
  std::unordered_map<Key, bool> entryFrameCache_;
  NamedLock entryFrameLock_{"entryframe"};  // allocating threads ask too; taken last, nothing inside
  std::unordered_map<void*, std::string> aotNames_;
};

}  // namespace zem
