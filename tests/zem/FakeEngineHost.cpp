// Stands in for the game engine and its scripts: loads zem by path, drives a
// whole session (set-up, start, nested samples on two threads, values, frame
// ends, stop) and reads the files back with the project's own reader.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "records/Records.h"
#include "LoadedZem.h"
#include "wincheck.h"
#if defined(_WIN32)
#include "winpath.h"
#endif

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace {

void*& g_lib = loadedzem::library();

template <typename F>
F fn(const char* name) {
  return loadedzem::exportOf<F>(name);
}

using loadedzem::exists;
using loadedzem::slurp;

void busy(int us) {
  auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(us);
  while (std::chrono::steady_clock::now() < end) {
  }
}

using VoidFn = void (*)();
using IntFn = int (*)();
using StrFn = void (*)(const char*);
using Str2Fn = void (*)(const char*, const char*);
using IntArgFn = void (*)(int);
using StrIntFn = void (*)(const char*, int);
using StrFloatFn = void (*)(const char*, float);
using VecFn = void (*)(const char*, float, float, float);
using MonoFn = int (*)(const char*, int, int);
using LogSampleFn = void (*)(int, int64_t, int);
using FeatureFn = int32_t (*)(const char*);

StrFn pushSample;
VoidFn popSample;
IntFn checkStack;

// A worker thread whose samples must not reach the trees (they are engine-thread only).
void workerBody() {
  for (int i = 0; i < 50; ++i) {
    pushSample("Worker");
    pushSample("WorkerInner");
    popSample();
    popSample();
  }
}
#if defined(_WIN32)
DWORD WINAPI workerEntry(LPVOID) {
  workerBody();
  return 0;
}
#else
void* workerEntry(void*) {
  workerBody();
  return nullptr;
}
#endif
void runWorker() {
#if defined(_WIN32)
  HANDLE h = CreateThread(nullptr, 0, workerEntry, nullptr, 0, nullptr);
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
#else
  pthread_t t;
  pthread_create(&t, nullptr, workerEntry, nullptr);
  pthread_join(t, nullptr);
#endif
}

// Statistics, event-time and hardware exports through the loaded library (the
// working set comes from the system here, so only its form is checked).
void checkStatsFiles(const std::string& dir, const std::string& key) {
  auto supportRealtimeStat = fn<IntFn>("SupportRealtimeStat");
  auto getStat = fn<int (*)(int)>("GetStat");
  auto hardwareInit = fn<void (*)(const char*, const char*, int)>("HardwareInit");
  auto hardwareCheckAndWrite = fn<void (*)(int, int)>("HardwareCheckAndWrite");
  auto hardwareStop = fn<IntFn>("HardwareStop");
  auto setLogFile = fn<FeatureFn>("SetLogFile");
  auto logTime = fn<int32_t (*)(int)>("LogTime");
  auto initTimeLog = fn<StrFn>("InitTimeLog");
  if (wincheck::failed()) return;
  WCHECK_EQ(supportRealtimeStat() & 0xff, 1);
  WCHECK_EQ(getStat(2), 0);  // no managed heap sampled
  WCHECK_EQ(getStat(9), -1);
  hardwareInit((dir + "hw_header.txt").c_str(), (dir + "hw.txt").c_str(), 10);
  hardwareCheckAndWrite(1, 2);
  WCHECK_EQ(hardwareStop(), 0);
  std::string hw = slurp(dir + "hw.txt");
  double kb = 0;
  WCHECK_EQ(std::sscanf(hw.c_str(), "#1\n1,2,0\n2,7,0,%lf\n", &kb), 1);
  WCHECK(kb > 1024.0);
  std::vector<zem::IdName> header;
  std::string err;
  WCHECK(zem::readIdMap(slurp(dir + "hw_header.txt"), key, header, err));  // binary: a key is set
  WCHECK_EQ(header.size(), 10u);
  if (header.size() == 10u)
    WCHECK_EQ(header[7].name, std::string("windows.memory.workingset,windows.memory.workingset,,,,,,,,,"));
  initTimeLog((dir + "timelog.txt").c_str());
  WCHECK(setLogFile((dir + "events.txt").c_str()) & 0xff);
  WCHECK(logTime(5) & 0xff);
  WCHECK(setLogFile("") & 0xff);
  WCHECK(!(logTime(6) & 0xff));
  WCHECK(!(setLogFile(nullptr) & 0xff));
  WCHECK_EQ(slurp(dir + "events.txt").substr(0, 2), std::string("5,"));
  WCHECK(slurp(dir + "timelog.txt").find("/1000") != std::string::npos);
}

// Memory mode on the stand-in runtime: allocations by path into the frame's
// allocation tree, a collection, the cumulative tree and the object map, all
// read back with the records reader.
template <class Lookup>
void checkAllocations(Lookup standinFn, const std::string& runtimePath, const std::string& dir) {
  auto enter = reinterpret_cast<void (*)(int)>(standinFn("standin_enter"));
  auto leave = reinterpret_cast<void (*)(int)>(standinFn("standin_leave"));
  auto alloc = reinterpret_cast<void (*)(uintptr_t, int, uint32_t)>(standinFn("standin_alloc"));
  auto kill = reinterpret_cast<void (*)(uintptr_t)>(standinFn("standin_kill"));
  auto gc = reinterpret_cast<void (*)(int)>(standinFn("standin_gc"));
  if (!WCHECK(alloc && kill && gc)) return;
  WCHECK_EQ(fn<MonoFn>("StartMonoOn")(runtimePath.c_str(), 2, 0), 1);
  fn<StrFn>("LogGcFile")((dir + "gc.txt").c_str());
  enter(0);  // Update: two Bullets (class 5) of 24 bytes
  alloc(0x10000, 5, 24);
  alloc(0x10040, 5, 24);
  enter(11);  // Level2: a String (class 6) of 40 bytes
  alloc(0x10080, 6, 40);
  leave(11);
  leave(0);
  kill(0x10000);
  gc(11);
  fn<IntArgFn>("SetFrameAtEnd")(10);
  fn<StrFn>("DumpCallTree")((dir + "alloc_tree.txt").c_str());
  fn<StrFn>("DumpObjectMap")((dir + "objects.txt").c_str());
  fn<IntFn>("StopProfiling")();

  std::vector<zem::FrameBlock> frame, total;
  zem::ObjectMap objects;
  std::string err;
  WCHECK(zem::readFrames(slurp(dir + "gc.txt"), frame, err));
  WCHECK(zem::readFrames(slurp(dir + "alloc_tree.txt"), total, err));
  WCHECK(zem::readObjectMap(slurp(dir + "objects.txt"), objects, err));
  if (!WCHECK_EQ(frame.size(), 1u) || !WCHECK_EQ(total.size(), 1u)) return;
  // depth, node, key, total, calls [, live bytes, live objects]
  const auto& f = frame[0].lines;
  const auto& t = total[0].lines;
  if (!WCHECK_EQ(f.size(), 3u) || !WCHECK_EQ(t.size(), 3u)) return;
  WCHECK_EQ(frame[0].frame, 10);
  WCHECK(f[1][0] == 1 && f[1][3] == 48 && f[1][4] == 2);
  WCHECK(f[2][0] == 2 && f[2][3] == 40 && f[2][4] == 1);
  WCHECK(t[1][3] == 48 && t[1][4] == 2 && t[1][5] == 24 && t[1][6] == 1);
  WCHECK(t[2][3] == 40 && t[2][4] == 1 && t[2][5] == 40 && t[2][6] == 1);
  if (!WCHECK_EQ(objects.groups.size(), 2u)) return;
  for (const zem::ObjectGroup& g : objects.groups) {
    const bool bullet = g.className == "Bullet";
    WCHECK_EQ(g.leaf, static_cast<uint64_t>(bullet ? t[1][1] : t[2][1]));
    WCHECK_EQ(g.bytes, bullet ? 24 : 40);
    WCHECK_EQ(g.count, 1);
  }
}

// The managed runtime binding against the project's stand-in runtime module
// (the only runtime under Wine): binding by a UTF-8 path, the injection of the
// wrapper file found beside zem, and the self-check.
void checkRuntime(const std::string& zemPath, std::string runtimePath, const std::string& dir) {
#if defined(_WIN32)
  // A folder name outside any ANSI code page: the path must be widened from UTF-8.
  const std::string folder = dir + "zem_\xc3\xbc\xe5\x90\x8d";
  CreateDirectoryW(winpath::fromBuild(folder.c_str()).c_str(), nullptr);
  const std::string copy = folder + "/StandinRuntimeLegacy.dll";
  WCHECK(CopyFileW(winpath::fromBuild(runtimePath.c_str()).c_str(), winpath::fromBuild(copy.c_str()).c_str(), FALSE));
  runtimePath = copy;
  HMODULE standin = LoadLibraryW(winpath::fromBuild(runtimePath.c_str()).c_str());
  auto standinFn = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(standin, name)); };
#else
  (void)dir;
  void* standin = dlopen(runtimePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto standinFn = [&](const char* name) { return dlsym(standin, name); };
#endif
  if (!WCHECK(standin != nullptr)) return;
  auto enter = reinterpret_cast<void (*)(int)>(standinFn("standin_enter"));
  auto leave = reinterpret_cast<void (*)(int)>(standinFn("standin_leave"));
  auto counter = reinterpret_cast<int (*)(const char*)>(standinFn("standin_counter"));
  auto loadedBytes = reinterpret_cast<const char* (*)()>(standinFn("standin_loaded_bytes"));
  auto preLoad = fn<int32_t (*)(const char*, int32_t)>("PreLoad");
  auto hookEntry = fn<int (*)(const char*)>("hook_entry");
  auto monoEnterLeave = fn<int32_t (*)()>("MonoEnterLeave");
  auto startMonoOn = fn<MonoFn>("StartMonoOn");
  if (!WCHECK(enter && leave && counter && loadedBytes) || wincheck::failed()) return;

  // The wrapper assembly is read from zem's own folder unless configured otherwise.
  const std::string wrapper = zemPath.substr(0, zemPath.find_last_of("/\\") + 1) + "ZEMWrapper_Windows.dll";
  { std::ofstream(wrapper, std::ios::binary) << "fake-wrapper-assembly"; }
  WCHECK_EQ(preLoad(runtimePath.c_str(), 0) & 0xff, 1);
  WCHECK_EQ(monoEnterLeave() & 0xff, 1);
  WCHECK_EQ(hookEntry(runtimePath.c_str()), 1);
  enter(9);  // Render: no trigger
  leave(9);
  WCHECK_EQ(counter("loads"), 0);
  enter(0);  // Update: the wrapper is injected and initialised, once
  leave(0);
  enter(0);
  leave(0);
  WCHECK_EQ(counter("loads"), 1);
  WCHECK_EQ(counter("static_inits"), 1);
  WCHECK_EQ(std::string(loadedBytes()), std::string("fake-wrapper-assembly"));
  WCHECK_EQ(startMonoOn(runtimePath.c_str(), 1, 0), 1);
  WCHECK_EQ(counter("check_all_api"), 1);
  WCHECK_EQ(counter("installs"), 1);
  WCHECK_EQ(counter("null_installs"), 0);
  WCHECK_EQ(counter("outstanding_names"), 0);
  std::remove(wrapper.c_str());
  checkAllocations(standinFn, runtimePath, dir);
}

#if defined(_WIN32) && !defined(_WIN64)
using PluginLoadFn = void(__stdcall*)(void*);
const char* const kPluginLoadName = "_UnityPluginLoad@4";  // decorated in the export table
#else
using PluginLoadFn = void (*)(void*);
const char* const kPluginLoadName = "UnityPluginLoad";
#endif

// The engine calls the load entry point as stdcall: the callee pops its 4-byte
// argument. Returns the bytes the call left on the stack (0 when it is right).
int stackLeftByPluginLoad(PluginLoadFn load, void* interfaces) {
#if defined(__i386__)
  int left;
  asm volatile(
      "mov %%esp, %0\n\t"
      "push %2\n\t"
      "call *%1\n\t"
      "sub %%esp, %0\n\t"
      "add %0, %%esp\n\t"
      : "=&r"(left)
      : "r"(load), "r"(interfaces)
      : "eax", "ecx", "edx", "memory", "cc");
  return left;
#else
  load(interfaces);
  return 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: fake_engine_host <zem library> <output dir>\n");
    return 2;
  }
#if defined(_WIN32)
  std::wstring wpath(argv[1], argv[1] + std::string(argv[1]).size());
  g_lib = LoadLibraryW(wpath.c_str());
#else
  g_lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
#endif
  if (!WCHECK(g_lib != nullptr)) return wincheck::summary();
  const std::string dir = std::string(argv[2]) + "/";
  const std::string key = "k3y";

  auto nativeVersion = fn<IntFn>("NativeVersion");
  auto supportFeature = fn<FeatureFn>("SupportFeature");
  auto markStartTime = fn<StrFn>("MarkStartTime");
  auto startProfiling = fn<IntFn>("StartProfiling");
  auto startMonoOn = fn<MonoFn>("StartMonoOn");
  auto stopProfiling = fn<IntFn>("StopProfiling");
  auto idMapFile = fn<Str2Fn>("IdMapFile");
  auto logIdMapFile = fn<StrFn>("LogIdMapFile");
  auto logCpuFile = fn<StrFn>("LogCpuFile");
  auto logLogFile = fn<StrFn>("LogLogFile");
  auto setFrameAtEnd = fn<IntArgFn>("SetFrameAtEnd");
  auto registerSample = fn<Str2Fn>("RegisterSample");
  auto logSample = fn<LogSampleFn>("LogSample");
  auto pushSampleId = fn<IntArgFn>("ZEMEnginePushSampleId");
  auto popSampleId = fn<IntArgFn>("ZEMEnginePopSampleId");
  auto logMarker = fn<StrFn>("ZEMEngineLogMarker");
  auto logInt = fn<StrIntFn>("ZEMEngineLogInt");
  auto logFloat = fn<StrFloatFn>("ZEMEngineLogFloat");
  auto logBool = fn<StrIntFn>("ZEMEngineLogBool");
  auto logVector = fn<VecFn>("ZEMEngineLogVector");
  auto dumpTotal = fn<StrFn>("DumpTotalCpuGcTree");
  pushSample = fn<StrFn>("ZEMEnginePushSample");
  popSample = fn<VoidFn>("ZEMEnginePopSample");
  checkStack = fn<IntFn>("ZEMEngineCheckStack");
  if (wincheck::failed()) return wincheck::summary();

  // Load, as the engine does it: by the export's (decorated on PE32) name.
  int interfaces = 0;
  auto pluginLoad = fn<PluginLoadFn>(kPluginLoadName);
  if (pluginLoad) WCHECK_EQ(stackLeftByPluginLoad(pluginLoad, &interfaces), 0);

  WCHECK_EQ(nativeVersion(), 211);
  WCHECK(supportFeature("EventId"));
  WCHECK(!supportFeature("eventid"));
  WCHECK(!supportFeature(nullptr));

  // Calls before set-up: no effect, no files.
  setFrameAtEnd(1);
  pushSample("Early");
  WCHECK_EQ(checkStack(), 0);
  logInt("Early", 1);
  idMapFile((dir + "early_ids").c_str(), nullptr);
  logCpuFile((dir + "early_cpu").c_str());
  WCHECK(!exists(dir + "early_ids"));
  WCHECK(!exists(dir + "early_cpu"));

  // Set-up and start, as the engine does it.
  markStartTime(key.c_str());
  WCHECK_EQ(startProfiling(), 1);
  WCHECK_EQ(startMonoOn(nullptr, 1, 0), 0);  // cpu mode, no runtime to bind
  idMapFile((dir + "ids.bin").c_str(), (dir + "unreg.txt").c_str());
  logIdMapFile((dir + "vids.bin").c_str());
  logCpuFile((dir + "cpu.txt").c_str());
  logLogFile((dir + "values.txt").c_str());
  fn<StrFn>("LogTimeFile")((dir + "time.txt").c_str());
  fn<StrFn>("LogGraphicsFile")((dir + "gfx.txt").c_str());
  fn<StrFn>("FrameIdMapFile")((dir + "frameids.bin").c_str());
  registerSample("Physics", "Update");

  const int frames = 3;
  for (int f = 1; f <= frames; ++f) {
    pushSample("Update");
    busy(150);
    pushSample("Render");
    busy(300);
    popSample();
    pushSampleId(7);
    busy(300);
    popSampleId(7);
    runWorker();
    WCHECK_EQ(checkStack(), 1);
    popSample();
    logSample(0, 1000000000, 1);  // far longer than the frame, so the parent's own time clamps to 0
    for (int m = 0; m < f; ++m) logMarker("Hits");
    logInt("Level", 10 * f);
    logFloat("Speed", 1.2345f);
    logBool("Alive", f % 2);
    logVector("Pos", 1.0f, -0.0019f, 2.5f);
    setFrameAtEnd(f);
  }
  setFrameAtEnd(frames);  // a repeated frame number writes nothing
  dumpTotal((dir + "dump.txt").c_str());
  WCHECK_EQ(stopProfiling(), 0);
  checkStatsFiles(dir, key);
  setFrameAtEnd(frames + 1);  // after stop: nothing is written, nothing fails
  logInt("Level", 99);
  if (argc > 3) checkRuntime(argv[1], argv[3], dir);

  // Read everything back.
  std::vector<zem::IdName> ids, vids;
  std::vector<zem::FrameBlock> cpu, values;
  std::string err;
  // Binary identifier records are as wide as a pointer: 4 bytes in the shipped PE32.
  const std::string idBytes = slurp(dir + "ids.bin");
  WCHECK(idBytes.size() > 2 && idBytes[1] == (sizeof(void*) == 4 ? 0x01 : 0x02));
  WCHECK(zem::readIdMap(idBytes, key, ids, err));
  WCHECK(zem::readIdMap(slurp(dir + "vids.bin"), key, vids, err));
  WCHECK(zem::readFrames(slurp(dir + "cpu.txt"), cpu, err));
  WCHECK(zem::readFrames(slurp(dir + "values.txt"), values, err));
  std::map<long long, std::string> name;
  for (auto& r : ids) name[static_cast<long long>(r.id)] = r.name;
  for (auto& r : vids) name[static_cast<long long>(r.id)] = r.name;
  WCHECK_EQ(name[0], std::string("[Root]"));

  WCHECK_EQ(cpu.size(), static_cast<size_t>(frames));
  for (size_t f = 0; f < cpu.size(); ++f) {
    WCHECK_EQ(cpu[f].frame, static_cast<long long>(f + 1));
    std::map<std::string, std::vector<long long>> byName;
    for (auto& l : cpu[f].lines) {
      if (!WCHECK_EQ(l.size(), 5u)) continue;
      byName[name[l[2]]] = l;
    }
    WCHECK_EQ(cpu[f].lines.size(), 5u);  // root, Update, Render, 7, Physics
    WCHECK_EQ(byName["[Root]"][0], 0);
    WCHECK_EQ(byName["Update"][0], 1);
    WCHECK_EQ(byName["Update"][4], 1);
    WCHECK_EQ(byName["Update"][3], 0);  // clamped by the logged child sample
    for (const char* child : {"Render", "7", "Physics"}) {
      WCHECK_EQ(byName[child].size(), 5u);
      if (byName[child].size() == 5) {
        WCHECK_EQ(byName[child][0], 2);
        WCHECK_EQ(byName[child][4], 1);
      }
    }
    WCHECK(byName["Render"][3] >= 300);
    WCHECK_EQ(byName["Physics"][3], 1000000);
    WCHECK(byName.count("Worker") == 0 && byName.count("WorkerInner") == 0);
  }
  // Unregistered samples are listed once each; the registered one is not.
  std::string unreg = slurp(dir + "unreg.txt");
  std::vector<zem::IdName> unregIds;
  size_t lines = 0;
  for (char c : unreg) lines += c == '\n';
  WCHECK_EQ(lines, 3u);  // Update, Render, 7

  WCHECK_EQ(values.size(), static_cast<size_t>(frames));
  for (size_t f = 0; f < values.size(); ++f) {
    std::vector<std::string> got;
    for (auto& l : values[f].lines) {
      std::string s = std::to_string(l[0]) + ":" + name[l[1]] + ":" + std::to_string(l[3]);
      got.push_back(s);
    }
    int fr = static_cast<int>(f + 1);
    std::vector<std::string> want = {"1:Marker:0", "2:Hits:" + std::to_string(fr),
                                     "1:Int:0",    "2:Level:" + std::to_string(10 * fr),
                                     "1:Float:0",  "2:Speed:1234",
                                     "1:Bool:0",   "2:Alive:" + std::to_string(fr % 2),
                                     "1:Vector:0", "2:Pos:0",
                                     "3:x:1000",   "3:y:-1",
                                     "3:z:2500"};
    if (!WCHECK(got == want))
      for (auto& s : got) std::printf("  got %s\n", s.c_str());
  }
  // One time line and one graphics block per frame; the frame names in the binary form.
  std::string timeText = slurp(dir + "time.txt");
  WCHECK_EQ(std::count(timeText.begin(), timeText.end(), '\n'), static_cast<long>(frames));
  std::vector<zem::FrameBlock> gfx;
  WCHECK(zem::readFrames(slurp(dir + "gfx.txt"), gfx, err));
  WCHECK_EQ(gfx.size(), static_cast<size_t>(frames));
  std::vector<zem::IdName> frameIds;
  WCHECK(zem::readIdMap(slurp(dir + "frameids.bin"), key, frameIds, err));
  WCHECK_EQ(frameIds.size(), 15u);
  std::vector<zem::FrameBlock> dump;
  WCHECK(zem::readFrames(slurp(dir + "dump.txt"), dump, err));
  WCHECK_EQ(dump.size(), 1u);
  return wincheck::summary();
}
