// What the Lua engine stand-ins share: zem and the Lua module named by build
// paths, and running a chunk.
#pragma once
#include <cstdio>
#include <cstring>
#include <string>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "LoadedZem.h"

#if defined(_WIN32)
#include "winpath.h"
#endif

namespace luahost {

// Loads zem from its build path; false when it cannot be loaded.
inline bool loadZem(const char* path) {
#if defined(_WIN32)
  loadedzem::library() = LoadLibraryW(winpath::fromBuild(path).c_str());
#else
  loadedzem::library() = dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
  return loadedzem::library() != nullptr;
}

// The Lua module's path as zem is given it: on Windows a UTF-8 Windows path.
inline std::string modulePath(const char* path) {
#if defined(_WIN32)
  const std::wstring wide = winpath::fromBuild(path);
  std::string out(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr)),
                  '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
#else
  return path;
#endif
}

inline bool run(lua_State* L, const std::string& code, const char* chunkName) {
  if (luaL_loadbuffer(L, code.data(), code.size(), chunkName) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
    std::printf("Lua error: %s\n", lua_tostring(L, -1));
    lua_settop(L, 0);
    return false;
  }
  return true;
}

}  // namespace luahost
