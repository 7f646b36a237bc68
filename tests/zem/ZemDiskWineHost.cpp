// zem.dll's files on a disk that is full for 300 frames: the C runtime's
// files under Wine on a small mounted filesystem seen through the Z: drive.
// Every file must stay readable to its end, the names written after the gap
// must resolve, and the exports that can say so must report the failed save.
// Arguments: zem.dll, the small disk's folder.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "LoadedZem.h"
#include "records/Records.h"
#include "wincheck.h"
#include "windisk.h"
#include "winpath.h"

namespace {
using loadedzem::slurp;

template <typename F>
F fn(const char* name) {
  return loadedzem::exportOf<F>(name);
}

using VoidFn = void (*)();
using IntFn = int (*)();
using StrFn = void (*)(const char*);
using Str2Fn = void (*)(const char*, const char*);
using IntArgFn = void (*)(int);
using StrIntFn = void (*)(const char*, int);
using MonoFn = int (*)(const char*, int, int);
using BoolStrFn = int32_t (*)(const char*);
using BoolIntFn = int32_t (*)(int);
using HwInitFn = void (*)(const char*, const char*, int);
using HwWriteFn = void (*)(int, int);

void busy(int us) {
  auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(us);
  while (std::chrono::steady_clock::now() < end) {
  }
}

std::map<long long, std::string> idNames(const std::string& bytes, const std::string& key) {
  std::vector<zem::IdName> ids;
  std::string err;
  if (!WCHECK(zem::readIdMap(bytes, key, ids, err))) std::printf("  %s\n", err.c_str());
  std::map<long long, std::string> names;
  for (const zem::IdName& r : ids) names[static_cast<long long>(r.id)] = r.name;
  return names;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: zem_disk_wine_host ZEM.DLL DISK\n");
    return 2;
  }
  loadedzem::library() = LoadLibraryW(winpath::fromBuild(argv[1]).c_str());
  if (!WCHECK(loadedzem::library() != nullptr)) return wincheck::summary();
  const std::wstring disk = winpath::fromBuild(argv[2]);
  const std::string dir = std::string(argv[2]) + "/";
  const std::string key = "k3y";

  auto markStartTime = fn<StrFn>("MarkStartTime");
  auto startProfiling = fn<IntFn>("StartProfiling");
  auto startMonoOn = fn<MonoFn>("StartMonoOn");
  auto stopProfiling = fn<IntFn>("StopProfiling");
  auto idMapFile = fn<Str2Fn>("IdMapFile");
  auto logIdMapFile = fn<StrFn>("LogIdMapFile");
  auto logCpuFile = fn<StrFn>("LogCpuFile");
  auto logLogFile = fn<StrFn>("LogLogFile");
  auto logTimeFile = fn<StrFn>("LogTimeFile");
  auto logFpsFile = fn<StrFn>("LogFpsFile");
  auto logGraphicsFile = fn<StrFn>("LogGraphicsFile");
  auto setLogFile = fn<BoolStrFn>("SetLogFile");
  auto logTime = fn<BoolIntFn>("LogTime");
  auto hardwareInit = fn<HwInitFn>("HardwareInit");
  auto hardwareWrite = fn<HwWriteFn>("HardwareCheckAndWrite");
  auto hardwareStop = fn<IntFn>("HardwareStop");
  auto setFrameAtEnd = fn<IntArgFn>("SetFrameAtEnd");
  auto pushSample = fn<StrFn>("ZEMEnginePushSample");
  auto popSample = fn<VoidFn>("ZEMEnginePopSample");
  auto logInt = fn<StrIntFn>("ZEMEngineLogInt");
  if (wincheck::failed()) return wincheck::summary();

  markStartTime(key.c_str());  // binary identifier files: a torn record would hide every later name
  startMonoOn(nullptr, 1, 0);  // sample mode, no runtime
  startProfiling();
  idMapFile((dir + "ids").c_str(), (dir + "unreg").c_str());
  logIdMapFile((dir + "vids").c_str());
  logCpuFile((dir + "cpu").c_str());
  logLogFile((dir + "values").c_str());
  logTimeFile((dir + "time").c_str());
  logFpsFile((dir + "fps").c_str());
  logGraphicsFile((dir + "gfx").c_str());
  WCHECK(setLogFile((dir + "events").c_str()));
  hardwareInit((dir + "hwhead").c_str(), (dir + "hwdata").c_str(), 0);
  bool logTimeFailed = false;
  for (int frame = 1; frame <= 900; ++frame) {
    if (frame == 300) WCHECK(windisk::fill(disk) > 0);
    if (frame == 600) windisk::free(disk);
    // A new name every frame, each needing its identifier record; long
    // enough (in microseconds) to be written.
    const std::string name = "sample in frame " + std::to_string(frame);
    pushSample(name.c_str());
    busy(150);
    popSample();
    logInt(("value " + std::to_string(frame)).c_str(), frame);
    if (!logTime(frame)) logTimeFailed = true;
    hardwareWrite(frame, 2);
    setFrameAtEnd(frame);
  }
  WCHECK(logTimeFailed);
  WCHECK(stopProfiling() != 0);
  WCHECK(hardwareStop() != 0);
  setLogFile("");

  for (const char* f : {"ids", "unreg", "vids", "cpu", "values", "time", "fps", "gfx", "events", "hwhead", "hwdata"}) {
    std::string out, err, stopped;
    if (!WCHECK(zem::dumpFile(slurp(dir + f), key, out, err, &stopped) && stopped.empty()))
      std::printf("  %s: %s%s\n", f, err.c_str(), stopped.c_str());
  }
  const std::map<long long, std::string> names = idNames(slurp(dir + "ids"), key);
  std::vector<zem::FrameBlock> frames;
  std::string err;
  WCHECK(zem::readFrames(slurp(dir + "cpu"), frames, err));
  std::set<long long> seen;
  size_t unnamed = 0;
  for (const zem::FrameBlock& b : frames) {
    seen.insert(b.frame);
    for (const auto& line : b.lines)
      if (line.size() != 5 || names.count(line[2]) != 1) ++unnamed;
  }
  WCHECK_EQ(unnamed, 0u);
  std::set<std::string> written;
  for (const auto& [id, name] : names) written.insert(name);
  size_t missing = 0;
  for (int frame = 610; frame <= 900; ++frame) {
    if (seen.count(frame) != 1) ++missing;
    if (written.count("sample in frame " + std::to_string(frame)) != 1) ++missing;
  }
  WCHECK_EQ(missing, 0u);
  return wincheck::summary();
}
