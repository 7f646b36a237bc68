#include "Allocations.h"

#include <cinttypes>
#include <utility>

#include "session/Profiler.h"
#include "trees/TreeWriter.h"

namespace zem {

namespace {

uint32_t counted(uint32_t size) { return size != 0 ? 1 : 0; }

void addAllocation(MonoMethodCallNode& n, uint32_t size) {
  n.total += size;
  n.calls += counted(size);
  n.extra1 += size;
  n.extra2 += counted(size);
}

// An object that left its address: its bytes and count are no longer live on its leaf.
void removeLive(const AllocationRecord& r) {
  r.leaf->extra1 -= r.size;
  r.leaf->extra2 -= counted(r.size);
}

}  // namespace

ShadowStacks::Stack& ShadowStacks::forCaller(bool isMain) {
  const uint32_t tid = currentThreadId();
  Stack* cached = mainCache_.load(std::memory_order_acquire);
  if (cached && cached->owner == tid) return *cached;
  LockGuard g(lock_);
  auto& slot = table_[tid];
  if (!slot) slot.reset(new Stack(tid));
  if (isMain) mainCache_.store(slot.get(), std::memory_order_release);
  return *slot;
}

ThreadContext& Allocations::contextOf(bool isMain) { return isMain ? *contexts_.main() : *contexts_.context(1); }

void Allocations::onShadowEnter(void* method) {
  const bool isMain = session_.onMain();
  if (recorded(isMain)) stacks_.forCaller(isMain).methods.push_back(reinterpret_cast<Key>(method));
}

namespace {

// The innermost entry of method, or methods.size() when it was never entered here.
size_t innermost(const std::vector<Key>& methods, Key method) {
  for (size_t i = methods.size(); i-- > 0;)
    if (methods[i] == method) return i;
  return methods.size();
}

}  // namespace

void Allocations::onShadowLeave(void* method) {
  const bool isMain = session_.onMain();
  if (!recorded(isMain)) return;
  // Frames an exception unwound may sit above the method that leaves: they go with
  // it. A method that was never entered here (profiling started inside it) changes nothing.
  std::vector<Key>& methods = stacks_.forCaller(isMain).methods;
  methods.resize(innermost(methods, reinterpret_cast<Key>(method)));
}

void Allocations::onCatch(void* method) {
  const bool isMain = session_.onMain();
  if (!recorded(isMain)) return;
  // The handler runs in method's frame: every frame above it is gone.
  std::vector<Key>& methods = stacks_.forCaller(isMain).methods;
  const size_t at = innermost(methods, reinterpret_cast<Key>(method));
  if (at < methods.size()) methods.resize(at + 1);
}

size_t Allocations::shadowDepth() {
  const bool isMain = session_.onMain();
  return stacks_.forCaller(isMain).methods.size();
}

void Allocations::walkShadowStack(ThreadContext& c, bool isMain) {
  const std::vector<Key>& methods = stacks_.forCaller(isMain).methods;
  // The allocation is reported from inside the runtime's allocator: its frames
  // are the innermost ones and are left out.
  size_t inner = methods.size();
  while (inner > 0) {
    auto it = c.allocatorFrames.find(methods[inner - 1]);
    if (it == c.allocatorFrames.end())
      it = c.allocatorFrames.emplace(methods[inner - 1], runtime_.isAllocatorFrame(methods[inner - 1])).first;
    if (!it->second) break;
    --inner;
  }
  MonoMethodCallNode& t = c.frameTemplate;
  for (size_t i = inner; i-- > 0;) {
    t.key = methods[i];
    t.isSample = false;
    t.total = t.calls = t.extra1 = t.extra2 = 0;
    c.snapshot.append(t);
  }
}

void Allocations::onAllocMemory(void* object, void* klass) {
  const bool isMain = session_.onMain();
  if (!recorded(isMain) || !object) return;
  ThreadContext& c = contextOf(isMain);
  const uint32_t size = runtime_.objectSize(object);
  // Every allocation the runtime reports is counted, also one at an address that a
  // recorded object had before: a moving collector hands addresses out again.
  MonoMethodCallNode* leaf = nullptr;
  MonoMethodCallNode* frameLeaf = nullptr;
  uint32_t frameCounted = 0;
  {
    LockGuard g(c.treeLock);
    frameCounted = c.frameResets;
    c.snapshot.count = 0;
    walkShadowStack(c, isMain);
    leaf = &c.allocTotalTree.root;
    for (size_t i = c.snapshot.count; i-- > 0;) leaf = addChild(leaf, c.snapshot.frames[i], true);
    frameLeaf = addStack(c.allocFrameTree, c.snapshot, true, runtime_, c.entryFrames);
    leaf->active = frameLeaf->active = true;
    addAllocation(*leaf, size);
    addAllocation(*frameLeaf, size);
  }
  const uint32_t handle = runtime_.newWeakHandle(object);
  uint32_t spareHandle = 0;
  bool duplicate = false;
  AllocationRecord gone{};
  {
    LockGuard g(c.objmapLock);
    const AllocationRecord fresh{size, klass, leaf, handle, false};
    auto placed = c.objectMap.emplace(reinterpret_cast<uintptr_t>(object), fresh);
    if (!placed.second) {
      AllocationRecord& old = placed.first->second;
      void* oldTarget = old.weakHandle ? runtime_.weakTarget(old.weakHandle) : nullptr;
      if (!old.dead && oldTarget == object) {
        duplicate = true;  // the same object reported again: counted once
        spareHandle = handle;
      } else {
        // The earlier object left this address: it died, or was moved and lives on there.
        const AllocationRecord earlier = old;
        old = fresh;
        const bool movedOn =
            !earlier.dead && oldTarget && c.objectMap.emplace(reinterpret_cast<uintptr_t>(oldTarget), earlier).second;
        if (!movedOn) {
          if (!earlier.dead) gone = earlier;
          spareHandle = earlier.weakHandle;
        }
      }
    }
  }
  if (duplicate || gone.leaf) {
    LockGuard g(c.treeLock);
    if (duplicate) {
      // A frame end in between has written and reset the frame tree: what was
      // added to it is gone already (taking it again would wrap the counters).
      const bool sameFrame = c.frameResets == frameCounted;
      for (MonoMethodCallNode* n : {leaf, sameFrame ? frameLeaf : nullptr}) {
        if (!n) continue;
        n->total -= size;
        n->calls -= counted(size);
        n->extra1 -= size;
        n->extra2 -= counted(size);
      }
    }
    if (gone.leaf) removeLive(gone);
  }
  if (spareHandle) runtime_.freeWeakHandle(spareHandle);
}

void Allocations::onAllocCombined(void* object) {
  if (!session_.onMain() || !object) return;
  ThreadContext* c = contexts_.mainIfCreated();
  if (c && c->current) c->current->extra1 += runtime_.objectSize(object);
}

void Allocations::sweep(bool worldStopped) {
  for (int key = 0; key < 2; ++key) {
    ThreadContext* c = contexts_.peek(key);
    if (!c) continue;
    if (worldStopped)
      sweepStopped(*c);
    else
      sweepRunning(*c);
  }
}

void Allocations::sweepStopped(ThreadContext& c) {
  // Only tries: a lock held now belongs to a suspended thread, and waiting would hang.
  if (!c.treeLock.try_lock()) return;
  if (c.objmapLock.try_lock()) {
    for (auto& entry : c.objectMap) {
      AllocationRecord& r = entry.second;
      // Weakly held objects are settled once the world runs again.
      if (r.dead || r.weakHandle) continue;
      if (runtime_.isAlive(reinterpret_cast<void*>(entry.first)) != 0) continue;
      r.dead = true;  // removed later: freeing memory now could wait on a suspended thread
      removeLive(r);
    }
    c.objmapLock.unlock();
  }
  c.treeLock.unlock();
}

void Allocations::sweepRunning(ThreadContext& c) {
  std::vector<AllocationRecord> died;
  std::vector<uint32_t> handles;
  {
    LockGuard g(c.objmapLock);
    std::vector<std::pair<uintptr_t, AllocationRecord>> moved;
    for (auto it = c.objectMap.begin(); it != c.objectMap.end();) {
      AllocationRecord& r = it->second;
      bool dead = r.dead;
      if (!dead && r.weakHandle) {
        void* target = runtime_.weakTarget(r.weakHandle);
        if (target && target != reinterpret_cast<void*>(it->first)) {
          moved.emplace_back(reinterpret_cast<uintptr_t>(target), r);
          it = c.objectMap.erase(it);
          continue;
        }
        dead = !target;
        if (dead) died.push_back(r);
      } else if (!dead && runtime_.isAlive(reinterpret_cast<void*>(it->first)) == 0) {
        dead = true;
        died.push_back(r);
      }
      if (!dead) {
        ++it;
        continue;
      }
      if (r.weakHandle) handles.push_back(r.weakHandle);
      it = c.objectMap.erase(it);
    }
    // A live object holds its new address alone: what was recorded there has left it.
    for (auto& m : moved) {
      auto placed = c.objectMap.emplace(m.first, m.second);
      if (placed.second) continue;
      AllocationRecord& there = placed.first->second;
      if (!there.dead) died.push_back(there);
      if (there.weakHandle) handles.push_back(there.weakHandle);
      there = m.second;
    }
  }
  if (!died.empty()) {
    LockGuard g(c.treeLock);
    for (const AllocationRecord& r : died) removeLive(r);
  }
  for (uint32_t h : handles) runtime_.freeWeakHandle(h);
}

void Allocations::frameEnd(OutFile& f, int frame, TreeWriter& writer) {
  for (auto& [key, c] : contexts_.list()) {
    LockGuard g(c->treeLock);
    if (f) {
      f.print("#%d\r\n", frame);
      writer.write(c->allocFrameTree, f, key == 0);
      f.flush();
      writer.flushIdFiles();
    }
    resetTree(c->allocFrameTree);
    ++c->frameResets;
  }
}

void Allocations::dumpCallTree(const char* path, int frame, TreeWriter& writer) {
  if (!path) return;
  OutFile f;
  if (!f.open(path, "wb")) return;
  for (auto& [key, c] : contexts_.list()) {
    LockGuard g(c->treeLock);
    f.print("#%d\r\n", frame);
    writer.write(c->allocTotalTree, f, key == 0);
    writer.flushIdFiles();
    f.flush();
  }
  int rc = 0;
  f.close(rc);
}

void Allocations::dumpObjectMap(const char* path, int frame) {
  runtime_.collectAll();
  if (!path) return;
  OutFile f;
  if (!f.open(path, "wb")) return;
  auto list = contexts_.list();
  for (auto& [key, c] : list) {
    (void)key;
    LockGuard g(c->objmapLock);
    for (auto it = c->objectMap.begin(); it != c->objectMap.end();) {
      const AllocationRecord& r = it->second;
      if (r.dead) {  // found dead while the world was stopped; its handle is 0
        it = c->objectMap.erase(it);
        continue;
      }
      ++it;
      ClassCell& cell = c->groupMap[r.leaf][r.klass];
      cell.count += 1;
      cell.bytes += r.size;
    }
  }
  f.print("#%d\r\n", frame);
  for (auto& [key, c] : list) {
    (void)key;
    LockGuard g(c->objmapLock);
    for (auto& [leaf, classes] : c->groupMap)
      for (auto& [klass, cell] : classes) {
        if (cell.count == 0) continue;
        f.print("%" PRIuPTR ",%s,%u,%u\r\n", reinterpret_cast<uintptr_t>(leaf),
                     runtime_.className(klass).c_str(), cell.bytes, cell.count);
        cell = ClassCell{};
      }
  }
  int rc = 0;
  f.close(rc);
}

}  // namespace zem
