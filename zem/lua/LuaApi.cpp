#include "LuaApi.h"

namespace zem {

std::vector<std::string> bindApi(const Module& module, LuaApi& table) {
  const FunctionSlot slots[] = {ZEM_LUA_FUNCTIONS(ZEM_LUA_SLOT)};
  return fillSlots(module, slots, sizeof slots / sizeof slots[0]);
}

LuaVersion luaVersionOf(const LuaApi& api) {
  const int newer = (api.lua_rawsetp != nullptr) + (api.lua_rawgetp != nullptr) + (api.lua_getuservalue != nullptr);
  if (newer == 3) return LuaVersion::k52;
  if (newer == 0 && api.lua_getfenv) return LuaVersion::k51;
  return LuaVersion::kNone;
}

int luaRegistryIndex(LuaVersion version) { return version == LuaVersion::k52 ? -1001000 : -10000; }

LuaRecordView viewOf(const LuaDebugRecord* ar, LuaVersion version) {
  if (version == LuaVersion::k52) {
    const LuaDebug52& d = ar->v52;
    return {d.event, d.name, d.what, d.short_src, d.linedefined};
  }
  const LuaDebug51& d = ar->v51;
  return {d.event, d.name, d.what, d.short_src, d.linedefined};
}

}  // namespace zem
