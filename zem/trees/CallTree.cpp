#include "CallTree.h"

#include <memory>
#include <vector>

namespace zem {

CallNode::~CallNode() {
  // Deep trees are freed without recursion so a long recursive path cannot overflow the stack.
  std::vector<CallNode*> todo;
  for (auto& kv : children) todo.push_back(kv.second);
  children.clear();
  while (!todo.empty()) {
    CallNode* n = todo.back();
    todo.pop_back();
    for (auto& kv : n->children) todo.push_back(kv.second);
    n->children.clear();
    delete n;
  }
}

MonoMethodCallNode* addChild(MonoMethodCallNode* parent, const MonoMethodCallNode& tmpl, bool merge) {
  if (!parent) return nullptr;
  parent->active = true;
  auto it = parent->children.find(tmpl.key);
  if (it != parent->children.end()) {
    auto* child = static_cast<MonoMethodCallNode*>(it->second);
    if (merge) child->add(tmpl);
    child->active = true;
    return child;
  }
  std::unique_ptr<MonoMethodCallNode> child(tmpl.clone());
  child->parent = parent;
  child->active = true;
  parent->children.emplace(tmpl.key, child.get());
  return child.release();
}

void resetTree(CallTree& tree) {
  std::vector<CallNode*> todo{&tree.root};
  while (!todo.empty()) {
    CallNode* n = todo.back();
    todo.pop_back();
    n->reset();
    for (auto& kv : n->children) todo.push_back(kv.second);
  }
}

MonoMethodCallNode* addStack(CallTree& tree, const StackSnapshot& snapshot, bool filtered, EntryFrames& entryFrames,
                             std::unordered_map<Key, bool>& cache) {
  const size_t count = snapshot.count;
  if (count == 0) return &tree.root;
  const size_t last = count - 1;
  size_t start = 0;
  if (filtered) {
    start = count >= 5 ? count - 4 : 0;
    while (start > 0) {
      const MonoMethodCallNode& frame = snapshot.frames[start];
      auto it = cache.find(frame.key);
      if (it == cache.end())
        it = cache.emplace(frame.key, !frame.isSample && entryFrames.isEntryFrame(frame.key)).first;
      if (it->second) break;
      --start;
    }
  }
  MonoMethodCallNode* node = &tree.root;
  for (size_t j = last + 1; j-- > start;) {
    if (!filtered || j < start + 6 || j + 4 > last) {
      node = addChild(node, snapshot.frames[j], true);
    }
  }
  return node;
}

}  // namespace zem
