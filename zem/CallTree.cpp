#include "CallTree.h"

#include <atomic>
#include <vector>

namespace zem {

uint32_t objectId(const void* object) {
  if (sizeof(void*) == 4) return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
  // Above the small fixed identifiers other files use (100001..100003 and the like).
  static std::atomic<uint32_t> next{0x00200000u};
  return next.fetch_add(1, std::memory_order_relaxed);
}

MonoMethodCallNode::MonoMethodCallNode(Key key, bool isSample, uint32_t seed)
    : total(seed), calls(seed > 0 ? 1 : 0), extra1(seed), extra2(seed > 0 ? 1 : 0),
      key_(key), isSample_(isSample), nodeId_(objectId(this)) {
  text_[0] = '\0';
}

void MonoMethodCallNode::reset() {
  active = false;
  total = calls = extra1 = extra2 = 0;
}

std::unique_ptr<CallNode> MonoMethodCallNode::clone() const {
  return std::make_unique<MonoMethodCallNode>(key_, isSample_, total);
}

void MonoMethodCallNode::copyFrom(const CallNode& other) {
  const auto& o = static_cast<const MonoMethodCallNode&>(other);
  key_ = o.key_;
  total = o.total;
  calls = o.calls;
  extra1 = o.extra1;
  extra2 = o.extra2;
  isSample_ = o.isSample_;
}

void MonoMethodCallNode::add(const CallNode& other) {
  const auto& o = static_cast<const MonoMethodCallNode&>(other);
  total += o.total;
  calls += o.calls;
  extra1 += o.extra1;
  extra2 += o.extra2;
}

const char* MonoMethodCallNode::idLine(bool full) {
  if (full)
    std::snprintf(text_, sizeof text_, "%u,%u,%u,%u,%u,%u", nodeId_, key_, total, calls, extra1, extra2);
  else
    std::snprintf(text_, sizeof text_, "%u,%u,%u,%u", nodeId_, key_, total, calls);
  return text_;
}

MonoMethodCallNode* addChild(CallNode* parent, const MonoMethodCallNode* tmpl, bool merge) {
  if (!parent || !tmpl) return nullptr;
  parent->active = true;
  auto it = parent->children.find(tmpl->key());
  if (it != parent->children.end()) {
    // An existing path: without merge the caller adds to the counters itself.
    if (merge) it->second->add(*tmpl);
    it->second->active = true;
    return asMethodNode(it->second.get());
  }
  std::unique_ptr<CallNode> child = tmpl->clone();
  child->parent_ = parent;
  child->active = true;
  auto* raw = asMethodNode(child.get());
  parent->children.emplace(tmpl->key(), std::move(child));
  return raw;
}

CallTree::CallTree(int k) : kind(k), root_(std::make_unique<MonoMethodCallNode>(0, false, 0)) {
  buffer[0] = '\0';
}

CallTree::~CallTree() {
  // Tear down iteratively: very deep trees must not overflow the stack.
  std::vector<std::unique_ptr<CallNode>> pending;
  for (auto& c : root_->children) pending.push_back(std::move(c.second));
  root_->children.clear();
  while (!pending.empty()) {
    std::unique_ptr<CallNode> n = std::move(pending.back());
    pending.pop_back();
    for (auto& c : n->children) pending.push_back(std::move(c.second));
    n->children.clear();
  }
}

void CallTree::reset() {
  // Children before their parent; iterative for deep trees.
  std::vector<CallNode*> stack{root_.get()};
  std::vector<CallNode*> order;
  while (!stack.empty()) {
    CallNode* n = stack.back();
    stack.pop_back();
    order.push_back(n);
    for (auto& c : n->children)
      if (c.second->active) stack.push_back(c.second.get());
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) (*it)->reset();
}

}  // namespace zem
