// The profiler's files through a disk that is full for 300 frames, on a real
// small tmpfs: every file stays readable to its end, names written after the
// gap resolve, and the calls that can say so report the failed save.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "SmallDisk.h"
#include "records/Records.h"
#include "session/Profiler.h"

namespace {

using vekt::testsupport::readFile;

std::map<long long, std::string> idNames(const std::string& bytes) {
  std::vector<zem::IdName> ids;
  std::string err;
  EXPECT_TRUE(zem::readIdMap(bytes, "key", ids, err)) << err;
  std::map<long long, std::string> names;
  for (const zem::IdName& r : ids) names[static_cast<long long>(r.id)] = r.name;
  return names;
}

}  // namespace

TEST(ProfilerDiskTest, FullFor300FramesLeavesWholeFilesAndReportsTheLoss) {
  vekt::testsupport::SmallDisk disk(1024);
  VEKT_SMALL_DISK_OR_SKIP(disk);
  auto at = [&](const char* name) { return (disk.path() / name).string(); };
  bool logTimeFailed = false;
  int stopResult = 0, hardwareResult = 0;
  {
    zem::Profiler p;
    p.markStartTime("key");  // binary identifier files: a torn record would hide every later name
    p.startProfiling();
    p.startMonoOn(nullptr, 1, false);
    p.idMapFile(at("ids").c_str(), at("unreg").c_str());
    p.logIdMapFile(at("vids").c_str());
    p.logCpuFile(at("cpu").c_str());
    p.logLogFile(at("values").c_str());
    p.logTimeFile(at("time").c_str());
    p.logFpsFile(at("fps").c_str());
    p.logGraphicsFile(at("gfx").c_str());
    ASSERT_TRUE(p.eventTimes().setLogFile(at("events").c_str()));
    p.hardware().init(at("hwhead").c_str(), at("hwdata").c_str(), 0);
    for (int frame = 1; frame <= 900; ++frame) {
      if (frame == 300) {
        ASSERT_GT(disk.fill(), 0u);
      }
      if (frame == 600) disk.free();
      // A new name every frame: each needs its identifier record.
      const std::string name = "sample in frame " + std::to_string(frame);
      p.pushSample(name.c_str());
      p.popSample();
      // Above the significance threshold, so the node is written.
      auto& kids = p.mainContext()->cpuTree.root.children;
      auto node = kids.find(p.intern(name.c_str()));
      ASSERT_NE(node, kids.end());
      static_cast<zem::MonoMethodCallNode*>(node->second)->total += 1000;
      p.logInt(("value " + std::to_string(frame)).c_str(), frame);
      if (!p.eventTimes().logTime(frame)) logTimeFailed = true;
      p.hardware().checkAndWrite(frame, 2);
      p.frameEnd(frame);
    }
    stopResult = p.stopProfiling();
    hardwareResult = p.hardware().stop();
  }
  EXPECT_TRUE(logTimeFailed);
  EXPECT_NE(stopResult, 0);
  EXPECT_NE(hardwareResult, 0);

  for (const char* f : {"ids", "unreg", "vids", "cpu", "values", "time", "fps", "gfx", "events", "hwhead", "hwdata"}) {
    std::string out, err, stopped;
    EXPECT_TRUE(zem::dumpFile(readFile(disk.path() / f), "key", out, err, &stopped)) << f << ": " << err;
    EXPECT_EQ(stopped, "") << f;
  }

  // Every key of every frame that reached the file has its name, those after the gap included.
  const std::map<long long, std::string> names = idNames(readFile(disk.path() / "ids"));
  std::vector<zem::FrameBlock> frames;
  std::string err;
  ASSERT_TRUE(zem::readFrames(readFile(disk.path() / "cpu"), frames, err)) << err;
  std::set<long long> seen;
  for (const zem::FrameBlock& b : frames) {
    seen.insert(b.frame);
    for (const auto& line : b.lines) {
      ASSERT_EQ(line.size(), 5u) << "frame " << b.frame;
      EXPECT_EQ(names.count(line[2]), 1u) << "frame " << b.frame << " key " << line[2];
    }
  }
  for (int frame = 610; frame <= 900; ++frame) EXPECT_EQ(seen.count(frame), 1u) << "frame " << frame;
  std::set<std::string> sampleNames;
  for (const auto& [id, name] : names) sampleNames.insert(name);
  for (int frame = 610; frame <= 900; ++frame) {
    EXPECT_EQ(sampleNames.count("sample in frame " + std::to_string(frame)), 1u) << frame;
  }

  const std::map<long long, std::string> valueNames = idNames(readFile(disk.path() / "vids"));
  ASSERT_TRUE(zem::readFrames(readFile(disk.path() / "values"), frames, err)) << err;
  for (const zem::FrameBlock& b : frames)
    for (const auto& line : b.lines) {
      if (line[0] == 2) {
        EXPECT_EQ(valueNames.count(line[1]), 1u) << "frame " << b.frame << " value " << line[1];
      }
    }
}
