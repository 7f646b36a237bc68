// The one profiling session of the process: settings, name tables, thread
// contexts with their call trees, logged values and the output files.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CallTree.h"
#include "Values.h"
#include "ZemPlatform.h"

namespace zem {

constexpr int kIndexSlots = 131072;
constexpr size_t kMaxNameBytes = 200;

struct ThreadContext {
  explicit ThreadContext(uint32_t thread);
  CallTree cpuTree{2};
  MonoMethodCallNode pushTemplate{0, true, 0};
  MonoMethodCallNode overheadNode;
  MonoMethodCallNode* current = nullptr;
  uint32_t threadId;
  int32_t key2 = 0;
  NamedLock objmapLock{"objmap"};
  NamedLock treeLock{"tree"};
};

// Writes identifier records in the form chosen by MarkStartTime.
struct RecordForm {
  bool binary = false;
  std::string key;
  void header(FILE* f) const;
  void record(FILE* f, uint32_t id, const char* name, size_t len) const;
};

class Session {
 public:
  static Session& get();

  // session fields
  bool started = false;
  bool managedStarted = false;
  bool luaStarted = false;
  uint32_t mainThread = 0;
  int32_t mainKey2 = 0;
  int32_t managedMode = 0;
  int32_t luaMode = 0;
  bool autoProfile = false;
  uint8_t* sampleMask = nullptr;
  int32_t sampleMaskSize = kIndexSlots;
  RecordForm form;
  int32_t currentFrame = -1;

  // files
  FILE* treeIdFile = nullptr;
  FILE* unregisteredFile = nullptr;
  FILE* cpuFile = nullptr;
  FILE* valueLogFile = nullptr;
  FILE* valueIdFile = nullptr;

  // samples
  uint32_t depth = 0;
  int32_t poppedIndex = 0;
  uint64_t lastStamp = 0;

  Key intern(const char* name);
  const std::string* nameOf(Key id) const;
  bool isRegistered(Key id) const { return registered_.count(id) != 0; }
  void registerSample(const char* name, const char* parentName);
  void logSample(int32_t index, int64_t nanoseconds, int32_t count);
  void pushSample(const char* name);
  void pushSampleId(int32_t index);
  void popSample();
  void popSampleId(int32_t index);
  bool sampleGate() const;

  void start();  // started, main thread = caller
  int stop();
  void idMapFile(const char* path1, const char* path2);
  void logCpuFile(const char* path);
  void logLogFile(const char* path);
  void logIdMapFile(const char* path);
  void dumpTotalCpuTree(const char* path);
  void frameEnd(int32_t frame);

  ThreadContext& mainContext();
  ThreadContext& context();  // the caller's context
  ValueLog& values() { return values_; }

  // Tree file writer (also used by the dumps).
  void writeTree(CallTree& tree, FILE* f, bool mainFlag);

 private:
  Session();
  void push(Key key, bool isSample);
  void pop(Key key);
  MonoMethodCallNode* ensureRegistered(ThreadContext& c, Key id, int guard);
  uint32_t elapsedMicros(uint64_t now) const;
  void writeName(CallTree& tree, CallNode* node, int depth, bool mainFlag);
  static void reopenAppend(FILE*& f, const char* path);

  std::map<std::string, Key> byName_;
  std::map<Key, std::string> byId_;
  std::vector<Key> indexTable_;
  std::map<Key, Key> registered_;
  std::vector<Key> registrationList_;
  std::set<Key> writtenKeys_;
  std::set<int32_t> autoSet_;
  std::map<uint64_t, std::unique_ptr<ThreadContext>> contexts_;
  ThreadContext* mainCache_ = nullptr;
  uint32_t mainCacheThread_ = 0;
  NamedLock getLock_{"get"};
  ValueLog values_;
};

void closeFile(FILE*& f);

}  // namespace zem
