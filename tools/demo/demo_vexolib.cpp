// Drives vexolib.dll the way a game does: a log category written through the
// flush thread into a file. Usage: demo_vexolib <build folder> <output folder>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

using NewLogAgentFn = void*(__cdecl*)();
using InitFn = intptr_t(__cdecl*)(void*);
using SetCatagoryFn = void(__cdecl*)(void*, const char*, const char*, int, int);
using Printf2Fn = void(__cdecl*)(void*, int, const char*, ...);
using StopFn = void(__cdecl*)(void*);
using DestroyFn = void(__cdecl*)();

template <typename T>
T bind(HMODULE dll, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

std::wstring windowsPath(const wchar_t* unixOrWindows) {
  std::wstring p(unixOrWindows);
  if (!p.empty() && p[0] == L'/') p = L"Z:" + p;
  for (auto& c : p) {
    if (c == L'/') c = L'\\';
  }
  return p;
}

std::string narrow(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
  return s;
}

void printFile(const std::wstring& path) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) {
    std::printf("  (missing %s)\n", narrow(path).c_str());
    return;
  }
  char line[4096];
  while (std::fgets(line, sizeof line, f)) std::printf("  %s", line);
  std::fclose(f);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: demo_vexolib <build folder> <output folder>\n");
    return 2;
  }
  const std::wstring build = windowsPath(argv[1]);
  const std::wstring out = windowsPath(argv[2]);
  HMODULE dll = LoadLibraryW((build + L"\\vexolib\\vexolib.dll").c_str());
  if (!dll) {
    std::printf("vexolib.dll not loaded (%lu)\n", GetLastError());
    return 1;
  }
  auto newAgent = bind<NewLogAgentFn>(dll, "LogManager_NewLogAgent");
  auto init = bind<InitFn>(dll, "LogManager_Init");
  auto setCategory = bind<SetCatagoryFn>(dll, "LogManager_SetCatagory");
  auto printf2 = bind<Printf2Fn>(dll, "LogManager_printf2");
  auto stop = bind<StopFn>(dll, "LogManager_Stop");
  auto destroy = bind<DestroyFn>(dll, "LogManager_Destroy");
  if (!newAgent || !init || !setCategory || !printf2 || !stop || !destroy) {
    std::printf("LogManager_ exports missing\n");
    return 1;
  }

  const std::wstring logFile = out + L"\\vexolib_logs\\game.log";
  void* agent = newAgent();
  setCategory(agent, "game", narrow(logFile).c_str(), 0, 1);
  init(agent);
  for (int level = 0; level < 6; ++level) printf2(agent, level, "demo line at level %d, frame %d", level, 100 + level);
  stop(agent);
  destroy();  // the flush thread writes out what is still buffered

  std::printf("vexolib log lines went to %s:\n", narrow(logFile).c_str());
  printFile(logFile);
  FreeLibrary(dll);
  return 0;
}
