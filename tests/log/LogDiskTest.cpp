// The log file through a disk that fills up and a folder that goes away: on a
// real small tmpfs and a real folder, through the LogManager_ exports.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "LogExports.h"
#include "LogTestUtil.h"
#include "SmallDisk.h"

using logtest::readFile;
using logtest::splitCrlfLines;
namespace fs = std::filesystem;

namespace {

// "[YYYY-MM-DD HH:MM:SS] name (Level): text" and nothing torn or glued.
bool wholeLine(const std::string& line) {
  static const std::regex shape(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] \w+ \((Info|Error)\): [^\[\r\n]*)");
  return std::regex_match(line, shape);
}

class LogDiskTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (agent_) LogManager_Stop(agent_);
    LogManager_Destroy();
  }
  void open(const std::string& path, bool immediate = false) {
    agent_ = LogManager_NewLogAgent();
    LogManager_SetCatagory(agent_, "game", path.c_str(), immediate, false);
    ASSERT_EQ(LogManager_Init(agent_), 0);
  }
  void log(const char* what, int count) {
    for (int i = 0; i < count; ++i) LogManager_printf2(agent_, 4, "%s %06d padding to make the line longer", what, i);
  }
  vexolib::log::LogAgent* agent_ = nullptr;
};

// Waits, with a generous bound, until the file holds text.
bool eventuallyContains(const fs::path& file, const std::string& text) {
  for (int i = 0; i < 600; ++i) {
    if (readFile(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace

TEST_F(LogDiskTest, FullDiskThenFreedLeavesWholeLinesAReportAndEverythingAfter) {
  vekt::testsupport::SmallDisk disk(512);
  VEKT_SMALL_DISK_OR_SKIP(disk);
  const fs::path file = disk.path() / "logs" / "game.log";
  // Written at once by the logging thread: which lines meet the full disk
  // does not depend on when the flush thread runs.
  open(file.string(), true);
  log("before", 200);
  ASSERT_NE(readFile(file).find("before 000199"), std::string::npos);
  ASSERT_GT(disk.fill(), 0u);
  log("full", 20000);  // far more than can wait in memory
  disk.free();
  // The log tries a failed file again about once a second: until it has, a
  // line waits in memory (or is counted lost) like the ones before it.
  for (int i = 0; i < 600 && readFile(file).find(" lines lost: ") == std::string::npos; ++i) {
    log("probe", 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  log("after", 1000);
  LogManager_Destroy();

  const std::vector<std::string> lines = splitCrlfLines(readFile(file));
  ASSERT_FALSE(lines.empty());
  size_t lossLines = 0, firstAfter = lines.size();
  int nextAfter = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(wholeLine(lines[i])) << "line " << i << ": " << lines[i];
    if (lines[i].find(" lines lost: ") != std::string::npos) ++lossLines;
    char expect[32];
    std::snprintf(expect, sizeof expect, "after %06d ", nextAfter);
    if (lines[i].find(expect) != std::string::npos) {
      if (nextAfter == 0) firstAfter = i;
      ++nextAfter;
    }
  }
  EXPECT_EQ(nextAfter, 1000) << "lines logged after the space came back, in order";
  EXPECT_GE(lossLines, 1u);
  // The report comes before the lines logged after the gap.
  size_t report = 0;
  while (report < lines.size() && lines[report].find(" lines lost: ") == std::string::npos) ++report;
  EXPECT_LT(report, firstAfter);
}

TEST_F(LogDiskTest, FolderRemovedThenRecreatedGetsTheFileBack) {
  vekt::testsupport::TempDir root("vekt_logdir");
  ASSERT_TRUE(root.valid());
  const fs::path folder = root / "logs";
  const fs::path file = folder / "game.log";
  open(file.string());
  log("before", 10);
  ASSERT_TRUE(eventuallyContains(file, "before 000009"));
  fs::remove_all(folder);
  log("gone", 10);
  std::error_code ec;
  fs::create_directories(folder, ec);  // the log may have made it again already
  log("back", 10);
  EXPECT_TRUE(eventuallyContains(file, "back 000009"));
  LogManager_Destroy();  // before the folder goes: the log would make it again
  for (const std::string& l : splitCrlfLines(readFile(file))) EXPECT_TRUE(wholeLine(l)) << l;
}
