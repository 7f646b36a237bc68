// Lua profiling against Debian's real Lua libraries, loaded by path as a game
// loads its own: the version rule, refusals, the activation record's room,
// the Lua identifier file, and calls with missing arguments.
#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "TempDir.h"
#include "lua/LuaProfiler.h"
#include "records/Records.h"
#include "session/Profiler.h"

namespace {

using vekt::testsupport::readFile;
using zem::LuaState;

// Just enough of the C API, by name, to make a state and run a chunk.
struct LuaLibrary {
  explicit LuaLibrary(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    newState = reinterpret_cast<LuaState* (*)()>(find("luaL_newstate"));
    openLibs = reinterpret_cast<void (*)(LuaState*)>(find("luaL_openlibs"));
    loadString = reinterpret_cast<int (*)(LuaState*, const char*)>(find("luaL_loadstring"));
    close = reinterpret_cast<void (*)(LuaState*)>(find("lua_close"));
    pushClosure = reinterpret_cast<void (*)(LuaState*, zem::LuaCFunction, int)>(find("lua_pushcclosure"));
    setGlobal = reinterpret_cast<void (*)(LuaState*, const char*)>(find("lua_setglobal"));
    setField = reinterpret_cast<void (*)(LuaState*, int, const char*)>(find("lua_setfield"));
    pcall51 = reinterpret_cast<int (*)(LuaState*, int, int, int)>(find("lua_pcall"));
    pcall52 = reinterpret_cast<int (*)(LuaState*, int, int, int, intptr_t, void*)>(find("lua_pcallk"));
  }
  ~LuaLibrary() {
    if (handle) dlclose(handle);
  }
  void* find(const char* name) const { return handle ? dlsym(handle, name) : nullptr; }
  // Runs code with fn as the global "probe".
  bool run(LuaState* L, const char* code, zem::LuaCFunction fn) const {
    pushClosure(L, fn, 0);
    if (setGlobal)
      setGlobal(L, "probe");
    else
      setField(L, -10002, "probe");  // 5.1's globals pseudo-index
    if (loadString(L, code) != 0) return false;
    return (pcall52 ? pcall52(L, 0, 0, 0, 0, nullptr) : pcall51(L, 0, 0, 0)) == 0;
  }
  void* handle;
  LuaState* (*newState)();
  void (*openLibs)(LuaState*);
  int (*loadString)(LuaState*, const char*);
  void (*close)(LuaState*);
  void (*pushClosure)(LuaState*, zem::LuaCFunction, int);
  void (*setGlobal)(LuaState*, const char*);
  void (*setField)(LuaState*, int, const char*);
  int (*pcall51)(LuaState*, int, int, int);
  int (*pcall52)(LuaState*, int, int, int, intptr_t, void*);
};

size_t openFiles() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

class LuaTest : public vekt::testsupport::TempDirTest {
 protected:
  zem::Profiler p_;
};

TEST_F(LuaTest, VersionRuleFromTheThreeExports) {
  struct Case {
    const char* path;
    zem::LuaVersion version;
    int registry;
  };
  for (const Case& c : {Case{LUA51_MODULE_PATH, zem::LuaVersion::k51, -10000},
                        Case{LUA53_MODULE_PATH, zem::LuaVersion::k52, -1001000}}) {
    SCOPED_TRACE(c.path);
    zem::Profiler p;
    EXPECT_EQ(p.startLuaOn(c.path, true, false), 1);
    EXPECT_TRUE(p.started());
    EXPECT_EQ(p.lua().version(), c.version);
    EXPECT_EQ(zem::luaRegistryIndex(p.lua().version()), c.registry);
  }
}

TEST_F(LuaTest, ModuleThatFitsNeitherRuleIsRefused) {
  // 5.4 exports lua_rawsetp and lua_rawgetp but no lua_getuservalue.
  LuaLibrary lua54(LUA54_MODULE_PATH);
  ASSERT_NE(lua54.find("lua_rawsetp"), nullptr);
  ASSERT_EQ(lua54.find("lua_getuservalue"), nullptr);
  EXPECT_EQ(p_.startLuaOn(LUA54_MODULE_PATH, true, false), 0);
  EXPECT_FALSE(p_.lua().bound());
  EXPECT_FALSE(p_.lua().started());
  EXPECT_FALSE(p_.started());
  EXPECT_EQ(p_.lua().mode(), zem::LuaProfiler::kSamples);  // still set from the flags
  // The binding is made once: a good module later does not change it.
  EXPECT_EQ(p_.startLuaOn(LUA53_MODULE_PATH, true, false), 0);
  // Nothing is called on a module that was refused.
  LuaState* L = lua54.newState();
  p_.lua().doLuaHook(L, true);
  EXPECT_EQ(p_.lua().luaMemory(L), -1);
  EXPECT_EQ(p_.lua().beginDump(L, path("dump").c_str()), zem::LuaProfiler::DumpStart::kNothing);
  lua54.close(L);
}

TEST_F(LuaTest, MissingModuleIsRefused) {
  EXPECT_EQ(p_.startLuaOn(nullptr, false, true), 0);
  EXPECT_EQ(p_.startLuaOn(path("no_such_module.so").c_str(), false, true), 0);
  EXPECT_FALSE(p_.lua().bound());
}

// lua_getstack fills a 5.3 record up to 128 bytes on 64-bit (120 for 5.1):
// the record zem passes must hold the larger.
zem::LuaProfiler* g_profiler = nullptr;
struct GuardedRecord {
  zem::LuaDebugRecord ar;
  unsigned char canary[32];
};
GuardedRecord g_record;
int g_frames = 0;

TEST_F(LuaTest, StackRecordsHaveRoomForEitherLayout) {
  for (const char* module : {LUA51_MODULE_PATH, LUA53_MODULE_PATH}) {
    SCOPED_TRACE(module);
    zem::Profiler p;
    ASSERT_EQ(p.startLuaOn(module, true, false), 1);
    LuaLibrary lua(module);
    LuaState* L = lua.newState();
    lua.openLibs(L);
    g_profiler = &p.lua();
    std::memset(&g_record, 0xab, sizeof g_record);
    g_frames = 0;
    ASSERT_TRUE(lua.run(L, "local function f() probe() end f()", [](LuaState* S) {
      for (int level = 0; g_profiler->frameAt(S, level, g_record.ar); ++level) ++g_frames;
      return 0;
    }));
    EXPECT_EQ(g_frames, 3);  // probe, f, the chunk
    for (unsigned char c : g_record.canary) ASSERT_EQ(c, 0xab);
    lua.close(L);
  }
}

TEST_F(LuaTest, SecondIdentifierFileClosesTheFirst) {
  ASSERT_EQ(p_.startLuaOn(LUA53_MODULE_PATH, true, false), 1);
  const size_t before = openFiles();
  EXPECT_TRUE(p_.lua().setMapPath(path("first").c_str()));
  EXPECT_EQ(openFiles(), before + 1);
  p_.markStartTime("k3y");
  EXPECT_TRUE(p_.lua().setMapPath(path("second").c_str()));
  EXPECT_EQ(openFiles(), before + 1);
  EXPECT_EQ(readFile(path("first")), "0,Root\r\n1100,Memory\r\n");
  std::vector<zem::IdName> ids;
  std::string error;
  ASSERT_TRUE(zem::readIdMap(readFile(path("second")), "k3y", ids, error)) << error;
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[0].id, 0u);
  EXPECT_EQ(ids[0].name, "Root");
  EXPECT_EQ(ids[1].id, 1100u);
  EXPECT_EQ(ids[1].name, "Memory");
  // A null path closes the open file and reports failure.
  EXPECT_FALSE(p_.lua().setMapPath(nullptr));
  EXPECT_EQ(openFiles(), before);
  // StopProfiling closes it too.
  EXPECT_TRUE(p_.lua().setMapPath(path("third").c_str()));
  p_.stopProfiling();
  EXPECT_EQ(openFiles(), before);
  EXPECT_FALSE(p_.lua().started());
}

TEST_F(LuaTest, NullStatesAndPathsGetTheFailureResult) {
  ASSERT_EQ(p_.startLuaOn(LUA51_MODULE_PATH, true, false), 1);
  EXPECT_TRUE(p_.lua().setMapPath(path("ids").c_str()));
  p_.lua().doLuaHook(nullptr, true);
  EXPECT_EQ(p_.lua().luaMemory(nullptr), -1);
  EXPECT_EQ(p_.lua().beginDump(nullptr, path("dump").c_str()), zem::LuaProfiler::DumpStart::kNothing);
  LuaLibrary lua(LUA51_MODULE_PATH);
  LuaState* L = lua.newState();
  EXPECT_EQ(p_.lua().beginDump(L, nullptr), zem::LuaProfiler::DumpStart::kNothing);
  EXPECT_EQ(p_.lua().beginDump(L, ""), zem::LuaProfiler::DumpStart::kNothing);
  EXPECT_EQ(p_.lua().beginDump(L, path("dump").c_str()), zem::LuaProfiler::DumpStart::kDump);
  EXPECT_GT(p_.lua().luaMemory(L), 0);
  lua.close(L);
}

}  // namespace
