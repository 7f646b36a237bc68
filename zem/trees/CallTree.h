// Call trees: nodes keyed by method handle or sample identifier, the trees
// that own them and the per-thread contexts that hold the trees.
#pragma once
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "Threads.h"

namespace zem {

using Key = uintptr_t;  // method handle or sample identifier; 0 is "none"

class CallNode {
 public:
  virtual ~CallNode();
  CallNode* parent = nullptr;
  bool active = false;
  std::map<Key, CallNode*> children;  // owned
  virtual void reset() { active = false; }
};

class MonoMethodCallNode : public CallNode {
 public:
  MonoMethodCallNode(Key k, bool sample, uint32_t seed)
      : total(seed), calls(seed > 0 ? 1 : 0), extra1(seed), extra2(seed > 0 ? 1 : 0), key(k), isSample(sample) {}
  uint32_t total, calls, extra1, extra2;
  Key key;
  bool isSample;
  void reset() override {
    active = false;
    total = calls = extra1 = extra2 = 0;
  }
  MonoMethodCallNode* clone() const { return new MonoMethodCallNode(key, isSample, total); }
  void copyFrom(const MonoMethodCallNode& o) {
    key = o.key;
    isSample = o.isSample;
    total = o.total;
    calls = o.calls;
    extra1 = o.extra1;
    extra2 = o.extra2;
  }
  void add(const MonoMethodCallNode& o) {
    total += o.total;
    calls += o.calls;
    extra1 += o.extra1;
    extra2 += o.extra2;
  }
  bool isInsignificant() const { return total <= 99 && extra1 == 0; }
  bool isEmpty() const { return total == 0 && extra1 == 0; }
};

struct CallTree {
  explicit CallTree(int k) : root(0, false, 0), kind(k) {}
  MonoMethodCallNode root;
  bool pruneInsignificant = false;
  int kind;  // 0 frame allocations, 1 cumulative allocations, 2 cpu, 3 cpu pruning empty leaves
  bool fullLines = false;
};

// The child of parent under tmpl's key: merged into (merge) or reused, else a
// clone of tmpl. Marks parent and child active.
MonoMethodCallNode* addChild(MonoMethodCallNode* parent, const MonoMethodCallNode& tmpl, bool merge);

// Clears every node's counters; nodes stay so a path is written again when touched.
void resetTree(CallTree& tree);

// The frames of one call path, innermost first; nodes are reused from call to call.
struct StackSnapshot {
  size_t count = 0;
  std::vector<MonoMethodCallNode> frames;
  void append(const MonoMethodCallNode& frame) {
    if (count < frames.size())
      frames[count].copyFrom(frame);
    else
      frames.push_back(frame);
    ++count;
  }
};

// Answers whether a frame's method is an entry frame (cached by the caller).
class EntryFrames {
 public:
  virtual ~EntryFrames() = default;
  virtual bool isEntryFrame(Key method) = 0;
};

// The leaf of tree's path for snapshot: every frame, or (filtered) the outer
// frames, the entry frame and a few frames inside it. cache holds the answers
// of entryFrames already asked.
MonoMethodCallNode* addStack(CallTree& tree, const StackSnapshot& snapshot, bool filtered, EntryFrames& entryFrames,
                             std::unordered_map<Key, bool>& cache);

// One live object: its size, class and the node of the cumulative allocation tree
// it was counted on. weakHandle (0: none) follows the object when the collector
// moves it; dead marks an object found dead while the world was stopped, whose
// entry is removed at the next sweep that may take locks.
struct AllocationRecord {
  uint32_t size;
  void* klass;
  MonoMethodCallNode* leaf;
  uint32_t weakHandle;
  bool dead;
};

struct ClassCell {
  uint32_t count = 0, bytes = 0;
};

struct ThreadContext {
  explicit ThreadContext(uint32_t tid)
      : allocFrameTree(0), allocTotalTree(1), cpuTree(2), pushTemplate(0, true, 0), threadId(tid) {
    allocTotalTree.fullLines = true;
  }
  CallTree allocFrameTree;  // this frame's allocations along filtered paths
  CallTree allocTotalTree;  // every allocation since start, with live bytes and objects
  CallTree cpuTree;
  MonoMethodCallNode pushTemplate;
  MonoMethodCallNode* current = nullptr;  // innermost open scope in cpuTree
  uint32_t threadId;

  // guarded by treeLock: both allocation trees, the snapshot, the entry-frame and
  // allocator-frame answers
  StackSnapshot snapshot;
  MonoMethodCallNode frameTemplate{0, false, 0};
  std::unordered_map<Key, bool> entryFrames;
  std::unordered_map<Key, bool> allocatorFrames;
  uint32_t frameResets = 0;  // how often allocFrameTree was written and reset
  NamedLock treeLock{"tree"};
  // guarded by objmapLock: the live objects by address, and the dump's cells
  std::map<uintptr_t, AllocationRecord> objectMap;
  std::map<MonoMethodCallNode*, std::map<void*, ClassCell>> groupMap;
  NamedLock objmapLock{"objmap"};
};

}  // namespace zem
