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

MonoMethodCallNode* addChild(MonoMethodCallNode* parent, MonoMethodCallNode& tmpl, bool merge) {
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

}  // namespace zem
