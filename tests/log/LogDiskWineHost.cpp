// vexolib.dll's log file on a disk that fills up and is then freed: the
// Windows file layer under Wine, writing to a small mounted filesystem seen
// through the Z: drive. Arguments: vexolib.dll, the small disk's folder.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wincheck.h"
#include "windisk.h"
#include "winpath.h"

namespace {
using NewLogAgentFn = void*(__cdecl*)();
using InitFn = intptr_t(__cdecl*)(void*);
using SetCatagoryFn = void(__cdecl*)(void*, const char*, const char*, int, int);
using StopFn = void(__cdecl*)(void*);
using DestroyFn = void(__cdecl*)();
using Printf2Fn = void(__cdecl*)(void*, int, const char*, ...);

std::string readAll(const std::wstring& path) {
  std::string out;
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

std::string narrow(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
  return s;
}

// "[YYYY-MM-DD HH:MM:SS] name (Level): text", nothing torn or glued onto it.
bool wholeLine(const std::string& l) {
  if (l.size() < 24 || l[0] != '[' || l[20] != ']' || l[21] != ' ') return false;
  if (l.find('[', 1) != std::string::npos) return false;
  return l.find(" (Info): ") != std::string::npos || l.find(" (Error): ") != std::string::npos;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: log_disk_wine_host VEXOLIB.DLL DISK\n");
    return 2;
  }
  HMODULE dll = LoadLibraryW(winpath::fromBuild(argv[1]).c_str());
  if (!WCHECK(dll != nullptr)) return wincheck::summary();
  auto get = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(dll, name)); };
  auto newAgent = reinterpret_cast<NewLogAgentFn>(get("LogManager_NewLogAgent"));
  auto init = reinterpret_cast<InitFn>(get("LogManager_Init"));
  auto setCategory = reinterpret_cast<SetCatagoryFn>(get("LogManager_SetCatagory"));
  auto stop = reinterpret_cast<StopFn>(get("LogManager_Stop"));
  auto destroy = reinterpret_cast<DestroyFn>(get("LogManager_Destroy"));
  auto printf2 = reinterpret_cast<Printf2Fn>(get("LogManager_printf2"));
  if (!WCHECK(newAgent && init && setCategory && stop && destroy && printf2)) return wincheck::summary();

  const std::wstring disk = winpath::fromBuild(argv[2]);
  const std::wstring file = disk + L"\\logs\\game.log";
  void* agent = newAgent();
  // Written at once by the logging thread: which lines met the full disk does
  // not depend on when the flush thread runs.
  setCategory(agent, "game", narrow(file).c_str(), 1, 0);
  WCHECK_EQ(init(agent), 0);
  auto log = [&](const char* what, int count) {
    for (int i = 0; i < count; ++i) printf2(agent, 4, "%s %06d padding to make the line longer", what, i);
  };
  log("before", 200);
  WCHECK(readAll(file).find("before 000199") != std::string::npos);
  WCHECK(windisk::fill(disk) > 0);
  log("full", 20000);  // far more than can wait in memory
  windisk::free(disk);
  // The log tries a failed file again about once a second: until it has, a
  // line waits in memory (or is counted lost) like the ones before it.
  for (int i = 0; i < 600 && readAll(file).find(" lines lost: ") == std::string::npos; ++i) {
    log("probe", 1);
    Sleep(50);
  }
  log("after", 1000);
  destroy();
  stop(agent);

  const std::string text = readAll(file);
  size_t pos = 0, lossLines = 0, torn = 0;
  int nextAfter = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      std::printf("unfinished last line at byte %zu of %zu: %s\n", pos, text.size(), text.substr(pos, 120).c_str());
      ++torn;
      break;
    }
    const std::string line = text.substr(pos, end - pos);
    pos = end + 2;
    if (!wholeLine(line)) {
      if (++torn < 5) std::printf("torn line: %s\n", line.c_str());
    }
    if (line.find(" lines lost: ") != std::string::npos) ++lossLines;
    char expect[32];
    std::snprintf(expect, sizeof expect, "after %06d ", nextAfter);
    if (line.find(expect) != std::string::npos) ++nextAfter;
  }
  WCHECK_EQ(torn, 0u);
  WCHECK(lossLines >= 1);
  if (!WCHECK_EQ(nextAfter, 1000)) std::printf("lines logged after the space came back: %d of 1000\n", nextAfter);
  return wincheck::summary();
}
