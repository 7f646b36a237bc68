// The profiling session: its gates and modes, start and stop, the per-frame
// files and the frame-end pass. The work itself is done by the rooms it
// holds: names and call trees, sample scopes, logged values, record writing.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>

#include "Threads.h"
#include "lua/LuaProfiler.h"
#include "records/RecordWriter.h"
#include "runtime/ManagedRuntime.h"
#include "stats/EventTimes.h"
#include "stats/FrameStats.h"
#include "stats/Hardware.h"
#include "trees/CallTree.h"
#include "trees/Contexts.h"
#include "trees/Names.h"
#include "trees/Samples.h"
#include "trees/TreeWriter.h"
#include "values/Values.h"

namespace zem {

class Profiler {
 public:
  Profiler() : Profiler(systemStatsClock()) {}
  explicit Profiler(StatsClock& clock) : frameStats_(clock, records_), eventTimes_(clock) {
    treeWriter_.setMethodNames(&runtime_);
  }
  ~Profiler();
  Profiler(const Profiler&) = delete;
  Profiler& operator=(const Profiler&) = delete;

  // session
  int startProfiling();
  int startMonoOn(const char* module, int mode, bool il2cpp);
  int startProfilerOn(const char* module, bool memory, bool cpu, bool il2cpp);
  int stopProfiling();
  void markStartTime(const char* key) { records_.setKey(key); }
  void frameEnd(int frame);

  // samples (engine thread, cpu or combined mode)
  void pushSample(const char* name);
  void pushSampleId(int index);
  void popSample();
  void popSampleId(int index);
  int checkStack() const { return samples_.depth(); }
  void registerSample(const char* name, const char* parent) { samples_.registerSample(name, parent); }
  void logSample(int index, int64_t ns, int count);
  void setSampleMask(uint8_t* mask, int size) { samples_.setSampleMask(mask, size); }
  void autoProfileCpu(bool on) { samples_.autoProfileCpu(on); }

  // managed runtime
  bool preLoad(const char* module, bool il2cpp);
  int hookEntry(const char* module);
  void winProfileCpu(int level) { runtime_.winProfileCpu(level); }
  bool monoEnterLeave() const { return runtime_.monoEnterLeave(); }
  void addFilter(const char* prefix, int kind) { runtime_.addFilter(prefix, kind); }
  ManagedRuntime& runtime() { return runtime_; }

  // allocations (memory and combined modes)
  Allocations& allocations() { return allocations_; }
  void multiThread(bool on) { allocations_.setMultiThread(on); }
  void logGcFile(const char* path);
  void dumpCallTree(const char* path);
  void dumpObjectMap(const char* path);

  // Lua
  int startLuaOn(const char* module, bool samples, bool direct);
  LuaProfiler& lua() { return lua_; }
  // AddLuaMarker: the main context's current node's name as a marker.
  void logCurrentNodeMarker();

  // files
  void idMapFile(const char* path1, const char* path2);
  void logCpuFile(const char* path);
  void logLogFile(const char* path);
  void logIdMapFile(const char* path);
  void dumpTotalCpuGcTree(const char* path);

  // values
  void logMarker(const char* name) { values_.logMarker(name); }
  void logInt(const char* name, int32_t v) { values_.logInt(name, v); }
  void logFloat(const char* name, float v) { values_.logFloat(name, v); }
  void logBool(const char* name, bool v) { values_.logBool(name, v); }
  void logVector(const char* name, float x, float y, float z) { values_.logVector(name, x, y, z); }

  // statistics, event times, hardware
  void frameIdMapFile(const char* path);
  void logTimeFile(const char* path);
  void logFpsFile(const char* path);
  void logGraphicsFile(const char* path);
  void logMemoryFile(const char* path);
  int addOverhead(int ms) { return frameStats_.addOverhead(ms); }
  int getStat(int type) const { return frameStats_.getStat(type); }
  void setGpuTimeFunction(FrameStats::GpuTimeFn fn) { frameStats_.setGpuTimeFunction(fn); }
  EventTimes& eventTimes() { return eventTimes_; }
  Hardware& hardware() { return hardware_; }

  // for tests and tools
  bool started() const { return started_; }
  int currentFrame() const { return currentFrame_; }
  Key intern(const char* name) { return names_.intern(name); }
  const char* nameOf(Key id) const { return names_.nameOf(id); }
  ThreadContext* mainContext() { return contexts_.main(); }
  ThreadContext* contextIfCreated(int key) const { return contexts_.peek(key); }

  // for the runtime's callbacks
  // A thread that never asked for its number cannot be the main one: no number is handed
  // out here, so other threads' callbacks leave after two loads.
  bool onMain() const {
    const uint32_t id = knownThreadId();
    return id != 0 && id == mainThread_.load(std::memory_order_relaxed);
  }
  Samples& samples() { return samples_; }
  RecordWriter& records() { return records_; }
  int managedMode() const { return managedMode_; }
  void setManagedMode(int mode) { managedMode_ = mode; }

 private:
  void useRuntimeHeapFigures();

  bool samplesOn() const { return (managedMode_ == 1 || managedMode_ == 0xffff) && onMain(); }

  bool started_ = false;
  std::atomic<uint32_t> mainThread_{0};  // read by the runtime's callbacks on any thread
  int managedMode_ = 0;
  bool managedStarted_ = false;
  int currentFrame_ = -1;
  OutFile cpuFile_;
  OutFile gcFile_;

  Names names_;
  Contexts contexts_{names_};
  Samples samples_{names_, contexts_};
  RecordWriter records_;
  TreeWriter treeWriter_{names_, samples_, records_};
  Values values_{records_};
  FrameStats frameStats_;
  EventTimes eventTimes_;
  Hardware hardware_{records_};
  ManagedRuntime runtime_{*this};
  Allocations allocations_{*this, contexts_, runtime_};

  LuaProfiler lua_{*this};
};

// The one session of the process, behind the exports.
Profiler& session();

}  // namespace zem
