#include "TreeWriter.h"

#include <cinttypes>
#include <utility>
#include <vector>

namespace zem {

TreeWriter::~TreeWriter() = default;

void TreeWriter::openIdFiles(const char* treeIdPath, const char* unregisteredPath) {
  int rc = 0;
  closeFile(treeIdFile_, rc);
  closeFile(unregFile_, rc);
  // Names are kept until they are on disk: a tree line may refer to them.
  if (treeIdPath && treeIdFile_.open(treeIdPath, "wb", true) && records_.binary()) records_.writeHeader(treeIdFile_);
  if (unregisteredPath) unregFile_.open(unregisteredPath, "wb", true);
}

void TreeWriter::flushIdFiles() {
  treeIdFile_.flush();
  unregFile_.flush();
}

void TreeWriter::writeKeyName(const MonoMethodCallNode& n, int depth, bool mainFlag) {
  if (!writtenKeys_.insert(n.key).second) return;
  std::string methodName;
  const char* name = "[Root]";
  if (n.key != 0 && n.isSample) {
    name = names_.nameOf(n.key);
    if (!name) name = "";
  } else if (n.key != 0) {
    if (methodNames_) {
      methodName = methodNames_->displayName(n.key);
      methodNames_->nameWritten(n.key, methodName);
    }
    name = methodName.c_str();
  }
  if (treeIdFile_) {
    bool thread = !mainFlag && depth == 1;
    if (records_.binary()) {
      char buf[500];
      int len = std::snprintf(buf, sizeof buf, thread ? "[Thread] %s" : "%s", name);
      size_t l = len < 0 ? 0 : (static_cast<size_t>(len) < sizeof buf ? len : sizeof buf - 1);
      records_.writeRecord(treeIdFile_, n.key, buf, l);
    } else {
      treeIdFile_.print(thread ? "%" PRIuPTR ",[Thread] %s\r\n" : "%" PRIuPTR ",%s\r\n", n.key, name);
    }
  }
  if (unregFile_ && n.isSample && !samples_.isRegistered(n.key)) unregFile_.print("%" PRIuPTR "\r\n", n.key);
}

void TreeWriter::write(CallTree& tree, OutFile& f, bool mainFlag) {
  if (!f) return;
  // Pre-order walk with an explicit stack: call paths can be far deeper than the thread stack.
  std::vector<std::pair<MonoMethodCallNode*, int>> todo{{&tree.root, 0}};
  while (!todo.empty()) {
    auto [n, depth] = todo.back();
    todo.pop_back();
    if (!n->active) continue;
    if (n->children.empty()) {
      if (tree.kind == 3 && n->isEmpty()) continue;
      if (tree.pruneInsignificant && n->isInsignificant()) continue;
    }
    writeKeyName(*n, depth, mainFlag);
    uintptr_t nodeId = reinterpret_cast<uintptr_t>(n);
    if (tree.fullLines)
      f.print("%d,%" PRIuPTR ",%" PRIuPTR ",%u,%u,%u,%u\r\n", depth, nodeId, n->key, n->total, n->calls,
                   n->extra1, n->extra2);
    else
      f.print("%d,%" PRIuPTR ",%" PRIuPTR ",%u,%u\r\n", depth, nodeId, n->key, n->total, n->calls);
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
      todo.emplace_back(static_cast<MonoMethodCallNode*>(it->second), depth + 1);
  }
}

}  // namespace zem
