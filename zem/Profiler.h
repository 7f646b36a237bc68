// Profiling session: call trees of named samples, logged values, and the
// files they are written to at frame end.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "Platform.h"

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
      : total(seed), calls(seed > 0 ? 1 : 0), extra1(seed), extra2(seed > 0 ? 1 : 0),
        key(k), isSample(sample) {}
  uint32_t total, calls, extra1, extra2;
  Key key;
  bool isSample;
  void reset() override { active = false; total = calls = extra1 = extra2 = 0; }
  MonoMethodCallNode* clone() const { return new MonoMethodCallNode(key, isSample, total); }
  void add(const MonoMethodCallNode& o) {
    total += o.total; calls += o.calls; extra1 += o.extra1; extra2 += o.extra2;
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

struct ThreadContext {
  ThreadContext(uint32_t tid) : allocFrameTree(0), allocTotalTree(1), cpuTree(2),
      pushTemplate(0, true, 0), threadId(tid), objmapLock("objmap"), treeLock("tree") {
    allocTotalTree.fullLines = true;
  }
  CallTree allocFrameTree, allocTotalTree, cpuTree;
  MonoMethodCallNode pushTemplate;
  MonoMethodCallNode* current = nullptr;
  uint32_t threadId;
  NamedLock objmapLock, treeLock;
};

// One logged value of the current frame.
struct ValueInfo {
  bool isSet = false;
  int32_t i = 0;
  float f[3] = {0, 0, 0};
};

class Profiler {
 public:
  enum ValueKind { kMarker, kInt, kBool, kFloat, kVector, kKinds };
  Profiler();
  ~Profiler();

  // session
  int startProfiling();
  int startMonoOn(const char* module, int mode, bool il2cpp);
  int startProfilerOn(const char* module, bool memory, bool cpu, bool il2cpp);
  int stopProfiling();
  void markStartTime(const char* key);
  void frameEnd(int frame);

  // samples
  void pushSample(const char* name);
  void pushSampleId(int index);
  void popSample();
  void popSampleId(int index);
  int checkStack() const { return static_cast<int>(depth_); }
  void registerSample(const char* name, const char* parent);
  void logSample(int index, int64_t ns, int count);
  void setSampleMask(uint8_t* mask, int size) { sampleMask_ = mask; sampleMaskSize_ = size; }
  void autoProfileCpu(bool on) { autoProfile_ = on; }

  // files
  void idMapFile(const char* path1, const char* path2);
  void logCpuFile(const char* path) { reopenAppend(cpuFile_, path, started_); }
  void logLogFile(const char* path) { reopenAppend(valueLogFile_, path, started_); }
  void logIdMapFile(const char* path);
  void dumpTotalCpuGcTree(const char* path);

  // values
  void logMarker(const char* name);
  void logInt(const char* name, int32_t v);
  void logFloat(const char* name, float v);
  void logBool(const char* name, bool v);
  void logVector(const char* name, float x, float y, float z);

  int addOverhead(int ms) { overheadMs_ += ms; return ms; }

  // for tests and tools
  bool started() const { return started_; }
  int currentFrame() const { return currentFrame_; }
  Key intern(const char* name);
  const char* nameOf(Key id) const;
  ThreadContext* mainContext();

 private:
  bool onMain() const { return currentThreadId() == mainThread_ && mainThread_ != 0; }
  bool samplesOn() const { return (managedMode_ == 1 || managedMode_ == 0xffff) && onMain(); }
  ThreadContext* context(int key);
  void push(Key key, bool isSample);
  void pop(Key key);
  MonoMethodCallNode* addChild(MonoMethodCallNode* parent, MonoMethodCallNode& tmpl, bool merge);
  MonoMethodCallNode* ensureRegistered(Key id);
  void moveUp(ThreadContext& c);
  uint32_t elapsedUs(int64_t now) const;
  void writeTree(CallTree& tree, FILE* f, bool mainFlag);
  void writeKeyName(CallTree& tree, const MonoMethodCallNode& n, int depth, bool mainFlag);
  void writeRecord(FILE* f, Key id, const char* name, size_t len);
  void resetTree(CallTree& tree);
  void reopenAppend(FILE*& f, const char* path, bool gate);
  ValueInfo* lookupValue(ValueKind kind, const char* name);
  void writeValues(int frame);
  static void closeFile(FILE*& f, int& rc);

  // session fields
  bool started_ = false, managedStarted_ = false, runtimeLoaded_ = false, il2cpp_ = false;
  uint32_t mainThread_ = 0;
  int managedMode_ = 0, luaMode_ = 0;
  bool autoProfile_ = false;
  uint8_t* sampleMask_ = nullptr;
  int sampleMaskSize_ = 131072;
  bool binaryOutput_ = false;
  std::string outputKey_;
  int currentFrame_ = -1;
  int overheadMs_ = 0;

  FILE* treeIdFile_ = nullptr;
  FILE* unregFile_ = nullptr;
  FILE* cpuFile_ = nullptr;
  FILE* valueLogFile_ = nullptr;
  FILE* valueIdFile_ = nullptr;

  // names and identifiers
  std::map<std::string, Key> nameToId_;
  // Engines pass the same literal again and again: a small cache by address
  // (checked against the text, so a reused buffer still interns correctly).
  struct InternHit {
    const char* address = nullptr;
    const char* name = nullptr;
    Key key = 0;
  };
  InternHit internCache_[256];
  std::map<Key, const char*> idToName_;
  std::vector<std::unique_ptr<char>> idObjects_;
  std::deque<std::string> nameStore_;  // stable addresses
  std::vector<Key> indexTable_;
  std::map<Key, Key> registered_;
  std::vector<Key> registrationList_;
  std::unordered_set<Key> writtenKeys_;
  std::set<int> autoSet_;
  int poppedIndex_ = 0;
  uint32_t depth_ = 0;
  uint32_t methodDepth_ = 0;
  int64_t lastStamp_ = 0;

  NamedLock getLock_{"get"};
  std::map<int, std::unique_ptr<ThreadContext>> contexts_;
  ThreadContext* mainCtx_ = nullptr;

  std::map<std::string, ValueInfo> values_[kKinds];
  bool valueTables_ = false;
  std::string recordBuf_;
};

// The one session of the process, behind the exports.
Profiler& session();

}  // namespace zem
