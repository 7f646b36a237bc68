#include "Profiler.h"

namespace zem {

Profiler::~Profiler() = default;

Profiler& session() {
  static Profiler* p = new Profiler;  // lives until the process ends
  return *p;
}

int Profiler::startProfiling() {
  started_ = true;
  mainThread_ = currentThreadId();
  return 1;
}

int Profiler::startMonoOn(const char* module, int mode, bool il2cpp) {
  mainThread_ = currentThreadId();
  managedMode_ = mode;
  if (mode == 0xffff) mainContext()->cpuTree.fullLines = true;
  const int result = runtime_.startMonoOn(module, mode, il2cpp);
  useRuntimeHeapFigures();
  if (result) managedStarted_ = true;
  return result;
}

bool Profiler::preLoad(const char* module, bool il2cpp) {
  const bool result = runtime_.preLoad(module, il2cpp);
  useRuntimeHeapFigures();
  return result;
}

int Profiler::hookEntry(const char* module) {
  const int result = runtime_.hookEntry(module);
  useRuntimeHeapFigures();
  return result;
}

void Profiler::useRuntimeHeapFigures() {
  frameStats_.setHeapFunctions(runtime_.heapUsedFunction(), runtime_.heapSizeFunction());
}

int Profiler::startProfilerOn(const char* module, bool memory, bool cpu, bool il2cpp) {
  started_ = true;
  mainThread_ = currentThreadId();
  int mode = cpu && memory ? 0xffff : cpu ? 1 : memory ? 2 : 0;
  return startMonoOn(module, mode, il2cpp);
}

int Profiler::startLuaOn(const char* module, bool samples, bool direct) {
  const bool bound = lua_.start(module, samples, direct);
  if (bound) started_ = true;
  mainThread_ = currentThreadId();
  if (lua_.mode() == LuaProfiler::kDirect) {
    mainContext()->cpuTree.fullLines = true;
    samples_.restartClock();
  }
  return bound;
}

void Profiler::logCurrentNodeMarker() {
  ThreadContext* c = contexts_.mainIfCreated();
  if (!c || !c->current) return;
  const MonoMethodCallNode& n = *c->current;
  if (n.isSample) {
    values_.logMarker(names_.nameOf(n.key));
  } else {
    const std::string name = runtime_.displayName(n.key);
    values_.logMarker(name.c_str());
  }
}

int Profiler::stopProfiling() {
  runtime_.stop();
  lua_.stop();
  int rc = 0;
  treeWriter_.closeTreeIdFile(rc);
  treeWriter_.closeUnregisteredFile(rc);
  closeFile(gcFile_, rc);
  closeFile(cpuFile_, rc);
  frameStats_.closeMemoryFile(rc);
  values_.closeLogFile(rc);
  frameStats_.closeTimeFile(rc);
  frameStats_.closeFpsFile(rc);
  frameStats_.closeGraphicsFile(rc);
  values_.closeIdFile(rc);
  return rc;
}

void Profiler::pushSample(const char* name) {
  if (samplesOn()) samples_.pushSample(name);
}
void Profiler::pushSampleId(int index) {
  if (samplesOn()) samples_.pushSampleId(index);
}
void Profiler::popSample() {
  if (samplesOn()) samples_.popSample();
}
void Profiler::popSampleId(int index) {
  if (samplesOn()) samples_.popSampleId(index);
}
void Profiler::logSample(int index, int64_t ns, int count) {
  if (started_ && onMain()) samples_.logSample(index, ns, count);
}

void Profiler::idMapFile(const char* path1, const char* path2) {
  if (started_) treeWriter_.openIdFiles(path1, path2);
}
void Profiler::logCpuFile(const char* path) {
  if (started_) reopenTruncatedAppend(cpuFile_, path);
}
void Profiler::logLogFile(const char* path) {
  if (started_) values_.openLogFile(path);
}
void Profiler::logIdMapFile(const char* path) {
  if (started_) values_.openIdFile(path);
}

void Profiler::frameIdMapFile(const char* path) {
  if (started_) frameStats_.writeFrameIdMap(path);
}
void Profiler::logTimeFile(const char* path) {
  if (started_) frameStats_.openTimeFile(path);
}
void Profiler::logFpsFile(const char* path) {
  if (started_) frameStats_.openFpsFile(path);
}
void Profiler::logGraphicsFile(const char* path) {
  if (started_) frameStats_.openGraphicsFile(path);
}
void Profiler::logMemoryFile(const char* path) {
  if (managedStarted_) frameStats_.openMemoryFile(path);
}

void Profiler::logGcFile(const char* path) {
  if (managedStarted_) reopenTruncatedAppend(gcFile_, path);
}
void Profiler::dumpCallTree(const char* path) {
  if (managedStarted_) allocations_.dumpCallTree(path, currentFrame_, treeWriter_);
}
void Profiler::dumpObjectMap(const char* path) {
  if (managedStarted_) allocations_.dumpObjectMap(path, currentFrame_);
}

void Profiler::dumpTotalCpuGcTree(const char* path) {
  if (!started_ || !path) return;
  auto list = contexts_.list();
  OutFile f;
  if (!f.open(path, "wb")) return;
  for (auto& [key, c] : list) {
    f.print("#%d\r\n", currentFrame_);
    treeWriter_.write(c->cpuTree, f, key == 0);
  }
  treeWriter_.flushIdFiles();
  int rc = 0;
  f.close(rc);
}

void Profiler::frameEnd(int frame) {
  if (!started_) return;
  if (frame > currentFrame_) {
    currentFrame_ = frame;
    allocations_.frameEnd(gcFile_, frame, treeWriter_);
    for (auto& [key, c] : contexts_.list()) {
      (void)key;
      if (cpuFile_) {
        // Direct Lua nodes count memory and time: only empty leaves are dropped.
        const bool luaDirect = lua_.mode() == LuaProfiler::kDirect;
        c->cpuTree.kind = luaDirect ? 3 : 2;
        c->cpuTree.pruneInsignificant = !luaDirect;
        cpuFile_.print("#%d\r\n", frame);
        treeWriter_.write(c->cpuTree, cpuFile_, true);
        cpuFile_.flush();
        treeWriter_.flushIdFiles();
      }
      if (managedMode_ != 0xffff) resetTree(c->cpuTree);
    }
    values_.writeFrame(frame);
    frameStats_.frameEnd(frame);
  }
  if (lua_.mode() != LuaProfiler::kOff || managedMode_ == 1) {
    if (ThreadContext* c = contexts_.mainIfCreated()) c->current = nullptr;
    runtime_.clearDepth();
  }
  samples_.applyAutoProfileMask();
}

}  // namespace zem
