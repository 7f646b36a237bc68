// Exports of the statistics files, event times and hardware files.
#include "Exports.h"
#include "session/Profiler.h"

using zem::guardedCall;
using zem::session;

ZEM_API void FrameIdMapFile(const char* path) {
  guardedCall([&] { session().frameIdMapFile(path); });
}
ZEM_API void LogTimeFile(const char* path) {
  guardedCall([&] { session().logTimeFile(path); });
}
ZEM_API void LogFpsFile(const char* path) {
  guardedCall([&] { session().logFpsFile(path); });
}
ZEM_API void LogGraphicsFile(const char* path) {
  guardedCall([&] { session().logGraphicsFile(path); });
}
ZEM_API void LogMemoryFile(const char* path) {
  guardedCall([&] { session().logMemoryFile(path); });
}
ZEM_API int AddOverhead(int ms) {
  return guardedCall(0, [&] { return session().addOverhead(ms); });
}
ZEM_API int GetStat(int type) {
  return guardedCall(-1, [&] { return session().getStat(type); });
}
ZEM_API int32_t SupportRealtimeStat() { return 1; }

ZEM_API void InitTimeLog(const char* path) {
  guardedCall([&] { session().eventTimes().initTimeLog(path); });
}
ZEM_API int SetStartTime(int ms) {
  return guardedCall(-1, [&] { return session().eventTimes().setStartTime(ms); });
}
ZEM_API int32_t SetLogFile(const char* path) {
  return guardedCall<int32_t>(0, [&] { return session().eventTimes().setLogFile(path); });
}
ZEM_API int32_t LogTime(int id) {
  return guardedCall<int32_t>(0, [&] { return session().eventTimes().logTime(id); });
}

ZEM_API void HardwareInit(const char* headerPath, const char* dataPath, int flushInterval) {
  guardedCall([&] { session().hardware().init(headerPath, dataPath, flushInterval); });
}
ZEM_API void HardwareCheckAndWrite(int frame, int mask) {
  guardedCall([&] { session().hardware().checkAndWrite(frame, mask); });
}
ZEM_API int HardwareStop() {
  return guardedCall(-1, [] { return session().hardware().stop(); });
}
