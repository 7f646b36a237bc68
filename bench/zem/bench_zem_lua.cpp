// Cost of zem's Lua hook on a call-heavy script (recursive fib) against the
// same script without a hook and with an empty C hook, in one run; then the
// object dump of a graph of a million tables with its peak memory and time.
// Built once per Lua version (Debian's liblua5.1 and liblua5.3).
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

namespace {

const char* const kScript =
    "function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
    "function run() return fib(27) end\n";
const double kCalls = 832039.0 * 2 - 1;  // calls of fib(27)

void emptyHook(lua_State*, lua_Debug*) {}

double msPerRun(lua_State* L, void (*afterRun)()) {
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    auto a = std::chrono::steady_clock::now();
    lua_getglobal(L, "run");
    if (lua_pcall(L, 0, 0, 0) != 0) {
      std::printf("Lua error: %s\n", lua_tostring(L, -1));
      return 0;
    }
    auto b = std::chrono::steady_clock::now();
    if (afterRun) afterRun();
    best = std::min(best, std::chrono::duration<double, std::milli>(b - a).count());
  }
  return best;
}

long statusKB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, std::strlen(field), field) == 0) return std::atol(line.c_str() + std::strlen(field) + 1);
  return -1;
}

void (*g_setFrameAtEnd)(int);
int g_frame = 0;
void endFrame() { g_setFrameAtEnd(++g_frame); }

}  // namespace

int main() {
  void* zem = dlopen(ZEM_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!zem) {
    std::printf("cannot load zem\n");
    return 1;
  }
  auto startProfilerOn =
      reinterpret_cast<int (*)(const char*, int32_t, int32_t, int32_t)>(dlsym(zem, "StartProfilerOn"));
  auto startLuaOn = reinterpret_cast<int32_t (*)(const char*, int32_t, int32_t)>(dlsym(zem, "StartLuaOn"));
  auto doLuaHook = reinterpret_cast<void (*)(void*, int32_t)>(dlsym(zem, "DoLuaHook"));
  auto setMapPath = reinterpret_cast<int32_t (*)(const char*)>(dlsym(zem, "lua_setmap_path"));
  auto dumpObj = reinterpret_cast<void (*)(void*, const char*, int32_t)>(dlsym(zem, "LuaDumpObj"));
  auto logCpuFile = reinterpret_cast<void (*)(const char*)>(dlsym(zem, "LogCpuFile"));
  g_setFrameAtEnd = reinterpret_cast<void (*)(int)>(dlsym(zem, "SetFrameAtEnd"));

  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  if (luaL_dostring(L, kScript) != 0) return 1;
  startProfilerOn(nullptr, 0, 1, 0);  // cpu mode: samples are recorded
  if (startLuaOn(LUA_MODULE, 1, 0) != 1) {
    std::printf("zem did not bind %s\n", LUA_MODULE);
    return 1;
  }
  const std::string dir = "/tmp/zem_bench_lua";
  std::system(("mkdir -p " + dir).c_str());
  logCpuFile((dir + "/cpu.txt").c_str());

  std::printf("%s, fib(27): %.0f calls, best of 5 runs\n", LUA_RELEASE, kCalls);
  const double plain = msPerRun(L, nullptr);
  lua_sethook(L, emptyHook, LUA_MASKCALL | LUA_MASKRET, 0);
  const double empty = msPerRun(L, nullptr);
  lua_sethook(L, nullptr, 0, 0);
  startLuaOn(LUA_MODULE, 1, 0);
  doLuaHook(L, 1);
  const double samples = msPerRun(L, endFrame);
  doLuaHook(L, 0);
  startLuaOn(LUA_MODULE, 0, 1);
  doLuaHook(L, 1);
  const double direct = msPerRun(L, endFrame);
  doLuaHook(L, 0);
  auto row = [&](const char* what, double ms) {
    std::printf("  %-28s %8.1f ms  %6.1f ns/call  %5.2fx plain\n", what, ms, ms * 1e6 / kCalls, ms / plain);
  };
  row("plain", plain);
  row("empty C hook", empty);
  row("zem hook, samples mode", samples);
  row("zem hook, direct mode", direct);

  // A million tables: a thousand tables of a thousand tables each.
  if (luaL_dostring(L, "big = {} for i = 1, 1000 do local t = {} for j = 1, 1000 do t[j] = {} end big[i] = t end") != 0)
    return 1;
  lua_gc(L, LUA_GCCOLLECT, 0);
  setMapPath((dir + "/lua_ids.txt").c_str());
  for (int names = 0; names < 2; ++names) {
    std::ofstream("/proc/self/clear_refs") << "5";  // restart the peak from here
    const long before = statusKB("VmRSS:");
    auto a = std::chrono::steady_clock::now();
    dumpObj(L, (dir + "/big").c_str(), names);
    auto b = std::chrono::steady_clock::now();
    std::printf("  dump of 1 001 001 tables (names %s): %.0f ms, peak %ld KB above the %ld KB before it\n",
                names ? "on" : "off", std::chrono::duration<double, std::milli>(b - a).count(),
                statusKB("VmHWM:") - before, before);
  }
  std::ifstream lo(dir + "/big.lo");
  std::string line;
  while (std::getline(lo, line)) std::printf("    .lo %s\n", line.c_str());
  lua_close(L);
  return 0;
}
