// Drives zem.dll the way an engine does: set-up, a short session of three
// frames with nested samples and logged values, stop; the files it wrote stay
// in the output folder (zem_*.txt). Usage: demo_zem <build folder> <output folder>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
template <typename T>
T bind(HMODULE dll, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

std::string windowsPath(const char* unixOrWindows) {
  std::string p(unixOrWindows);
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (auto& c : p)
    if (c == '/') c = '\\';
  return p;
}

void spin(int us) {
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  do QueryPerformanceCounter(&b);
  while ((b.QuadPart - a.QuadPart) * 1000000 / f.QuadPart < us);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: demo_zem <build folder> <output folder>\n");
    return 2;
  }
  const std::string build = windowsPath(argv[1]);
  const std::string out = windowsPath(argv[2]) + "\\zem_";
  HMODULE dll = LoadLibraryA((build + "\\zem\\zem.dll").c_str());
  if (!dll) {
    std::printf("zem.dll not loaded (%lu)\n", GetLastError());
    return 1;
  }
  using StrFn = void (*)(const char*);
  using Str2Fn = void (*)(const char*, const char*);
  auto markStartTime = bind<StrFn>(dll, "MarkStartTime");
  auto startProfiling = bind<int (*)()>(dll, "StartProfiling");
  auto stopProfiling = bind<int (*)()>(dll, "StopProfiling");
  auto startMonoOn = bind<int (*)(const char*, int, int)>(dll, "StartMonoOn");
  auto idMapFile = bind<Str2Fn>(dll, "IdMapFile");
  auto logIdMapFile = bind<StrFn>(dll, "LogIdMapFile");
  auto logCpuFile = bind<StrFn>(dll, "LogCpuFile");
  auto logLogFile = bind<StrFn>(dll, "LogLogFile");
  auto push = bind<StrFn>(dll, "ZEMEnginePushSample");
  auto pop = bind<void (*)()>(dll, "ZEMEnginePopSample");
  auto logInt = bind<void (*)(const char*, int)>(dll, "ZEMEngineLogInt");
  auto logFloat = bind<void (*)(const char*, float)>(dll, "ZEMEngineLogFloat");
  auto logMarker = bind<StrFn>(dll, "ZEMEngineLogMarker");
  auto frameEnd = bind<void (*)(int)>(dll, "SetFrameAtEnd");
  if (!markStartTime || !startProfiling || !startMonoOn || !stopProfiling || !idMapFile || !logIdMapFile ||
      !logCpuFile || !logLogFile || !push || !pop || !logInt || !logFloat || !logMarker || !frameEnd) {
    std::printf("zem exports missing\n");
    return 1;
  }
  markStartTime(nullptr);  // text records
  startProfiling();
  startMonoOn(nullptr, 1, 0);  // cpu mode; samples are recorded without a managed runtime bound
  idMapFile((out + "ids.txt").c_str(), (out + "unregistered.txt").c_str());
  logIdMapFile((out + "value_ids.txt").c_str());
  logCpuFile((out + "cpu.txt").c_str());
  logLogFile((out + "values.txt").c_str());
  for (int frame = 1; frame <= 3; ++frame) {
    push("Update");
    spin(200);
    push("Physics");
    spin(300 * frame);
    pop();
    push("Render");
    spin(500);
    pop();
    pop();
    logMarker("Spawn");
    logInt("Enemies", 4 * frame);
    logFloat("Speed", 1.5f * frame);
    frameEnd(frame);
  }
  const int saved = stopProfiling();
  std::printf("zem.dll: profiled three frames of samples and values into %s{ids,cpu,value_ids,values}.txt%s\n",
              out.c_str(), saved == 0 ? "" : " (the save reported a failure)");
  FreeLibrary(dll);
  return 0;
}
