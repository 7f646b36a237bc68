// Exports of Lua profiling, as the game's Lua layer calls them.
#include "Exports.h"
#include "session/Profiler.h"

using zem::flag;
using zem::guardedCall;
using zem::LuaProfiler;
using zem::LuaState;
using zem::session;

ZEM_API int32_t StartLuaOn(const char* luaModule, int32_t samples, int32_t direct) {
  return guardedCall<int32_t>(0, [&] { return session().startLuaOn(luaModule, flag(samples), flag(direct)); });
}
ZEM_API void DoLuaHook(void* L, int32_t on) {
  guardedCall([&] { session().lua().doLuaHook(static_cast<LuaState*>(L), flag(on)); });
}
ZEM_API void AddLuaMarker() {
  guardedCall([] { session().lua().addLuaMarker(); });
}
ZEM_API int GetLuaMemory(void* L) {
  return guardedCall(-1, [&] { return session().lua().luaMemory(static_cast<LuaState*>(L)); });
}
ZEM_API int32_t lua_setmap_path(const char* path) {
  return guardedCall<int32_t>(0, [&] { return session().lua().setMapPath(path); });
}
ZEM_API void LuaDumpObj(void* state, const char* path, int32_t names) {
  auto* L = static_cast<LuaState*>(state);
  const LuaProfiler::DumpStart start =
      guardedCall(LuaProfiler::DumpStart::kNothing, [&] { return session().lua().beginDump(L, path); });
  // The refusal is a Lua error: it long-jumps over this frame, so it comes
  // before any file is opened and while nothing here has a destructor.
  if (start == LuaProfiler::DumpStart::kRaise) session().lua().raiseNotMainThread(L);
  if (start == LuaProfiler::DumpStart::kDump) guardedCall([&] { session().lua().dump(L, path, flag(names)); });
}
