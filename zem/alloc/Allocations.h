// Managed allocations by call path: the per-thread shadow stacks that stand in
// for a stack walk, the allocation callbacks of memory and combined modes, the
// map of live objects per context, the sweep that removes dead objects at
// collections, and the tree and object map dumps.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Threads.h"
#include "records/RecordWriter.h"
#include "trees/CallTree.h"
#include "trees/Contexts.h"

namespace zem {

class Profiler;
class TreeWriter;

// What allocation tracking asks of the managed runtime.
class ObjectRuntime : public EntryFrames {
 public:
  virtual uint32_t objectSize(void* object) = 0;
  virtual std::string className(void* klass) = 0;
  // 1 alive, 0 dead, -1 when the runtime cannot tell.
  virtual int isAlive(void* object) = 0;
  // A weak handle follows its object when the collector moves it and lets go when
  // it dies; 0 when the runtime offers none.
  virtual uint32_t newWeakHandle(void* object) = 0;
  virtual void* weakTarget(uint32_t handle) = 0;
  virtual void freeWeakHandle(uint32_t handle) = 0;
  // A full collection, when the runtime offers one.
  virtual void collectAll() = 0;
  // A method of the runtime's own allocator (entered like any method on the way to
  // every allocation), which is no part of the allocating call path.
  virtual bool isAllocatorFrame(Key method) = 0;
};

// The methods entered and not yet left, one list per thread, outermost first.
class ShadowStacks {
 public:
  struct Stack {
    explicit Stack(uint32_t t) : owner(t) {}
    const uint32_t owner;
    std::vector<Key> methods;
  };
  // The calling thread's stack; the main thread's is found without the lock.
  Stack& forCaller(bool isMain);

 private:
  NamedLock lock_{"getstack"};
  std::map<uint32_t, std::unique_ptr<Stack>> table_;
  std::atomic<Stack*> mainCache_{nullptr};
};

class Allocations {
 public:
  Allocations(Profiler& session, Contexts& contexts, ObjectRuntime& runtime)
      : session_(session), contexts_(contexts), runtime_(runtime) {}

  void setMultiThread(bool on) { multiThread_.store(on, std::memory_order_relaxed); }
  bool multiThread() const { return multiThread_.load(std::memory_order_relaxed); }

  // runtime callbacks
  void onShadowEnter(void* method);
  // A method left, normally or by an exception: it and whatever is above it go.
  void onShadowLeave(void* method);
  // An exception handler of method runs (any clause: catch, filter, finally).
  void onCatch(void* method);
  // The calling thread's shadow stack depth (for tests).
  size_t shadowDepth();
  void onAllocMemory(void* object, void* klass);
  void onAllocCombined(void* object);
  // Removes dead objects from the maps. While the world is stopped a suspended
  // thread may hold any lock (the allocator's too): then nothing waits, nothing is
  // freed, and a context whose locks are taken is left for the next sweep.
  void sweep(bool worldStopped);

  // frame end: writes (when f is open) and resets each context's frame allocation tree
  void frameEnd(OutFile& f, int frame, TreeWriter& writer);
  void dumpCallTree(const char* path, int frame, TreeWriter& writer);
  void dumpObjectMap(const char* path, int frame);

 private:
  bool recorded(bool isMain) const { return isMain || multiThread(); }
  ThreadContext& contextOf(bool isMain);
  void walkShadowStack(ThreadContext& c, bool isMain);
  void sweepStopped(ThreadContext& c);
  void sweepRunning(ThreadContext& c);

  Profiler& session_;
  Contexts& contexts_;
  ObjectRuntime& runtime_;
  ShadowStacks stacks_;
  std::atomic<bool> multiThread_{false};
};

}  // namespace zem
