// Exports of the session: set-up, start and stop, samples, values and the
// frame-end pass, as the engine, the managed scripts and the Lua layer call them.
#include <cstring>

#include "Exports.h"
#include "session/Profiler.h"

using zem::flag;
using zem::guardedCall;
using zem::session;

// Diagnostic texts end here and are discarded.
ZEM_API void TraceSink() {}
ZEM_API void AddOutputCallback() {}
ZEM_API void AddOnCompletedCallback() {}
ZEM_UNITY void ZEM_STDCALL UnityPluginLoad(void*) {}
ZEM_UNITY void ZEM_STDCALL UnityPluginUnload() {}
ZEM_UNITY void ZEM_STDCALL InitZemUnityPlugin() {}

ZEM_API int NativeVersion() { return 211; }
ZEM_API int32_t SupportFeature(const char* name) {
  return guardedCall<int32_t>(
      0, [&] { return name && (std::strcmp(name, "ScreenshotSuccess") == 0 || std::strcmp(name, "EventId") == 0); });
}
ZEM_API int32_t EnableGL() { return 0; }
ZEM_API int32_t EnableGPUProf() { return 0; }
ZEM_API void MarkStartTime(const char* key) {
  guardedCall([&] { session().markStartTime(key); });
}
ZEM_API int StartProfiling() {
  return guardedCall(0, [] { return session().startProfiling(); });
}
ZEM_API int StartMonoOn(const char* module, int mode, int32_t il2cpp) {
  return guardedCall(0, [&] { return session().startMonoOn(module, mode, flag(il2cpp)); });
}
ZEM_API int StartProfilerOn(const char* module, int32_t memory, int32_t cpu, int32_t il2cpp) {
  return guardedCall(0, [&] { return session().startProfilerOn(module, flag(memory), flag(cpu), flag(il2cpp)); });
}
ZEM_API int StopProfiling() {
  return guardedCall(-1, [] { return session().stopProfiling(); });
}
ZEM_API int MonoStop() { return StopProfiling(); }
ZEM_API void RegisterSample(const char* name, const char* parent) {
  guardedCall([&] { session().registerSample(name, parent); });
}
ZEM_API void LogSample(int index, int64_t ns, int count) {
  guardedCall([&] { session().logSample(index, ns, count); });
}
ZEM_API void ZEMEnginePushSample(const char* name) {
  guardedCall([&] { session().pushSample(name); });
}
ZEM_API void ZEMEnginePopSample() {
  guardedCall([] { session().popSample(); });
}
ZEM_API void ZEMEnginePushSampleId(int index) {
  guardedCall([&] { session().pushSampleId(index); });
}
ZEM_API void ZEMEnginePopSampleId(int index) {
  guardedCall([&] { session().popSampleId(index); });
}
ZEM_API int ZEMEngineCheckStack() {
  return guardedCall(0, [] { return session().checkStack(); });
}
ZEM_API void SetSampleMask(uint8_t* mask, int size) {
  guardedCall([&] { session().setSampleMask(mask, size); });
}
ZEM_API void AutoProfileCPU(int32_t on) {
  guardedCall([&] { session().autoProfileCpu(flag(on)); });
}
ZEM_API void IdMapFile(const char* p1, const char* p2) {
  guardedCall([&] { session().idMapFile(p1, p2); });
}
ZEM_API void DumpTotalCpuGcTree(const char* path) {
  guardedCall([&] { session().dumpTotalCpuGcTree(path); });
}
ZEM_API void ZEMEngineLogMarker(const char* name) {
  guardedCall([&] { session().logMarker(name); });
}
ZEM_API void ZEMEngineLogInt(const char* name, int v) {
  guardedCall([&] { session().logInt(name, v); });
}
ZEM_API void ZEMEngineLogFloat(const char* name, float v) {
  guardedCall([&] { session().logFloat(name, v); });
}
ZEM_API void ZEMEngineLogBool(const char* name, int32_t v) {
  guardedCall([&] { session().logBool(name, flag(v)); });
}
ZEM_API void ZEMEngineLogVector(const char* name, float x, float y, float z) {
  guardedCall([&] { session().logVector(name, x, y, z); });
}
ZEM_API void LogIdMapFile(const char* path) {
  guardedCall([&] { session().logIdMapFile(path); });
}
ZEM_API void LogCpuFile(const char* path) {
  guardedCall([&] { session().logCpuFile(path); });
}
ZEM_API void LogLogFile(const char* path) {
  guardedCall([&] { session().logLogFile(path); });
}
ZEM_API void SetFrameAtEnd(int frame) {
  guardedCall([&] { session().frameEnd(frame); });
}
