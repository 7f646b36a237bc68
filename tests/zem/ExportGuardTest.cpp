// Every zem export that can fail inside (here: an allocation that throws)
// returns its failure result instead of letting the exception out, and the
// session keeps working afterwards.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "FailNextAllocation.h"
#include "TempDir.h"

extern "C" {
void MarkStartTime(const char*);
int StartProfiling();
int StartMonoOn(const char*, int, int32_t);
int StartProfilerOn(const char*, int32_t, int32_t, int32_t);
void RegisterSample(const char*, const char*);
void LogSample(int, int64_t, int);
void ZEMEnginePushSample(const char*);
void ZEMEnginePopSample();
void ZEMEnginePushSampleId(int);
void ZEMEnginePopSampleId(int);
int ZEMEngineCheckStack();
void AutoProfileCPU(int32_t);
void IdMapFile(const char*, const char*);
void LogIdMapFile(const char*);
void LogCpuFile(const char*);
void DumpTotalCpuGcTree(const char*);
void ZEMEngineLogMarker(const char*);
void ZEMEngineLogInt(const char*, int);
void ZEMEngineLogFloat(const char*, float);
void ZEMEngineLogBool(const char*, int32_t);
void ZEMEngineLogVector(const char*, float, float, float);
void SetFrameAtEnd(int);
void InitTimeLog(const char*);
int32_t SetLogFile(const char*);
void AddFilter(const char*, int);
int32_t PreLoad(const char*, int32_t);
int32_t StartLuaOn(const char*, int32_t, int32_t);
void UnitySetGraphicsDevice(void*, int, int);
void Setups(int, int, int, int, int, const char*);
int NativeInit();
}

namespace {

const int kNoResult = 0x7eadbeef;  // rows of exports that return nothing

struct GuardCase {
  const char* name;
  std::function<void()> setUp;  // runs unarmed
  std::function<int()> call;    // runs with the next allocation failing
  int failure;                  // the export's failure result
};

int none(const std::function<void()>& f) {
  f();
  return kNoResult;
}

// Arguments are built before arming, so the failing allocation is the export's own.
std::vector<GuardCase> cases(const std::string& dir) {
  const std::string n(64, 'n');
  const std::string key = n + "key", reg = n + "reg", push = n + "push";
  const std::string marker = n + "m", i = n + "i", f = n + "f", b = n + "b", v = n + "v";
  const std::string vids = dir + "/vids", dump = dir + "/dump", shots = dir + "/shots_folder/";
  const std::string timeLog = dir + "/timelog_with_a_long_enough_name",
                    events = dir + "/events_with_a_long_enough_name";
  // Rows run in order against the one session of the process.
  return {
    {"StartMonoOn combined creates the main context", [] {}, [] { return StartMonoOn(nullptr, 0xffff, 0); }, 0},
        {"StartProfilerOn creates the main context", [] {}, [] { return StartProfilerOn(nullptr, 1, 1, 0); }, 0},
        {"MarkStartTime copies the key", [] {}, [key] { return none([&] { MarkStartTime(key.c_str()); }); }, kNoResult},
        {"RegisterSample interns the name", [] { StartProfiling(); },
         [reg] { return none([&] { RegisterSample(reg.c_str(), nullptr); }); }, kNoResult},
        {"LogSample builds the registered path",
         [] {
           MarkStartTime(nullptr);
           RegisterSample("R", "P");
         },
         [] { return none([] { LogSample(0, 1000, 1); }); }, kNoResult},
        {"ZEMEnginePushSample interns the name", [] { StartMonoOn(nullptr, 1, 0); },
         [push] { return none([&] { ZEMEnginePushSample(push.c_str()); }); }, kNoResult},
        {"ZEMEnginePushSampleId names the index", [] {}, [] { return none([] { ZEMEnginePushSampleId(4242); }); },
         kNoResult},
        {"ZEMEnginePopSampleId queues a frequent index",
         [] {
           AutoProfileCPU(1);
           for (int k = 0; k < 99; ++k) {
             ZEMEnginePushSampleId(9);
             ZEMEnginePopSampleId(9);
           }
           ZEMEnginePushSampleId(9);
         },
         [] { return none([] { ZEMEnginePopSampleId(9); }); }, kNoResult},
        {"ZEMEngineLogMarker adds a value", [vids] { LogIdMapFile(vids.c_str()); },
         [marker] { return none([&] { ZEMEngineLogMarker(marker.c_str()); }); }, kNoResult},
        {"ZEMEngineLogInt adds a value", [] {}, [i] { return none([&] { ZEMEngineLogInt(i.c_str(), 1); }); },
         kNoResult},
        {"ZEMEngineLogFloat adds a value", [] {}, [f] { return none([&] { ZEMEngineLogFloat(f.c_str(), 1); }); },
         kNoResult},
        {"ZEMEngineLogBool adds a value", [] {}, [b] { return none([&] { ZEMEngineLogBool(b.c_str(), 1); }); },
         kNoResult},
        {"ZEMEngineLogVector adds a value", [] {},
         [v] { return none([&] { ZEMEngineLogVector(v.c_str(), 1, 2, 3); }); }, kNoResult},
        {"DumpTotalCpuGcTree lists the contexts", [] {},
         [dump] { return none([&] { DumpTotalCpuGcTree(dump.c_str()); }); }, kNoResult},
        {"SetFrameAtEnd lists the contexts", [] {}, [] { return none([] { SetFrameAtEnd(1); }); }, kNoResult},
        {"InitTimeLog copies the path", [] {}, [timeLog] { return none([&] { InitTimeLog(timeLog.c_str()); }); },
         kNoResult},
        {"AddFilter copies the prefix", [] {}, [key] { return none([&] { AddFilter(key.c_str(), 1); }); }, kNoResult},
        {"SetLogFile copies the path", [] {}, [events] { return static_cast<int>(SetLogFile(events.c_str())); }, 0},
        {"Setups copies the directory", [] {},
         [shots] { return none([&] { Setups(64, 64, 0, 0, 2, shots.c_str()); }); }, kNoResult},
        {"NativeInit reads the settings",
         [shots] {
           static int device;
           UnitySetGraphicsDevice(&device, 2, 0);
           Setups(64, 64, 0, 0, 2, shots.c_str());
         },
         [] { return NativeInit(); }, 0},
        // Last: the session binds a runtime once, and this binding fails.
        {"PreLoad lists the functions the runtime lacks", [] {},
         [] { return static_cast<int>(PreLoad(STANDIN_LEGACY_PATH, 0)); }, 0},
#if defined(LUA53_MODULE_PATH)
        // Likewise the Lua binding, made once per process.
        {"StartLuaOn lists the functions the Lua module lacks", [] {},
         [] { return static_cast<int>(StartLuaOn(LUA53_MODULE_PATH, 1, 0)); }, 0},
#endif
  };
}

TEST(ExportGuardTest, EveryThrowingPathReturnsTheFailureResult) {
  vekt::testsupport::TempDir dir("zemguard");
  ASSERT_TRUE(dir.valid());
  for (const GuardCase& c : cases(dir.path().string())) {
    SCOPED_TRACE(c.name);
    c.setUp();
    vekt::testsupport::failNextAllocation();
    const int result = c.call();
    EXPECT_FALSE(vekt::testsupport::nextAllocationFails()) << "the call never reached an allocation";
    vekt::testsupport::failNextAllocation(false);
    EXPECT_EQ(result, c.failure);
  }
  // The session still works: a fresh scope opens and closes, a frame is written.
  const int depth = ZEMEngineCheckStack();
  ZEMEnginePushSample("after");
  EXPECT_EQ(ZEMEngineCheckStack(), depth + 1);
  ZEMEnginePopSample();
  EXPECT_EQ(ZEMEngineCheckStack(), depth);
  const std::string cpu = (dir.path() / "cpu").string();
  AutoProfileCPU(0);
  LogCpuFile(cpu.c_str());
  SetFrameAtEnd(2);
  EXPECT_NE(vekt::testsupport::readFile(cpu).find("#2\r\n"), std::string::npos);
}

}  // namespace
