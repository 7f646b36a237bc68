// Call trees: nodes keyed by method handle or sample identifier, the trees
// that own them and the per-thread contexts that hold the trees.
#pragma once
#include <cstdint>
#include <map>

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
MonoMethodCallNode* addChild(MonoMethodCallNode* parent, MonoMethodCallNode& tmpl, bool merge);

// Clears every node's counters; nodes stay so a path is written again when touched.
void resetTree(CallTree& tree);

struct ThreadContext {
  explicit ThreadContext(uint32_t tid) : cpuTree(2), pushTemplate(0, true, 0), threadId(tid) {}
  CallTree cpuTree;
  MonoMethodCallNode pushTemplate;
  MonoMethodCallNode* current = nullptr;  // innermost open scope in cpuTree
  uint32_t threadId;
};

}  // namespace zem
