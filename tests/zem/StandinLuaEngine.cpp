// Stands in for a game engine with a Lua layer: creates a state from the real
// Lua library (5.1 or 5.3, whichever this program is built against), loads zem
// by path, binds it to the same Lua module, profiles a script frame in samples
// and in direct mode and dumps Lua objects, then reads zem's files back with
// the project's reader and compares them with what the script counted itself.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "records/LuaCounts.h"
#include "records/Records.h"
#include "LoadedZem.h"
#include "LuaHost.h"
#include "wincheck.h"

#if defined(_WIN32)
#include <windows.h>

#include "winpath.h"
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

const bool kLua53 = LUA_VERSION_NUM >= 502;

void*& g_zem = loadedzem::library();

template <typename F>
F fn(const char* name) {
  return loadedzem::exportOf<F>(name);
}

int32_t (*StartLuaOn)(const char*, int32_t, int32_t);
void (*DoLuaHook)(void*, int32_t);
void (*AddLuaMarker)();
int (*GetLuaMemory)(void*);
int32_t (*luaSetmapPath)(const char*);
void (*LuaDumpObj)(void*, const char*, int32_t);
int (*StartProfilerOn)(const char*, int32_t, int32_t, int32_t);
void (*IdMapFile)(const char*, const char*);
void (*LogCpuFile)(const char*);
void (*LogIdMapFile)(const char*);
void (*LogLogFile)(const char*);
void (*SetFrameAtEnd)(int);
void (*DumpTotalCpuGcTree)(const char*);
int (*StopProfiling)();

using loadedzem::exists;
using loadedzem::slurp;

// ---- the host's C functions ----

int hostcall(lua_State* L) {
  lua_pushvalue(L, 1);
  lua_call(L, 0, 0);
  return 0;
}
int hostmarker(lua_State*) {
  AddLuaMarker();
  return 0;
}
int newud(lua_State* L) {
  lua_newuserdata(L, 16);
  lua_pushvalue(L, 1);
  lua_setmetatable(L, -2);
  return 1;
}
int dump(lua_State* L) {
  LuaDumpObj(L, luaL_checkstring(L, 1), 1);
  return 0;
}

using luahost::run;

bool callGlobal(lua_State* L, const char* name) {
  lua_getglobal(L, name);
  if (lua_pcall(L, 0, 0, 0) != 0) {
    std::printf("Lua error: %s\n", lua_tostring(L, -1));
    lua_settop(L, 0);
    return false;
  }
  return true;
}

std::map<std::string, long long> scriptCounts(lua_State* L) {
  std::map<std::string, long long> out;
  lua_getglobal(L, "C");
  lua_pushnil(L);
  while (lua_next(L, -2)) {
    out[lua_tostring(L, -2)] = static_cast<long long>(lua_tonumber(L, -1));
    lua_pop(L, 1);
  }
  lua_pop(L, 1);
  return out;
}

int lineDefined(lua_State* L, const char* global) {
  lua_getglobal(L, global);
  lua_Debug ar;
  lua_getinfo(L, ">S", &ar);
  return ar.linedefined;
}

// ---- trees ----

struct Node {
  std::string name;
  int depth;
  long long calls, total, extra1;
  int parent;  // index, -1 for the root
  size_t fields;
};

std::vector<Node> readTree(const std::string& idPath, const std::string& treePath, long long frame) {
  std::vector<Node> nodes;
  std::vector<zem::IdName> ids;
  std::vector<zem::FrameBlock> blocks;
  std::string error;
  if (!WCHECK(zem::readIdMap(slurp(idPath), "", ids, error)) ||
      !WCHECK(zem::readFrames(slurp(treePath), blocks, error))) {
    std::printf("reader: %s\n", error.c_str());
    return nodes;
  }
  std::map<long long, std::string> names;
  for (const auto& i : ids) names[static_cast<long long>(i.id)] = i.name;
  for (const auto& b : blocks) {
    if (b.frame != frame) continue;
    std::vector<int> open;
    for (const auto& l : b.lines) {
      if (l.size() < 5) continue;
      Node n{names[l[2]], static_cast<int>(l[0]), l[4], l[3], l.size() >= 7 ? l[5] : 0, -1, l.size()};
      open.resize(static_cast<size_t>(n.depth));
      n.parent = n.depth > 0 && !open.empty() ? open.back() : -1;
      nodes.push_back(n);
      open.push_back(static_cast<int>(nodes.size() - 1));
    }
  }
  return nodes;
}

struct Expectation {
  std::map<std::string, std::string> functionOf;  // display name -> function
};

std::string displayName(lua_State* L, const char* function, bool unknown) {
  std::string name = unknown ? "unknown" : function;
  if (name.size() >= 50) name.resize(49);
  return name + "@game.lua:" + std::to_string(lineDefined(L, function));
}

const char* const kFunctions[] = {"frame",    "outer",   "middle",    "leaf",     "rec",        "thrower", "after",
                                  "catcher",  "coleaf",  "cobody",    "codriver", "tailtarget", "tailer",  "tailcount",
                                  "tailhost", "indexfn", "indexuser", "cbtarget", "cuser",      "deep"};
const char* const kLongName = "a_function_whose_name_is_longer_than_forty_nine_bytes_so_cut";

std::map<std::string, std::string> expectedNames(lua_State* L) {
  // Functions first called from C or by a resume have no name, nor in 5.3 those
  // reached by a tail call.
  std::set<std::string> unnamed = {"frame", "thrower", "cobody", "cbtarget", "indexfn"};
  if (kLua53) unnamed.insert("tailtarget");
  std::map<std::string, std::string> out;
  for (const char* f : kFunctions) out[displayName(L, f, unnamed.count(f) != 0)] = f;
  out[displayName(L, kLongName, false)] = "longname";
  return out;
}

void checkTree(const char* mode, const std::vector<Node>& nodes, const std::map<std::string, std::string>& names,
               const std::map<std::string, long long>& counts) {
  std::printf("-- %s tree: %zu nodes\n", mode, nodes.size());
  const std::map<std::string, std::set<std::string>> parents = {
      {"frame", {"[Root]"}},
      {"outer", {"frame"}},
      {"middle", {"outer"}},
      {"leaf", {"middle", "thrower"}},
      {"rec", {"frame", "rec"}},
      {"thrower", {"catcher", "thrower"}},
      {"after", {"catcher"}},
      {"catcher", {"frame"}},
      {"codriver", {"frame"}},
      {"cobody", {"codriver"}},
      {"coleaf", {"cobody"}},
      {"tailhost", {"frame"}},
      {"tailer", {"tailhost"}},
      // 5.1 reports a tail call as a call from the frame it replaces; 5.3 replaces it.
      {"tailtarget", {kLua53 ? "tailhost" : "tailer"}},
      {"tailcount", kLua53 ? std::set<std::string>{"tailhost"} : std::set<std::string>{"tailhost", "tailcount"}},
      {"indexuser", {"frame"}},
      {"indexfn", {"indexuser"}},
      {"cuser", {"frame"}},
      {"cbtarget", {"cuser"}},
      {"deep", {"frame", "deep"}},
      {"longname", {"frame"}}};
  std::map<std::string, long long> calls;
  std::map<std::string, int> nodesOf;
  int maxRec = 0, maxThrower = 0, deepChain = 0;
  for (const Node& n : nodes) {
    if (n.depth == 0) continue;
    auto it = names.find(n.name);
    if (!WCHECK(it != names.end())) {
      std::printf("unexpected node %s\n", n.name.c_str());
      continue;
    }
    const std::string& f = it->second;
    const std::string parent = n.parent < 0 || nodes[n.parent].depth == 0
                                   ? "[Root]"
                                   : (names.count(nodes[n.parent].name) ? names.at(nodes[n.parent].name) : "?");
    if (!WCHECK(parents.at(f).count(parent))) std::printf("%s under %s\n", f.c_str(), parent.c_str());
    calls[f] += n.calls;
    nodesOf[f] += 1;
    if (f == "rec" || f == "thrower" || f == "deep") {
      if (!WCHECK_EQ(n.calls, 1)) std::printf("%s called %lld times on one path\n", f.c_str(), n.calls);
      int chain = 1;
      for (int p = n.parent; p >= 0 && names.count(nodes[p].name) && names.at(nodes[p].name) == f; p = nodes[p].parent)
        ++chain;
      int& m = f == "rec" ? maxRec : f == "thrower" ? maxThrower : deepChain;
      if (chain > m) m = chain;
    }
  }
  for (const auto& [f, c] : counts) {
    long long want = c;
    if (f == "deep") want = 99;              // the 100 outermost entries, frame being the first
    if (f == "indexfn" && kLua53) want = 0;  // named "__index" by 5.3: never recorded
    if (!WCHECK_EQ(calls[f], want)) std::printf("%s: recorded %lld, script %lld\n", f.c_str(), calls[f], c);
  }
  WCHECK_EQ(counts.at("deep"), 130);
  WCHECK_EQ(maxRec, 4);
  WCHECK_EQ(maxThrower, 4);
  WCHECK_EQ(deepChain, 99);
  WCHECK_EQ(nodesOf["coleaf"], 1);
  WCHECK_EQ(nodesOf["tailcount"], kLua53 ? 1 : 4);
  WCHECK_EQ(calls["tailcount"], 4);
}

void profile(lua_State* L, const std::string& luaModule, const std::string& out) {
  const std::string ids = out + "lua_ids.txt", cpu = out + "lua_cpu.txt", samplesDump = out + "lua_samples.txt";
  WCHECK_EQ(StartProfilerOn(nullptr, 0, 1, 0), 0);  // cpu mode without a managed runtime: samples are recorded
  WCHECK_EQ(StartLuaOn(luaModule.c_str(), 1, 0), 1);
  IdMapFile(ids.c_str(), nullptr);
  LogCpuFile(cpu.c_str());
  LogIdMapFile((out + "lua_values_ids.txt").c_str());
  LogLogFile((out + "lua_values.txt").c_str());
  const std::map<std::string, std::string> names = expectedNames(L);

  // samples mode: every Lua function a named sample
  DoLuaHook(L, 1);
  WCHECK(callGlobal(L, "frame"));
  DoLuaHook(L, 0);
  DumpTotalCpuGcTree(samplesDump.c_str());
  SetFrameAtEnd(1);
  checkTree("samples", readTree(ids, samplesDump, -1), names, scriptCounts(L));
  const std::string outerName = displayName(L, "outer", false);
  WCHECK(slurp(out + "lua_values_ids.txt").find(outerName) != std::string::npos);

  // direct mode: nodes carry memory growth and time
  WCHECK(run(L, "C = {}", "=reset"));
  WCHECK_EQ(StartLuaOn(luaModule.c_str(), 0, 1), 1);
  DoLuaHook(L, 1);
  WCHECK(callGlobal(L, "frame"));
  DoLuaHook(L, 0);
  SetFrameAtEnd(2);
  const std::vector<Node> direct = readTree(ids, cpu, 2);
  checkTree("direct", direct, names, scriptCounts(L));
  long long time = 0;
  for (const Node& n : direct) {
    WCHECK_EQ(n.fields, 7u);
    time += n.extra1;
  }
  WCHECK(time > 0);
  WCHECK_EQ(GetLuaMemory(L), lua_gc(L, LUA_GCCOUNT, 0));
  WCHECK_EQ(GetLuaMemory(nullptr), -1);
}

// ---- object dump ----

zem::LuaObjectCounts readDump(const std::string& base, const std::string& idPath) {
  zem::LuaObjectCounts c;
  std::string error;
  if (!WCHECK(zem::readLuaObjectCounts(slurp(idPath), slurp(base + ".lo"), slurp(base + ".lk"), "", c, error)))
    std::printf("reader: %s\n", error.c_str());
  return c;
}

void dumpObjects(lua_State* L, const std::string& out, const std::string& scripts) {
  const std::string ids = out + "lua_objects_ids.txt";
  WCHECK_EQ(luaSetmapPath(ids.c_str()), 1);
  WCHECK_EQ(luaSetmapPath(nullptr), 0);
  WCHECK_EQ(luaSetmapPath(ids.c_str()), 1);
  LuaDumpObj(L, (out + "before").c_str(), 1);
  WCHECK(run(L, slurp(scripts + "graph.lua"), "@graph.lua"));
  LuaDumpObj(L, (out + "after").c_str(), 1);
  const zem::LuaObjectCounts before = readDump(out + "before", ids), after = readDump(out + "after", ids);
  auto more = [&](const char* kind) {
    return after.kinds.count(kind) && before.kinds.count(kind) ? after.kinds.at(kind) - before.kinds.at(kind) : -1;
  };
  WCHECK_EQ(more("table"), kLua53 ? 19 : 22);  // 5.1 also walks environments and userdata environments
  WCHECK_EQ(more("function"), 2);
  WCHECK_EQ(more("thread"), 1);
  WCHECK_EQ(more("userdata"), 1);
  std::map<std::string, long long> want = {{"zq_graph", 1},
                                           {"zq_a", 1},
                                           {"zq_b", 1},
                                           {"zq_next", 2},
                                           {"zq_shared", 2},
                                           {std::string("zq\0nul", 6), 1},
                                           {"zq", 1},
                                           {"zq_weakv", 1},
                                           {"zq_weakk", 1},
                                           {"zq_strongk", 1},
                                           {"zq_ud", 1},
                                           {"zq_udmeta", 1},
                                           {"zq_fn", 1},
                                           {"zq_co", 1},
                                           {"zqs", 1},
                                           {"zqa", 1},
                                           {"zq_weakval", 0},
                                           {"[metatable]", 3},
                                           {"[key]", 1},
                                           {"[1]", 1},
                                           {"[environment]", kLua53 ? 0 : 2},
                                           {"[uservalue]", kLua53 ? 0 : 1}};
  for (const auto& [name, count] : want) {
    auto get = [&](const zem::LuaObjectCounts& c) { return c.names.count(name) ? c.names.at(name) : 0; };
    if (!WCHECK_EQ(get(after) - get(before), count))
      std::printf("name '%s': %lld more, want %lld\n", name.c_str(), get(after) - get(before), count);
  }

  // From a coroutine: the Lua error, and no file made at all.
  const std::string refused = out + "refused";
  std::remove((refused + ".lo").c_str());
  std::remove((refused + ".lk").c_str());
  lua_pushstring(L, refused.c_str());
  lua_setglobal(L, "DUMP_PATH");
  WCHECK(run(L,
             "local co = coroutine.create(function() dump(DUMP_PATH) end)\n"
             "local ok, err = coroutine.resume(co)\n"
             "REFUSED_OK, REFUSED_ERR = ok, err\n",
             "=refuse"));
  lua_getglobal(L, "REFUSED_OK");
  WCHECK(!lua_toboolean(L, -1));
  lua_getglobal(L, "REFUSED_ERR");
  const char* err = lua_tostring(L, -1);
  if (!WCHECK(err && std::strstr(err, "Must require in main thread"))) std::printf("error: %s\n", err ? err : "(none)");
  lua_settop(L, 0);
  WCHECK(!exists(refused + ".lo"));
  WCHECK(!exists(refused + ".lk"));
  // The same call on the main thread dumps.
  WCHECK(run(L, "dump(DUMP_PATH)", "=accept"));
  WCHECK(exists(refused + ".lo"));
  // Without names the ".lk" file holds its two fixed lines only.
  LuaDumpObj(L, (out + "nameless").c_str(), 0);
  const std::string nameless = slurp(out + "nameless.lk");
  WCHECK_EQ(nameless.substr(nameless.find("\r\n") + 2), std::string("1,2000,0,0\r\n"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("usage: %s ZEM LUA_MODULE SCRIPT_DIR OUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string luaModule = luahost::modulePath(argv[2]);
  if (!WCHECK(luahost::loadZem(argv[1]))) return wincheck::summary();
  StartLuaOn = fn<decltype(StartLuaOn)>("StartLuaOn");
  DoLuaHook = fn<decltype(DoLuaHook)>("DoLuaHook");
  AddLuaMarker = fn<decltype(AddLuaMarker)>("AddLuaMarker");
  GetLuaMemory = fn<decltype(GetLuaMemory)>("GetLuaMemory");
  luaSetmapPath = fn<decltype(luaSetmapPath)>("lua_setmap_path");
  LuaDumpObj = fn<decltype(LuaDumpObj)>("LuaDumpObj");
  StartProfilerOn = fn<decltype(StartProfilerOn)>("StartProfilerOn");
  IdMapFile = fn<decltype(IdMapFile)>("IdMapFile");
  LogCpuFile = fn<decltype(LogCpuFile)>("LogCpuFile");
  LogIdMapFile = fn<decltype(LogIdMapFile)>("LogIdMapFile");
  LogLogFile = fn<decltype(LogLogFile)>("LogLogFile");
  SetFrameAtEnd = fn<decltype(SetFrameAtEnd)>("SetFrameAtEnd");
  DumpTotalCpuGcTree = fn<decltype(DumpTotalCpuGcTree)>("DumpTotalCpuGcTree");
  StopProfiling = fn<decltype(StopProfiling)>("StopProfiling");
  if (wincheck::failed()) return wincheck::summary();

  const std::string scripts = std::string(argv[3]) + "/";
  const std::string out = std::string(argv[4]) + "/";
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  lua_register(L, "hostcall", hostcall);
  lua_register(L, "hostmarker", hostmarker);
  lua_register(L, "newud", newud);
  lua_register(L, "dump", dump);
  WCHECK(run(L, slurp(scripts + "game.lua"), "@game.lua"));

  profile(L, luaModule, out);
  dumpObjects(L, out, scripts);
  StopProfiling();
  lua_close(L);
  return wincheck::summary();
}
