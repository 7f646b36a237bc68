// Comparing two Lua object dumps of a million tables each: real Lua 5.3 builds
// a thousand tables of a thousand tables, zem dumps them, the script frees
// half of them and makes as many new ones, zem dumps again; then the two
// object lists are read and compared as zemdump --diff does, timed, with the
// peak memory above what the process held before.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "PeakMemory.h"
#include "records/LuaObjectDiff.h"

namespace {
std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double msSince(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count();
}
}  // namespace

int main() {
  void* zem = dlopen(ZEM_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!zem) {
    std::printf("cannot load zem\n");
    return 1;
  }
  auto startLuaOn = reinterpret_cast<int32_t (*)(const char*, int32_t, int32_t)>(dlsym(zem, "StartLuaOn"));
  auto setMapPath = reinterpret_cast<int32_t (*)(const char*)>(dlsym(zem, "lua_setmap_path"));
  auto dumpObj = reinterpret_cast<void (*)(void*, const char*, int32_t)>(dlsym(zem, "LuaDumpObj"));
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  if (startLuaOn(LUA_MODULE, 1, 0) != 1) {
    std::printf("zem did not bind %s\n", LUA_MODULE);
    return 1;
  }
  const std::string dir = "/tmp/zem_bench_diff";
  std::system(("mkdir -p " + dir).c_str());
  setMapPath((dir + "/ids.txt").c_str());
  if (luaL_dostring(L, "big = {} for i = 1, 1000 do local t = {} for j = 1, 1000 do t[j] = {} end big[i] = t end") != 0)
    return 1;
  auto a = std::chrono::steady_clock::now();
  dumpObj(L, (dir + "/a").c_str(), 0);
  const double dumpA = msSince(a);
  if (luaL_dostring(L,
                    "for i = 1, 500 do big[i] = nil end "
                    "fresh = {} for i = 1, 500 do local t = {} for j = 1, 1000 do t[j] = {} end fresh[i] = t end") != 0)
    return 1;
  lua_gc(L, LUA_GCCOLLECT, 0);
  a = std::chrono::steady_clock::now();
  dumpObj(L, (dir + "/b").c_str(), 0);
  const double dumpB = msSince(a);
  lua_close(L);

  resetPeakMemory();  // the peak restarts from what the process holds now
  const double before = peakMemoryMiB();
  a = std::chrono::steady_clock::now();
  zem::LuaObjectList listA, listB;
  zem::LuaObjectDiff diff;
  std::string error;
  const std::string textA = slurp(dir + "/a.lr"), textB = slurp(dir + "/b.lr");
  if (!zem::readLuaObjectList(textA, "", listA, error) || !zem::readLuaObjectList(textB, "", listB, error) ||
      !zem::diffLuaObjects(listA, listB, diff, error)) {
    std::printf("diff failed: %s\n", error.c_str());
    return 1;
  }
  const std::string report = zem::formatLuaObjectDiff(diff);
  const double diffMs = msSince(a);
  const double peak = peakMemoryMiB() - before;
  std::printf("%s: dumps of %zu and %zu objects (%.1f and %.1f MB object lists), written in %.0f and %.0f ms\n",
              LUA_RELEASE, listA.objects.size(), listB.objects.size(), textA.size() / 1e6, textB.size() / 1e6, dumpA,
              dumpB);
  std::printf("  diff (read both lists, compare, group): %.2f s, peak %.1f MiB above the %.1f MiB before it\n",
              diffMs / 1000.0, peak, before);
  std::printf("%s", report.c_str());
  return 0;
}
