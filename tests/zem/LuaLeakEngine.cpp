// An engine with a Lua layer hunting a leak: real Lua (5.1 or 5.3, whichever
// this program is built against) runs a script between two object dumps, and
// the two dumps are compared: exactly the leaked groups, exactly the freed
// objects. Dumps that cannot be compared are refused.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "LoadedZem.h"
#include "LuaHost.h"
#include "records/LuaObjectDiff.h"
#include "wincheck.h"

namespace {

using luahost::run;

zem::LuaObjectList readList(const std::string& base) {
  zem::LuaObjectList list;
  std::string error;
  if (!WCHECK(zem::readLuaObjectList(loadedzem::slurp(base + ".lr"), "", list, error)))
    std::printf("%s.lr: %s\n", base.c_str(), error.c_str());
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("usage: %s ZEM LUA_MODULE SCRIPT_DIR OUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string luaModule = luahost::modulePath(argv[2]);
  if (!WCHECK(luahost::loadZem(argv[1]))) return wincheck::summary();
  auto startLuaOn = loadedzem::exportOf<int32_t (*)(const char*, int32_t, int32_t)>("StartLuaOn");
  auto setMapPath = loadedzem::exportOf<int32_t (*)(const char*)>("lua_setmap_path");
  auto luaDumpObj = loadedzem::exportOf<void (*)(void*, const char*, int32_t)>("LuaDumpObj");
  auto stopProfiling = loadedzem::exportOf<int (*)()>("StopProfiling");
  auto markStartTime = loadedzem::exportOf<void (*)(const char*)>("MarkStartTime");
  if (wincheck::failed()) return wincheck::summary();

  const std::string scripts = std::string(argv[3]) + "/", out = std::string(argv[4]) + "/";
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  WCHECK_EQ(startLuaOn(luaModule.c_str(), 1, 0), 1);
  WCHECK_EQ(setMapPath((out + "leak_ids.txt").c_str()), 1);
  WCHECK(run(L, loadedzem::slurp(scripts + "leak_setup.lua"), "@leak_setup.lua"));
  luaDumpObj(L, (out + "leak_a").c_str(), 1);
  WCHECK(run(L, loadedzem::slurp(scripts + "leak_step.lua"), "@leak_step.lua"));
  luaDumpObj(L, (out + "leak_b").c_str(), 0);  // the object list does not depend on names

  zem::LuaObjectDiff diff;
  std::string error;
  const zem::LuaObjectList a = readList(out + "leak_a"), b = readList(out + "leak_b");
  if (!WCHECK(zem::diffLuaObjects(a, b, diff, error))) std::printf("diff: %s\n", error.c_str());
  std::printf("%s", zem::formatLuaObjectDiff(diff).c_str());
  // Paths through the globals table start there, in 5.1 (globals apart from the
  // registry) as in 5.3 (globals in the registry's second slot).
  const std::vector<std::string> cachePath = {"[globals]", "leak_cache", "[number]"};
  const std::vector<std::string> listPath = {"[registry]", "leak_list", "[number]"};
  if (WCHECK_EQ(diff.added.size(), 2u)) {
    const zem::GrowthGroup &tables = diff.added[0], &closures = diff.added[1];
    WCHECK_EQ(tables.kind, std::string("table"));
    WCHECK_EQ(tables.count, 1000);
    if (!WCHECK(tables.path == cachePath)) std::printf("tables at %s\n", zem::pathText(tables.path).c_str());
    WCHECK_EQ(closures.kind, std::string("function"));
    WCHECK_EQ(closures.count, 10);
    if (!WCHECK(closures.path == listPath)) std::printf("closures at %s\n", zem::pathText(closures.path).c_str());
    WCHECK(tables.bytes > closures.bytes && closures.bytes > 0);
  }
  WCHECK_EQ(diff.addedCount, 1010);
  WCHECK_EQ(diff.freedCount, 500);
  // The cache, the list and the table of older ones changed size in place.
  WCHECK_EQ(diff.resizedCount, 3);

  // A dump after another identifier file cannot be set against the first.
  WCHECK_EQ(setMapPath((out + "leak_ids2.txt").c_str()), 1);
  luaDumpObj(L, (out + "leak_c").c_str(), 1);
  const zem::LuaObjectList c = readList(out + "leak_c");
  WCHECK(!zem::diffLuaObjects(a, c, diff, error));
  WCHECK(error.find("different Lua identifier files") != std::string::npos);
  // With a key the names in the list are scrambled like the identifier file's.
  markStartTime("k3y");
  WCHECK_EQ(setMapPath((out + "leak_ids3.txt").c_str()), 1);
  luaDumpObj(L, (out + "leak_d").c_str(), 1);
  const std::string scrambled = loadedzem::slurp(out + "leak_d.lr");
  WCHECK(scrambled.find("leak_cache") == std::string::npos);
  zem::LuaObjectList d;
  if (WCHECK(zem::readLuaObjectList(scrambled, "k3y", d, error)))
    WCHECK(std::find(d.names.begin(), d.names.end(), "leak_cache") != d.names.end());
  WCHECK_EQ(stopProfiling(), 0);
  lua_close(L);
  return wincheck::summary();
}
