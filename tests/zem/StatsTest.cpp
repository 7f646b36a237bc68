// Statistics files, event times and hardware files, byte for byte, with the
// clocks driven by the test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempDir.h"
#include "records/Records.h"
#include "session/Profiler.h"

namespace {

using vekt::testsupport::readFile;

class FakeClock : public zem::StatsClock {
 public:
  int64_t us = 0;
  int64_t ticks = 0;
  int64_t micros() override { return us; }
  int64_t clockTicks() override { return ticks; }
  void atMs(int64_t ms) { us = ms * 1000; }
};

class StatsTest : public vekt::testsupport::TempDirTest {
 protected:
  FakeClock clock_;
  zem::RecordWriter records_;
};

TEST_F(StatsTest, TimeFpsAndGraphicsFilesFollowTheFrameClock) {
  zem::Profiler p(clock_);
  p.startProfiling();
  p.logTimeFile(path("time").c_str());
  p.logFpsFile(path("fps").c_str());
  p.logGraphicsFile(path("gfx").c_str());
  struct Step {
    int frame;
    int64_t ms;
    int overhead;
  };
  // Frame 0 starts the clocks; 20 ms with 25 ms of overhead is written as 0 and
  // the overhead does not carry; frame 30 comes 500 ms after the FPS clock started.
  const Step steps[] = {{0, 0, 0}, {1, 20, 25}, {2, 30, 0}, {30, 500, 0}, {31, 12005, 0}, {60, 12500, 0}};
  for (const Step& s : steps) {
    clock_.atMs(s.ms);
    p.addOverhead(s.overhead);
    p.frameEnd(s.frame);
  }
  p.stopProfiling();
  EXPECT_EQ(readFile(path("time")), "0,0.0\r\n1,.20\r\n2,.30\r\n30,.500\r\n31,12.5\r\n60,.500\r\n");
  EXPECT_EQ(readFile(path("fps")), "#30\r\n1,100,0,60\r\n#60\r\n1,100,0,2\r\n");
  EXPECT_EQ(readFile(path("gfx")),
            "#1\r\n1,208,0,0\r\n2,209,0,0\r\n"
            "#2\r\n1,208,0,0\r\n2,209,0,10\r\n"
            "#30\r\n1,208,0,0\r\n2,209,0,470\r\n"
            "#31\r\n1,208,0,0\r\n2,209,0,11505\r\n"
            "#60\r\n1,208,0,0\r\n2,209,0,495\r\n");
}

int g_gpuUs = -1;
int fakeGpuTime() { return g_gpuUs; }

TEST_F(StatsTest, GpuTimeGoesToGetStatAndTheGraphicsGroupOnlyWhileATimerRuns) {
  zem::Profiler p(clock_);
  p.startProfiling();
  p.logGraphicsFile(path("gfx").c_str());
  p.frameEnd(0);
  EXPECT_EQ(p.getStat(3), 0);  // no source at all
  clock_.atMs(16);
  p.frameEnd(1);
  p.setGpuTimeFunction(fakeGpuTime);
  const struct {
    int gpuUs;     // what the timer reports
    int stat;      // GetStat(3)
    bool grouped;  // group 206 written
  } rows[] = {{-1, 0, false}, {0, 0, true}, {4321, 4321, true}};
  int frame = 2;
  for (const auto& r : rows) {
    g_gpuUs = r.gpuUs;
    EXPECT_EQ(p.getStat(3), r.stat) << r.gpuUs;
    clock_.atMs(16 * (frame));
    p.frameEnd(frame++);
  }
  p.stopProfiling();
  EXPECT_EQ(readFile(path("gfx")),
            "#1\r\n1,208,0,0\r\n2,209,0,16\r\n"
            "#2\r\n1,208,0,0\r\n2,209,0,16\r\n"
            "#3\r\n1,208,0,0\r\n2,209,0,16\r\n1,206,0,0\r\n2,207,0,0\r\n"
            "#4\r\n1,208,0,0\r\n2,209,0,16\r\n1,206,0,0\r\n2,207,0,4321\r\n");
  g_gpuUs = -1;
}

TEST_F(StatsTest, FpsRightAfterTheClockStartsDoesNotDivideByZero) {
  zem::Profiler p(clock_);
  p.startProfiling();
  p.logFpsFile(path("fps").c_str());
  p.frameEnd(0);
  p.frameEnd(30);  // no time has passed
  p.stopProfiling();
  EXPECT_EQ(readFile(path("fps")), "#30\r\n1,100,0,30000000\r\n");
}

TEST_F(StatsTest, FrameTimeStaysRightWhenA32BitMicrosecondClockWouldWrap) {
  zem::Profiler p(clock_);
  p.startProfiling();
  p.logGraphicsFile(path("gfx").c_str());
  p.logTimeFile(path("time").c_str());
  p.frameEnd(0);
  clock_.us = 4294967296LL - 10000;  // 10 ms before 2^32 microseconds
  p.frameEnd(1);
  clock_.us = 4294967296LL + 10000;
  p.frameEnd(2);
  p.stopProfiling();
  EXPECT_EQ(readFile(path("gfx")), "#1\r\n1,208,0,0\r\n2,209,0,4294957\r\n#2\r\n1,208,0,0\r\n2,209,0,20\r\n");
  EXPECT_EQ(readFile(path("time")), "0,0.0\r\n1,4294.957\r\n2,.977\r\n");
}

TEST_F(StatsTest, FilesNeedAStartAndStopClosesThem) {
  zem::Profiler p(clock_);
  p.logTimeFile(path("early").c_str());
  p.frameIdMapFile(path("early_ids").c_str());
  p.logMemoryFile(path("early_mem").c_str());
  p.startProfiling();
  p.logMemoryFile(path("mem").c_str());  // needs the managed runtime started
  EXPECT_EQ(listDir(), std::vector<std::string>{});
  p.logTimeFile(path("time").c_str());
  p.frameEnd(0);
  p.stopProfiling();
  p.frameEnd(1);
  EXPECT_EQ(readFile(path("time")), "0,0.0\r\n");
}

TEST_F(StatsTest, FrameIdentifierFileInTextAndBinaryForm) {
  zem::Profiler p(clock_);
  p.startProfiling();
  p.frameIdMapFile(path("ids.txt").c_str());
  EXPECT_EQ(readFile(path("ids.txt")),
            "0,Root\r\n100,FPS\r\n101,MonoHeap\r\n102,monoHeap.used\r\n103,monoHeap.unused\r\n"
            "200,DrawCall\r\n201,Opaque\r\n202,Transparent\r\n203,Triangles\r\n204,Opaque\r\n"
            "205,Transparent\r\n206,GPUTime\r\n207,gpu.time\r\n208,FrameTime\r\n209,frametime\r\n");
  p.markStartTime("key");
  p.frameIdMapFile(path("ids.bin").c_str());
  std::vector<zem::IdName> ids;
  std::string err;
  ASSERT_TRUE(zem::readIdMap(readFile(path("ids.bin")), "key", ids, err)) << err;
  ASSERT_EQ(ids.size(), 15u);
  EXPECT_EQ(ids[6].id, 201u);
  EXPECT_EQ(ids[6].name, "drawcall.opaque");
  EXPECT_EQ(ids[10].name, "triangles.transparent");
  EXPECT_EQ(readFile(path("ids.bin")).find("drawcall"), std::string::npos);  // scrambled
}

int64_t usedHeap() { return 3 * 1024 * 1024 + 100; }
int64_t wholeHeap() { return 5 * 1024 * 1024; }

TEST_F(StatsTest, MemoryFileEveryThirtyFramesAndGetStat) {
  zem::FrameStats stats(clock_, records_);
  stats.setHeapFunctions(usedHeap, wholeHeap);
  stats.openMemoryFile(path("mem").c_str());
  EXPECT_EQ(stats.getStat(2), 0);  // before the first sample
  for (int f = 0; f <= 31; ++f) stats.frameEnd(f);
  EXPECT_EQ(stats.getStat(1), 5 * 1024 * 1024);
  EXPECT_EQ(stats.getStat(2), 3 * 1024 * 1024 + 100);
  EXPECT_EQ(stats.getStat(0), 0);
  EXPECT_EQ(stats.getStat(3), 0);
  EXPECT_EQ(stats.getStat(4), -1);
  EXPECT_EQ(stats.getStat(-1), -1);
  const std::string block = "1,101,0,0\r\n2,102,0,3072\r\n2,103,0,2047\r\n";
  EXPECT_EQ(readFile(path("mem")), "#0\r\n" + block + "#30\r\n" + block);
  // A runtime without a heap-size function: nothing counts as unused.
  stats.setHeapFunctions(usedHeap, nullptr);
  stats.frameEnd(60);
  stats.setHeapFunctions(nullptr, nullptr);
  stats.frameEnd(90);
  int rc = 0;
  stats.closeMemoryFile(rc);
  EXPECT_NE(readFile(path("mem"))
                .find("#60\r\n1,101,0,0\r\n2,102,0,3072\r\n2,103,0,0\r\n#90\r\n"
                      "1,101,0,0\r\n2,102,0,0\r\n2,103,0,0\r\n"),
            std::string::npos);
}

TEST_F(StatsTest, EventTimesAndTheTimeLog) {
  zem::EventTimes t(clock_);
  clock_.ticks = 1000;
  t.initTimeLog(path("timelog").c_str());
  t.initTimeLog(path("other").c_str());  // only the first call counts
  EXPECT_FALSE(t.logTime(1));            // no event log yet
  clock_.ticks = 1250;
  EXPECT_TRUE(t.setLogFile(path("ev1").c_str()));
  EXPECT_EQ(readFile(path("timelog")), "250/1000");
  clock_.ticks = 1300;
  EXPECT_TRUE(t.logTime(7));
  EXPECT_FALSE(t.setLogFile(path("ev1").c_str()));  // same path: nothing happens
  EXPECT_EQ(readFile(path("timelog")), "250/1000");
  EXPECT_EQ(t.setStartTime(100), 1200);
  EXPECT_TRUE(t.logTime(8));
  EXPECT_TRUE(t.setLogFile(""));  // closes the event log, rewrites the time log
  EXPECT_EQ(readFile(path("ev1")), "7,300\n8,100\n");
  EXPECT_EQ(readFile(path("timelog")), "100/1000");
  EXPECT_FALSE(t.logTime(9));
  EXPECT_FALSE(t.setLogFile(nullptr));
  EXPECT_FALSE(t.setLogFile(path("no/such/folder/ev").c_str()));
  EXPECT_FALSE(t.logTime(9));
  EXPECT_EQ(listDir(), (std::vector<std::string>{"ev1", "timelog"}));
}

TEST_F(StatsTest, PathsLongerThanTheLimitAreRefusedNotCut) {
  zem::EventTimes t(clock_);
  const std::string prefix = path("");
  ASSERT_LT(prefix.size(), 150u);
  const std::string fits = prefix + std::string(zem::EventTimes::kMaxPath - prefix.size(), 'a');
  const std::string tooLong = fits + "b";
  EXPECT_FALSE(t.setLogFile(tooLong.c_str()));
  t.initTimeLog(tooLong.c_str());
  EXPECT_EQ(listDir(), std::vector<std::string>{});
  EXPECT_TRUE(t.setLogFile(fits.c_str()));
  EXPECT_TRUE(t.logTime(1));
  EXPECT_TRUE(t.setLogFile(""));
  EXPECT_EQ(listDir().size(), 1u);
}

uint64_t fakeWorkingSet() { return 2048 * 1024 + 512; }

TEST_F(StatsTest, HardwareHeaderAndSamples) {
  zem::Hardware hw(records_, fakeWorkingSet);
  hw.init(path("hw_header").c_str(), path("hw1").c_str(), 1000);
  EXPECT_EQ(readFile(path("hw_header")),
            "0,Root,Root,,,,,,,,,\n1,Network,Network,,,,,,,,,\n2,Memory,Memory,,,,,,,,,\n"
            "3,Battery,Battery,,,,,,,,,\n4,Temperature,Temperature,,,,,,,,,\n"
            "5,network.in,network.in,,,,,,,,,\n6,network.out,network.out,,,,,,,,,\n"
            "7,windows.memory.workingset,windows.memory.workingset,,,,,,,,,\n"
            "8,batterylevel,batterylevel,,,,,,,,,\n9,temperature,temperature,,,,,,,,,\n");
  hw.checkAndWrite(1, 0);  // nothing
  hw.checkAndWrite(2, 1);  // the frame line only
  hw.checkAndWrite(3, 2);
  // A second init closes (and so completes) the first data file.
  hw.init(nullptr, path("hw2").c_str(), 0);
  EXPECT_EQ(readFile(path("hw1")), "#2\n#3\n1,2,0\n2,7,0,2048.50\n");
  hw.checkAndWrite(4, 3);
  EXPECT_EQ(hw.stop(), 0);
  EXPECT_EQ(hw.stop(), 0);
  EXPECT_EQ(readFile(path("hw2")), "#4\n1,2,0\n2,7,0,2048.50\n");
  hw.checkAndWrite(5, 2);  // after stop: nothing, no failure
  hw.init(nullptr, nullptr, 1);
}

TEST(WorkingSetTest, ThisProcessHasOne) { EXPECT_GT(zem::processWorkingSet(), 1024u * 1024u); }

}  // namespace

namespace {

// zemdump's reader on every statistics file kind, and the trace export.
struct DumpCase {
  const char* name;
  std::string input;
  std::string expected;  // empty: the input must be refused
};

TEST(StatsDumpTest, EveryFileKindReadsBackOrIsRefused) {
  const DumpCase cases[] = {
      {"time file with the same-second form", "0,0.0\r\n1,.20\r\n31,12.5\r\n",
       "frame 0 at 0.000 s\nframe 1 at 0.020 s\nframe 31 at 12.005 s\n"},
      {"fps", "#30\r\n1,100,0,60\r\n", "frame 30\nkind 1 id 100 value 60\n"},
      {"graphics", "#1\r\n1,208,0,0\r\n2,209,0,16\r\n", "frame 1\nkind 1 id 208 value 0\nkind 2 id 209 value 16\n"},
      {"memory", "#0\r\n1,101,0,0\r\n2,102,0,3072\r\n2,103,0,2047\r\n",
       "frame 0\nkind 1 id 101 value 0\nkind 2 id 102 value 3072\nkind 2 id 103 value 2047\n"},
      {"hardware data", "#4\n1,2,0\n2,7,0,2048.50\n", "frame 4\nkind 1 id 2\nkind 2 id 7 value 2048.50\n"},
      {"hardware header", "7,windows.memory.workingset,windows.memory.workingset,,,,,,,,,\n",
       "7 = windows.memory.workingset,windows.memory.workingset,,,,,,,,,\n"},
      {"frame identifiers", "0,Root\r\n201,Opaque\r\n", "0 = Root\n201 = Opaque\n"},
      {"time log", "250/1000", "elapsed 250 ticks of 1000 per second\n"},
      {"event log", "7,300\n", "7 = 300\n"},
      {"method names with dots are names, not times", "12,System.GC:Collect ()\r\n", "12 = System.GC:Collect ()\n"},
      {"object map", "#3\r\n140001,Bullet,48,2\r\n140002,List`1,32,1\r\n",
       "frame 3\nleaf 140001 class Bullet bytes 48 count 2\nleaf 140002 class List`1 bytes 32 count 1\n"},
      {"unregistered samples", "140001\r\n140002\r\n", "unregistered sample 140001\nunregistered sample 140002\n"},
      {"object map line short of its count", "#3\r\n140001,Bullet,48\r\n", ""},
      {"milliseconds before any seconds", "1,.20\r\n", ""},
      {"time line gone bad", "0,0.0\r\n1,x.5\r\n", ""},
      {"fraction outside a value", "#1\n1.5,2,0\n", ""},
      {"two fractions", "#1\n2,7,0,1.2.3\n", ""},
  };
  for (const DumpCase& c : cases) {
    std::string out, err;
    const bool ok = zem::dumpFile(c.input, "", out, err);
    EXPECT_EQ(ok, !c.expected.empty()) << c.name << ": " << err;
    if (ok) {
      EXPECT_EQ(out, c.expected) << c.name;
    }
  }
}

// A writer stopped part-way (a full disk, a killed process): the file is read
// up to the cut and the reader says where it stopped.
TEST(StatsDumpTest, FileEndingInACutRecordOrLineIsReadUpToTheCut) {
  const std::string record4 = std::string("\x07\x00\x00\x00\x04\x00Root", 10);
  const struct {
    const char* name;
    std::string input;
    std::string expected;
    size_t stoppedAt;  // npos: the file is whole
  } cases[] = {
      {"tree file cut inside a line", "#1\r\n0,9,0,0,0\r\n1,10,5,1", "frame 1\nkey 0 total 0 calls 0 (node 9)\n", 15},
      {"tree file cut after a frame line's hash", "#1\r\n0,9,0,0,0\r\n#", "frame 1\nkey 0 total 0 calls 0 (node 9)\n", 15},
      {"time file cut", "0,0.0\r\n1,.2", "frame 0 at 0.000 s\n", 7},
      {"text identifiers cut", "0,Root\r\n5,Upd", "0 = Root\n", 8},
      {"binary identifiers cut in a header", "B\x01" + record4 + std::string("\x08\x00", 2), "7 = Root\n", 12},
      {"binary identifiers cut in a name", "B\x01" + record4 + std::string("\x08\x00\x00\x00\x05\x00Up", 8),
       "7 = Root\n", 12},
      {"whole binary identifiers", "B\x01" + record4, "7 = Root\n", std::string::npos},
      {"whole tree file", "#1\r\n0,9,0,0,0\r\n", "frame 1\nkey 0 total 0 calls 0 (node 9)\n", std::string::npos},
  };
  for (const auto& c : cases) {
    std::string out, err, stopped;
    ASSERT_TRUE(zem::dumpFile(c.input, "", out, err, &stopped)) << c.name << ": " << err;
    EXPECT_EQ(out, c.expected) << c.name;
    if (c.stoppedAt == std::string::npos) {
      EXPECT_EQ(stopped, "") << c.name;
    } else {
      EXPECT_NE(stopped.find("stopped at byte " + std::to_string(c.stoppedAt) + ":"), std::string::npos)
          << c.name << ": " << stopped;
    }
  }
  // A bad line before the end is still refused: only a cut end is forgiven.
  std::string out, err, stopped;
  EXPECT_FALSE(zem::dumpFile("#1\r\n1,10,5,1#2\r\n0,9,0,0,0\r\n", "", out, err, &stopped));
}

TEST(StatsDumpTest, TraceExportLaysFramesAndNodesOutByInclusiveTime) {
  const std::string ids = "0,[Root]\r\n5,Update\r\n6,Render \"main\"\r\n";
  // Self times: root 0, Update 100, Render 50; frame 2: Update 10.
  const std::string tree = "#1\r\n0,9,0,0,0\r\n1,10,5,100,2\r\n2,11,6,50,1\r\n#2\r\n0,9,0,0,0\r\n1,10,5,10,1\r\n";
  std::string json, err;
  ASSERT_TRUE(zem::exportTrace(ids, tree, "", json, err)) << err;
  EXPECT_EQ(
      json,
      "{\"displayTimeUnit\":\"ms\",\"traceEvents\":["
      "{\"name\":\"frame "
      "1\",\"cat\":\"zem\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":0,\"dur\":150,\"args\":{\"calls\":0}},"
      "{\"name\":\"Update\",\"cat\":\"zem\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":0,\"dur\":150,\"args\":{\"calls\":"
      "2}},"
      "{\"name\":\"Render "
      "\\\"main\\\"\",\"cat\":\"zem\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":100,\"dur\":50,\"args\":{\"calls\":1}},"
      "{\"name\":\"frame "
      "2\",\"cat\":\"zem\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":150,\"dur\":10,\"args\":{\"calls\":0}},"
      "{\"name\":\"Update\",\"cat\":\"zem\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":150,\"dur\":10,\"args\":{\"calls\":"
      "1}}"
      "]}\n");
  for (const char* bad : {"#1\r\n1,10,5,100,2\r\n", "#1\r\n0,9,0,0,0\r\n2,10,5,1,1\r\n",
                          "#1\r\n0,9,0,0,0\r\n1,10,5,1\r\n", "#1\r\n0,9,0,0,0\r\n0,9,0,0,0\r\n"})
    EXPECT_FALSE(zem::exportTrace(ids, bad, "", json, err)) << bad;
}

}  // namespace
