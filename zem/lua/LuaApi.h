// The Lua C API functions zem uses, bound by name from the game's Lua module
// (5.1, or 5.2/5.3), and the two layouts of the activation record.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "runtime/Module.h"

namespace zem {

struct LuaState;  // opaque: only handed back to the module
struct LuaDebugRecord;
using LuaHook = void (*)(LuaState* L, LuaDebugRecord* ar);
using LuaCFunction = int (*)(LuaState* L);

// Results that differ between versions (void in one, a value in another) are
// declared void: zem never reads them.
#define ZEM_LUA_FUNCTIONS(X)                                                    \
  X(lua_sethook, void, (LuaState * L, LuaHook hook, int mask, int count))       \
  X(lua_getinfo, int, (LuaState * L, const char* what, LuaDebugRecord* ar))     \
  X(lua_getstack, int, (LuaState * L, int level, LuaDebugRecord* ar))           \
  X(lua_gc, int, (LuaState * L, int what, int data))                            \
  X(lua_type, int, (LuaState * L, int index))                                   \
  X(lua_typename, const char*, (LuaState * L, int type))                        \
  X(lua_topointer, const void*, (LuaState * L, int index))                      \
  X(lua_tothread, LuaState*, (LuaState * L, int index))                         \
  X(lua_tolstring, const char*, (LuaState * L, int index, size_t* length))      \
  X(lua_tonumber, double, (LuaState * L, int index))                            \
  X(lua_tonumberx, double, (LuaState * L, int index, int* isNumber))            \
  X(lua_toboolean, int, (LuaState * L, int index))                              \
  X(lua_isstring, int, (LuaState * L, int index))                               \
  X(lua_iscfunction, int, (LuaState * L, int index))                            \
  X(lua_gettop, int, (LuaState * L))                                            \
  X(lua_settop, void, (LuaState * L, int index))                                \
  X(lua_pushvalue, void, (LuaState * L, int index))                             \
  X(lua_pushnil, void, (LuaState * L))                                          \
  X(lua_pushlstring, void, (LuaState * L, const char* text, size_t length))     \
  X(lua_pushthread, int, (LuaState * L))                                        \
  X(lua_next, int, (LuaState * L, int index))                                   \
  X(lua_rawget, void, (LuaState * L, int index))                                \
  X(lua_getmetatable, int, (LuaState * L, int index))                           \
  X(lua_getupvalue, const char*, (LuaState * L, int function, int n))           \
  X(lua_getlocal, const char*, (LuaState * L, const LuaDebugRecord* ar, int n)) \
  X(lua_getfenv, void, (LuaState * L, int index))                               \
  X(lua_setfield, void, (LuaState * L, int index, const char* key))             \
  X(lua_checkstack, int, (LuaState * L, int extra))                             \
  X(luaL_checkstack, void, (LuaState * L, int extra, const char* message))      \
  X(luaL_error, int, (LuaState * L, const char* format, ...))                   \
  X(lua_rawsetp, void, (LuaState * L, int index, const void* key))              \
  X(lua_rawgetp, void, (LuaState * L, int index, const void* key))              \
  X(lua_getuservalue, void, (LuaState * L, int index))

#define ZEM_LUA_POINTER(name, result, params) result(*name) params = nullptr;
#define ZEM_LUA_SLOT(name, result, params) {#name, &table.name},

struct LuaApi {
  ZEM_LUA_FUNCTIONS(ZEM_LUA_POINTER)
};

// Fills the table from the module; returns the names the module lacks.
std::vector<std::string> bindApi(const Module& module, LuaApi& table);

// Which interface a module offers, by the three functions only 5.2 and later
// export in this form; a module with some of them (5.4 has no exported
// lua_getuservalue) fits neither and is refused.
enum class LuaVersion { kNone, k51, k52 };
LuaVersion luaVersionOf(const LuaApi& api);
// The registry pseudo-index of each interface.
int luaRegistryIndex(LuaVersion version);

// The activation record as Lua 5.1 lays it out, and as 5.2/5.3 do (LUA_IDSIZE 60).
struct LuaDebug51 {
  int event;
  const char* name;
  const char* namewhat;
  const char* what;
  const char* source;
  int currentline;
  int nups;
  int linedefined;
  int lastlinedefined;
  char short_src[60];
  int i_ci;
};
struct LuaDebug52 {
  int event;
  const char* name;
  const char* namewhat;
  const char* what;
  const char* source;
  int currentline;
  int linedefined;
  int lastlinedefined;
  unsigned char nups;
  unsigned char nparams;
  char isvararg;
  char istailcall;
  char short_src[60];
  void* i_ci;
};
// Records zem fills itself (lua_getstack) need room for the larger layout.
struct LuaDebugRecord {
  union {
    LuaDebug51 v51;
    LuaDebug52 v52;
  };
};

// The fields zem reads from a record of either layout.
struct LuaRecordView {
  int event;
  const char* name;
  const char* what;
  const char* shortSrc;
  int line;  // the line the function was defined on
};
LuaRecordView viewOf(const LuaDebugRecord* ar, LuaVersion version);

}  // namespace zem
