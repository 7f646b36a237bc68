// Exports of the managed runtime binding.
#include "Exports.h"
#include "session/Profiler.h"

using zem::flag;
using zem::guardedCall;
using zem::session;

ZEM_API int32_t PreLoad(const char* module, int32_t il2cpp) {
  return guardedCall<int32_t>(0, [&] { return session().preLoad(module, flag(il2cpp)); });
}
ZEM_API int hook_entry(const char* module) {
  return guardedCall(0, [&] { return session().hookEntry(module); });
}
ZEM_API void WinProfileCPU(int level) {
  guardedCall([&] { session().winProfileCpu(level); });
}
ZEM_API int32_t MonoEnterLeave() {
  return guardedCall<int32_t>(0, [] { return session().monoEnterLeave(); });
}
ZEM_API void AddFilter(const char* prefix, int kind) {
  guardedCall([&] { session().addFilter(prefix, kind); });
}
