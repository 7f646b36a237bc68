#include "Profiler.h"

#include <cinttypes>
#include <cstring>

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

namespace {
const size_t kMaxName = 200;
const int kIndexSlots = 131072;
}  // namespace

Profiler::Profiler() : indexTable_(kIndexSlots, 0) {}

Profiler::~Profiler() {
  int rc = 0;
  closeFile(treeIdFile_, rc);
  closeFile(unregFile_, rc);
  closeFile(cpuFile_, rc);
  closeFile(valueLogFile_, rc);
  closeFile(valueIdFile_, rc);
}

Profiler& session() {
  static Profiler* p = new Profiler;  // lives until the process ends
  return *p;
}

void Profiler::closeFile(FILE*& f, int& rc) {
  if (f) {
    rc = std::fclose(f);
    f = nullptr;
  }
}

Key Profiler::intern(const char* name) {
  if (!name) return 0;
  InternHit& hit = internCache_[(reinterpret_cast<uintptr_t>(name) >> 3) & 255];
  if (hit.address == name && std::strcmp(name, hit.name) == 0) return hit.key;
  auto it = nameToId_.find(name);
  if (it != nameToId_.end()) {
    hit = InternHit{name, it->first.c_str(), it->second};
    return it->second;
  }
  std::string copy(name);
  if (copy.size() > kMaxName) {
    copy.resize(kMaxName);
    it = nameToId_.find(copy);
    if (it != nameToId_.end()) return it->second;
  }
  idObjects_.emplace_back(new char(0));
  Key id = reinterpret_cast<Key>(idObjects_.back().get());
  auto ins = nameToId_.emplace(std::move(copy), id).first;
  idToName_[id] = ins->first.c_str();
  return id;
}

const char* Profiler::nameOf(Key id) const {
  auto it = idToName_.find(id);
  return it == idToName_.end() ? nullptr : it->second;
}

ThreadContext* Profiler::context(int key) {
  LockGuard g(getLock_);
  auto& slot = contexts_[key];
  if (!slot) {
    slot.reset(new ThreadContext(currentThreadId()));
    intern("Zem-Overhead");
  }
  return slot.get();
}

ThreadContext* Profiler::mainContext() {
  if (!mainCtx_) mainCtx_ = context(0);
  return mainCtx_;
}

// ---- session ----

int Profiler::startProfiling() {
  started_ = true;
  mainThread_ = currentThreadId();
  return 1;
}

int Profiler::startMonoOn(const char* module, int mode, bool il2cpp) {
  mainThread_ = currentThreadId();
  managedMode_ = mode;
  if (mode == 0xffff) mainContext()->cpuTree.fullLines = true;
  if (!module) return 0;
  // This build carries no managed runtime binding: a module counts as one that cannot be bound.
  if (!runtimeLoaded_) {
    runtimeLoaded_ = true;
    il2cpp_ = il2cpp;
  }
  return 0;
}

int Profiler::startProfilerOn(const char* module, bool memory, bool cpu, bool il2cpp) {
  started_ = true;
  mainThread_ = currentThreadId();
  int mode = cpu && memory ? 0xffff : cpu ? 1 : memory ? 2 : 0;
  return startMonoOn(module, mode, il2cpp);
}

int Profiler::stopProfiling() {
  int rc = 0;
  closeFile(treeIdFile_, rc);
  closeFile(unregFile_, rc);
  closeFile(cpuFile_, rc);
  closeFile(valueLogFile_, rc);
  closeFile(valueIdFile_, rc);
  return rc;
}

void Profiler::markStartTime(const char* key) {
  if (key) {
    binaryOutput_ = true;
    outputKey_ = key;
  } else {
    binaryOutput_ = false;
    outputKey_.clear();
  }
}

void Profiler::reopenAppend(FILE*& f, const char* path, bool gate) {
  if (!gate) return;
  int rc = 0;
  closeFile(f, rc);
  if (!path || !*path) return;
  FILE* t = std::fopen(path, "wb");
  if (!t) return;
  std::fclose(t);
  f = std::fopen(path, "ab");
}

// ---- trees ----

uint32_t Profiler::elapsedUs(int64_t now) const {
  int64_t d = now - lastStamp_;
  int64_t freq = counterFrequency();
  // Split to keep d * 1000000 inside 64 bits for long gaps.
  int64_t us = (d / freq) * 1000000 + (d % freq) * 1000000 / freq;
  return static_cast<uint32_t>(us);
}

MonoMethodCallNode* Profiler::addChild(MonoMethodCallNode* parent, MonoMethodCallNode& tmpl,
                                       bool merge) {
  if (!parent) return nullptr;
  parent->active = true;
  auto it = parent->children.find(tmpl.key);
  if (it != parent->children.end()) {
    auto* child = static_cast<MonoMethodCallNode*>(it->second);
    if (merge) child->add(tmpl);
    child->active = true;
    return child;
  }
  MonoMethodCallNode* child = tmpl.clone();
  child->parent = parent;
  child->active = true;
  parent->children.emplace(tmpl.key, child);
  return child;
}

void Profiler::moveUp(ThreadContext& c) {
  CallNode* p = c.current->parent;
  c.current = (p == &c.cpuTree.root) ? nullptr : static_cast<MonoMethodCallNode*>(p);
}

void Profiler::push(Key key, bool isSample) {
  ThreadContext& c = *mainContext();
  uint32_t el = elapsedUs(counterNow());
  if (c.current) c.current->total += el;
  MonoMethodCallNode& t = c.pushTemplate;
  t.key = key;
  t.isSample = isSample;
  t.total = t.calls = t.extra1 = t.extra2 = 0;
  MonoMethodCallNode* child = addChild(c.current ? c.current : &c.cpuTree.root, t, false);
  c.current = child;
  child->calls += 1;
  lastStamp_ = counterNow();
}

void Profiler::pop(Key key) {
  ThreadContext& c = *mainContext();
  uint32_t el = elapsedUs(counterNow());
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
        if (autoProfile_ && poppedIndex_ != 0 && key == 0 && c.current->calls > 99 &&
            poppedIndex_ < sampleMaskSize_)
          autoSet_.insert(poppedIndex_);
        moveUp(c);
      }
    }
  }
  lastStamp_ = counterNow();
}

void Profiler::pushSample(const char* name) {
  if (!samplesOn() || !name) return;
  push(intern(name), true);
  depth_ += 1;
}

void Profiler::pushSampleId(int index) {
  // The index table has a fixed size; an index outside it would write past its end.
  if (!samplesOn() || index < 0 || index >= kIndexSlots) return;
  Key& slot = indexTable_[static_cast<size_t>(index)];
  if (!slot) {
    idObjects_.emplace_back(new char(0));
    slot = reinterpret_cast<Key>(idObjects_.back().get());
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(index));
    nameStore_.emplace_back(buf);
    idToName_[slot] = nameStore_.back().c_str();
  }
  push(slot, true);
  depth_ += 1;
}

void Profiler::popSample() {
  if (!samplesOn()) return;
  if (depth_ > 0) {
    pop(0);
    depth_ -= 1;
  }
}

void Profiler::popSampleId(int index) {
  if (!samplesOn()) return;
  // A negative index would later be written before the start of the host's mask.
  if (autoProfile_) poppedIndex_ = index > 0 ? index : 0;
  if (depth_ > 0) {
    pop(0);
    depth_ -= 1;
  }
  if (autoProfile_) poppedIndex_ = 0;
}

void Profiler::registerSample(const char* name, const char* parentName) {
  if (!name) return;
  Key id = intern(name);
  Key parent = parentName ? intern(parentName) : 0;
  registered_.emplace(id, parent);
  registrationList_.push_back(id);
}

MonoMethodCallNode* Profiler::ensureRegistered(Key id) {
  // Walk the registered parent chain iteratively; a chain that loops back on itself
  // (A under B, B under A) is cut where it repeats and hangs from the root there.
  std::vector<Key> chain;
  std::unordered_set<Key> seen;
  for (Key k = id; k != 0 && seen.insert(k).second;) {
    chain.push_back(k);
    auto it = registered_.find(k);
    k = (it == registered_.end()) ? 0 : it->second;
  }
  ThreadContext& c = *mainContext();
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

void Profiler::logSample(int index, int64_t ns, int count) {
  if (!started_ || !onMain()) return;
  if (index < 0 || static_cast<size_t>(index) >= registrationList_.size()) return;
  uint32_t us = static_cast<uint32_t>(ns / 1000);
  ThreadContext& c = *mainContext();
  MonoMethodCallNode* node = ensureRegistered(registrationList_[static_cast<size_t>(index)]);
  node->total += us;
  node->calls += static_cast<uint32_t>(count);
  for (CallNode* p = node->parent; p && p != &c.cpuTree.root; p = p->parent) {
    auto* a = static_cast<MonoMethodCallNode*>(p);
    a->total = us < a->total ? a->total - us : 0;
  }
}

void Profiler::resetTree(CallTree& tree) {
  std::vector<CallNode*> todo{&tree.root};
  while (!todo.empty()) {
    CallNode* n = todo.back();
    todo.pop_back();
    n->reset();
    for (auto& kv : n->children) todo.push_back(kv.second);
  }
}

void Profiler::writeRecord(FILE* f, Key id, const char* name, size_t len) {
  if (len > 0xffff) len = 0xffff;  // the length field is 16 bits: never write more than it says
  unsigned char head[sizeof(Key) + 2];
  uint64_t v = id;
  for (size_t i = 0; i < sizeof(Key); ++i) head[i] = static_cast<unsigned char>(v >> (8 * i));
  head[sizeof(Key)] = static_cast<unsigned char>(len & 0xff);
  head[sizeof(Key) + 1] = static_cast<unsigned char>(len >> 8);
  std::fwrite(head, 1, sizeof head, f);
  recordBuf_.assign(name, len);
  if (!outputKey_.empty())
    for (size_t i = 0; i < len; ++i) recordBuf_[i] ^= outputKey_[i % outputKey_.size()];
  std::fwrite(recordBuf_.data(), 1, len, f);
}

void Profiler::writeKeyName(CallTree& tree, const MonoMethodCallNode& n, int depth,
                            bool mainFlag) {
  if (!writtenKeys_.insert(n.key).second) return;
  const char* name = n.key == 0 ? "[Root]" : (n.isSample ? nameOf(n.key) : nullptr);
  if (!name) name = "";  // no runtime to name methods in this build
  if (treeIdFile_) {
    bool thread = !mainFlag && depth == 1;
    if (binaryOutput_) {
      char buf[500];
      int len = std::snprintf(buf, sizeof buf, thread ? "[Thread] %s" : "%s", name);
      size_t l = len < 0 ? 0 : (static_cast<size_t>(len) < sizeof buf ? len : sizeof buf - 1);
      writeRecord(treeIdFile_, n.key, buf, l);
    } else {
      std::fprintf(treeIdFile_, thread ? "%" PRIuPTR ",[Thread] %s\r\n" : "%" PRIuPTR ",%s\r\n",
                   n.key, name);
    }
  }
  (void)tree;
  if (unregFile_ && n.isSample && registered_.find(n.key) == registered_.end())
    std::fprintf(unregFile_, "%" PRIuPTR "\r\n", n.key);
}

void Profiler::writeTree(CallTree& tree, FILE* f, bool mainFlag) {
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
    writeKeyName(tree, *n, depth, mainFlag);
    uintptr_t nodeId = reinterpret_cast<uintptr_t>(n);
    if (tree.fullLines)
      std::fprintf(f, "%d,%" PRIuPTR ",%" PRIuPTR ",%u,%u,%u,%u\r\n", depth, nodeId, n->key,
                   n->total, n->calls, n->extra1, n->extra2);
    else
      std::fprintf(f, "%d,%" PRIuPTR ",%" PRIuPTR ",%u,%u\r\n", depth, nodeId, n->key, n->total,
                   n->calls);
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
      todo.emplace_back(static_cast<MonoMethodCallNode*>(it->second), depth + 1);
  }
}

// ---- files ----

void Profiler::idMapFile(const char* path1, const char* path2) {
  if (!started_) return;
  int rc = 0;
  closeFile(treeIdFile_, rc);
  closeFile(unregFile_, rc);
  if (path1) {
    treeIdFile_ = std::fopen(path1, "wb");
    if (treeIdFile_ && binaryOutput_) {
      const unsigned char head[2] = {0x42, sizeof(Key) == 4 ? 0x01 : 0x02};
      std::fwrite(head, 1, 2, treeIdFile_);
    }
  }
  if (path2) unregFile_ = std::fopen(path2, "wb");
}

void Profiler::dumpTotalCpuGcTree(const char* path) {
  if (!started_ || !path) return;
  FILE* f = std::fopen(path, "wb");
  if (!f) return;
  std::vector<std::pair<int, ThreadContext*>> list;
  {
    LockGuard g(getLock_);
    for (auto& kv : contexts_) list.emplace_back(kv.first, kv.second.get());
  }
  for (auto& [key, c] : list) {
    std::fprintf(f, "#%d\r\n", currentFrame_);
    writeTree(c->cpuTree, f, key == 0);
  }
  if (treeIdFile_) std::fflush(treeIdFile_);
  if (unregFile_) std::fflush(unregFile_);
  std::fclose(f);
}

// ---- values ----

static const char* const kKindNames[] = {"Marker", "Int", "Bool", "Float", "Vector"};

void Profiler::logIdMapFile(const char* path) {
  if (!started_ || valueIdFile_ || !path) return;
  valueIdFile_ = std::fopen(path, "wb");
  valueTables_ = true;
  if (!valueIdFile_) return;
  if (binaryOutput_) {
    const unsigned char head[2] = {0x42, sizeof(Key) == 4 ? 0x01 : 0x02};
    std::fwrite(head, 1, 2, valueIdFile_);
    for (int k = 0; k < kKinds; ++k)
      writeRecord(valueIdFile_, reinterpret_cast<Key>(&values_[k]), kKindNames[k],
                  std::strlen(kKindNames[k]));
    writeRecord(valueIdFile_, 100001, "x", 1);
    writeRecord(valueIdFile_, 100002, "y", 1);
    writeRecord(valueIdFile_, 100003, "z", 1);
  } else {
    for (int k = 0; k < kKinds; ++k)
      std::fprintf(valueIdFile_, "%" PRIuPTR ",%s\r\n", reinterpret_cast<Key>(&values_[k]),
                   kKindNames[k]);
    std::fputs("100001,x\r\n100002,y\r\n100003,z\r\n", valueIdFile_);
  }
}

ValueInfo* Profiler::lookupValue(ValueKind kind, const char* name) {
  if (!valueTables_ || !name || std::strlen(name) > kMaxName) return nullptr;
  auto& table = values_[kind];
  auto it = table.find(name);
  if (it != table.end()) return &it->second;
  it = table.emplace(name, ValueInfo{}).first;
  if (valueIdFile_) {
    Key id = reinterpret_cast<Key>(it->first.c_str());
    if (binaryOutput_)
      writeRecord(valueIdFile_, id, it->first.c_str(), it->first.size());
    else
      std::fprintf(valueIdFile_, "%" PRIuPTR ",%s\r\n", id, it->first.c_str());
  }
  return &it->second;
}

void Profiler::logMarker(const char* name) {
  if (ValueInfo* v = lookupValue(kMarker, name)) { v->i += 1; v->isSet = true; }
}
void Profiler::logInt(const char* name, int32_t value) {
  if (ValueInfo* v = lookupValue(kInt, name)) { v->i = value; v->isSet = true; }
}
void Profiler::logFloat(const char* name, float value) {
  if (ValueInfo* v = lookupValue(kFloat, name)) { v->f[0] = value; v->isSet = true; }
}
void Profiler::logBool(const char* name, bool value) {
  if (ValueInfo* v = lookupValue(kBool, name)) { v->i = value ? 1 : 0; v->isSet = true; }
}
void Profiler::logVector(const char* name, float x, float y, float z) {
  if (ValueInfo* v = lookupValue(kVector, name)) {
    v->f[0] = x; v->f[1] = y; v->f[2] = z; v->isSet = true;
  }
}

static int32_t milli(float f) {
  double d = static_cast<double>(f) * 1000.0;
  // Out-of-range values would make the conversion undefined; clamp them to the int32 range.
  if (!(d == d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
}

void Profiler::writeValues(int frame) {
  FILE* f = valueLogFile_;
  std::fprintf(f, "#%d\r\n", frame);
  static const ValueKind order[] = {kMarker, kInt, kFloat, kBool, kVector};
  for (ValueKind k : order) {
    auto& table = values_[k];
    if (table.empty()) continue;
    std::fprintf(f, "1,%" PRIuPTR ",0,0\r\n", reinterpret_cast<Key>(&table));
    for (auto& [name, v] : table) {
      if (!v.isSet) continue;
      Key id = reinterpret_cast<Key>(name.c_str());
      if (k == kVector) {
        std::fprintf(f, "2,%" PRIuPTR ",0,0\r\n", id);
        std::fprintf(f, "3,100001,0,%d\r\n3,100002,0,%d\r\n3,100003,0,%d\r\n", milli(v.f[0]),
                     milli(v.f[1]), milli(v.f[2]));
      } else {
        int32_t out = k == kFloat ? milli(v.f[0]) : v.i;
        std::fprintf(f, "2,%" PRIuPTR ",0,%d\r\n", id, out);
      }
      v = ValueInfo{};
    }
  }
  if (valueIdFile_) std::fflush(valueIdFile_);
  std::fflush(f);
}

// ---- frame end ----

void Profiler::frameEnd(int frame) {
  if (!started_) return;
  if (frame > currentFrame_) {
    currentFrame_ = frame;
    std::vector<std::pair<int, ThreadContext*>> list;
    {
      LockGuard g(getLock_);
      for (auto& kv : contexts_) list.emplace_back(kv.first, kv.second.get());
    }
    for (auto& [key, c] : list) {
      {
        LockGuard g(c->treeLock);
        resetTree(c->allocFrameTree);
      }
      if (cpuFile_) {
        if (luaMode_ == 0xffff) {
          c->cpuTree.kind = 3;
          c->cpuTree.pruneInsignificant = false;
        } else {
          c->cpuTree.pruneInsignificant = true;
        }
        std::fprintf(cpuFile_, "#%d\r\n", frame);
        writeTree(c->cpuTree, cpuFile_, true);
        std::fflush(cpuFile_);
        if (treeIdFile_) std::fflush(treeIdFile_);
        if (unregFile_) std::fflush(unregFile_);
      }
      if (managedMode_ != 0xffff) resetTree(c->cpuTree);
    }
    if (valueLogFile_) writeValues(frame);
  }
  if (luaMode_ != 0 || managedMode_ == 1) {
    if (mainCtx_) mainCtx_->current = nullptr;
    methodDepth_ = 0;
  }
  if (!autoSet_.empty() && sampleMask_) {
    for (int i : autoSet_)
      if (i < sampleMaskSize_) sampleMask_[i] = 1;
    autoSet_.clear();
  }
}

}  // namespace zem
