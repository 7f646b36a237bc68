// Exports of allocation tracking: the allocation-tree file, the dumps of the
// cumulative allocation tree and of the live objects, and recording of every thread.
#include "Exports.h"
#include "session/Profiler.h"

using zem::flag;
using zem::guardedCall;
using zem::session;

ZEM_API void MultiThread(int32_t on) {
  guardedCall([&] { session().multiThread(flag(on)); });
}
ZEM_API void LogGcFile(const char* path) {
  guardedCall([&] { session().logGcFile(path); });
}
ZEM_API void DumpCallTree(const char* path) {
  guardedCall([&] { session().dumpCallTree(path); });
}
ZEM_API void DumpObjectMap(const char* path) {
  guardedCall([&] { session().dumpObjectMap(path); });
}
