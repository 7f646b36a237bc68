// Lua profiling: binding the game's Lua module once per process, the
// call/return hook that turns Lua functions into CPU-tree nodes (direct mode)
// or named samples (samples mode), markers, the Lua heap figure, and the
// object dump (LuaObjects).
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "LuaApi.h"
#include "LuaObjects.h"
#include "runtime/Module.h"
#include "trees/CallTree.h"

namespace zem {

class Profiler;

class LuaProfiler {
 public:
  static constexpr int kOff = 0, kSamples = 1, kDirect = 65535;
  static constexpr size_t kRecordedEntries = 100;  // deeper entries only match returns
  static constexpr int kMaxNameBytes = 49;

  explicit LuaProfiler(Profiler& session);
  ~LuaProfiler();
  LuaProfiler(const LuaProfiler&) = delete;
  LuaProfiler& operator=(const LuaProfiler&) = delete;

  // StartLuaOn's own part: binds once, sets the mode; true when bound.
  bool start(const char* module, bool samples, bool direct);
  void doLuaHook(LuaState* L, bool on);
  void addLuaMarker();
  int luaMemory(LuaState* L);  // KB, -1 without a state or a binding
  bool setMapPath(const char* path) { return objects_.openIdFile(path); }
  void stop();  // StopProfiling: not started, identifier file closed

  // LuaDumpObj, in two steps: the check that may have to raise a Lua error
  // (done before anything is opened), then the dump itself.
  enum class DumpStart { kNothing, kRaise, kDump };
  DumpStart beginDump(LuaState* L, const char* path);
  // Long-jumps out through luaL_error: the caller's frame must hold nothing
  // with a destructor.
  void raiseNotMainThread(LuaState* L) const;
  void dump(LuaState* L, const char* path, bool names);

  // the hook (through a static trampoline)
  void onHook(LuaState* L, LuaDebugRecord* ar);

  bool started() const { return started_; }
  int mode() const { return mode_; }
  // for tests and tools
  bool bound() const { return bound_; }
  LuaVersion version() const { return version_; }
  const std::vector<std::string>& missingFunctions() const { return missing_; }
  size_t stackSize() const { return stack_.size(); }
  const LuaApi& api() const { return api_; }
  LuaObjects& objects() { return objects_; }
  // One frame of L's stack (level 0 is the running function) into ar, which
  // has room for either record layout.
  bool frameAt(LuaState* L, int level, LuaDebugRecord& ar) const;

 private:
  struct FunctionRecord {
    std::string displayName;
    Key sampleId = 0;
  };
  struct Entry {
    Key id;
    LuaState* state;  // the coroutine the entry was pushed from
  };

  bool bind(const char* module);
  FunctionRecord* functionRecord(LuaState* L, LuaDebugRecord* ar);
  FunctionRecord* newRecord(const LuaRecordView& view);
  size_t position(Key id, LuaState* L) const;
  size_t resyncKeep(LuaState* L, int firstLevel);
  bool isMainThread(LuaState* L) const;
  void onCall(LuaState* L, FunctionRecord& rec, uint32_t elapsed, bool tailCall);
  void onReturn(LuaState* L, Key id, uint32_t elapsed);
  // Direct mode: the memory growth since the last reading and time go to the
  // main context's current node.
  ThreadContext& chargeCurrent(LuaState* L, uint32_t time);
  void popAccounting(LuaState* L, uint32_t time);
  int32_t memoryDelta(LuaState* L);

  Profiler& session_;
  Module module_;
  LuaApi api_;
  std::vector<std::string> missing_;
  bool bindTried_ = false;
  bool bound_ = false;
  LuaVersion version_ = LuaVersion::kNone;
  bool started_ = false;
  int mode_ = kOff;
  int32_t lastMemKB_ = 0;
  std::vector<Entry> stack_;
  std::unordered_map<const void*, FunctionRecord*> cache_;  // null: not recorded
  std::deque<FunctionRecord> records_;
  LuaObjects objects_;
};

}  // namespace zem
