#include "Samples.h"

#include <cstdio>
#include <unordered_set>

#include "base/Clock.h"

namespace zem {

namespace {
const int kIndexSlots = 131072;
int64_t now() { return static_cast<int64_t>(vekt::base::highResTicks()); }
}  // namespace

Samples::Samples(Names& names, Contexts& contexts) : names_(names), contexts_(contexts), indexTable_(kIndexSlots, 0) {}

uint32_t Samples::elapsedUs(int64_t stamp) const {
  int64_t d = stamp - lastStamp_;
  int64_t freq = static_cast<int64_t>(vekt::base::highResFrequency());
  // Split to keep d * 1000000 inside 64 bits for long gaps.
  int64_t us = (d / freq) * 1000000 + (d % freq) * 1000000 / freq;
  return static_cast<uint32_t>(us);
}

void Samples::moveUp(ThreadContext& c) {
  CallNode* p = c.current->parent;
  c.current = (p == &c.cpuTree.root) ? nullptr : static_cast<MonoMethodCallNode*>(p);
}

void Samples::push(Key key, bool isSample) {
  ThreadContext& c = *contexts_.main();
  uint32_t el = elapsedUs(now());
  if (c.current) c.current->total += el;
  MonoMethodCallNode& t = c.pushTemplate;
  t.key = key;
  t.isSample = isSample;
  t.total = t.calls = t.extra1 = t.extra2 = 0;
  MonoMethodCallNode* child = addChild(c.current ? c.current : &c.cpuTree.root, t, false);
  c.current = child;
  child->calls += 1;
  lastStamp_ = now();
}

void Samples::pop(Key key) {
  ThreadContext& c = *contexts_.main();
  uint32_t el = elapsedUs(now());
  if (c.current) {
    if (!c.current->isSample && key == 0) {
      c.current->total += el;
    } else {
      if (c.current->isSample && key != 0) {
        c.current->total += el;
        while (c.current && c.current->isSample) moveUp(c);
        el = 0;
      }
      if (c.current) {
        c.current->total += el;
        if (autoProfile_ && poppedIndex_ != 0 && key == 0 && c.current->calls > 99 && poppedIndex_ < sampleMaskSize_)
          autoSet_.insert(poppedIndex_);
        moveUp(c);
      }
    }
  }
  lastStamp_ = now();
}

void Samples::restartClock() { lastStamp_ = now(); }

uint32_t Samples::elapsedSinceStamp() const { return elapsedUs(now()); }

void Samples::pushSample(const char* name) {
  if (!name) return;
  push(names_.intern(name), true);
  depth_ += 1;
}

void Samples::pushSampleId(int index) {
  // The index table has a fixed size; an index outside it would write past its end.
  if (index < 0 || index >= kIndexSlots) return;
  Key& slot = indexTable_[static_cast<size_t>(index)];
  if (!slot) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(index));
    slot = names_.createNamed(buf);
  }
  push(slot, true);
  depth_ += 1;
}

void Samples::popSample() {
  if (depth_ > 0) {
    pop(0);
    depth_ -= 1;
  }
}

void Samples::popSampleId(int index) {
  // A negative index would later be written before the start of the host's mask.
  if (autoProfile_) poppedIndex_ = index > 0 ? index : 0;
  if (depth_ > 0) {
    pop(0);
    depth_ -= 1;
  }
  if (autoProfile_) poppedIndex_ = 0;
}

void Samples::registerSample(const char* name, const char* parentName) {
  if (!name) return;
  Key id = names_.intern(name);
  Key parent = parentName ? names_.intern(parentName) : 0;
  registered_.emplace(id, parent);
  registrationList_.push_back(id);
}

MonoMethodCallNode* Samples::ensureRegistered(Key id) {
  // Walk the registered parent chain iteratively; a chain that loops back on itself
  // (A under B, B under A) is cut where it repeats and hangs from the root there.
  std::vector<Key> chain;
  std::unordered_set<Key> seen;
  for (Key k = id; k != 0 && seen.insert(k).second;) {
    chain.push_back(k);
    auto it = registered_.find(k);
    k = (it == registered_.end()) ? 0 : it->second;
  }
  ThreadContext& c = *contexts_.main();
  MonoMethodCallNode* node = &c.cpuTree.root;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    MonoMethodCallNode& t = c.pushTemplate;
    t.key = *it;
    t.isSample = true;
    t.total = t.calls = t.extra1 = t.extra2 = 0;
    node = addChild(node, t, true);
  }
  return node;
}

void Samples::logSample(int index, int64_t ns, int count) {
  if (index < 0 || static_cast<size_t>(index) >= registrationList_.size()) return;
  uint32_t us = static_cast<uint32_t>(ns / 1000);
  ThreadContext& c = *contexts_.main();
  MonoMethodCallNode* node = ensureRegistered(registrationList_[static_cast<size_t>(index)]);
  node->total += us;
  node->calls += static_cast<uint32_t>(count);
  for (CallNode* p = node->parent; p && p != &c.cpuTree.root; p = p->parent) {
    auto* a = static_cast<MonoMethodCallNode*>(p);
    a->total = us < a->total ? a->total - us : 0;
  }
}

void Samples::applyAutoProfileMask() {
  if (autoSet_.empty() || !sampleMask_) return;
  for (int i : autoSet_)
    if (i < sampleMaskSize_) sampleMask_[i] = 1;
  autoSet_.clear();
}

}  // namespace zem
