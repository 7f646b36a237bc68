// The LogManager_ exports as the game calls them, including wrong orders and bad input.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "LogExports.h"
#include "LogManager.h"
#include "LogTestUtil.h"

using namespace vexolib::log;
using logtest::readFile;
using logtest::splitCrlfLines;
namespace fs = std::filesystem;

namespace {
// Text of a line after its "[timestamp] " part.
std::string body(const std::string& line) { return line.size() > 22 ? line.substr(22) : "<short>" + line; }

std::vector<std::string> bodies(const std::string& file) {
  std::vector<std::string> out;
  for (const std::string& l : splitCrlfLines(readFile(file))) out.push_back(body(l));
  return out;
}

class LogManagerTest : public logtest::TempDirTest {
 protected:
  void TearDown() override {
    for (LogAgent* a : agents_) LogManager_Stop(a);
    LogManager_Destroy();
    TempDirTest::TearDown();
  }
  LogAgent* agent(const char* name = nullptr, const char* path = nullptr, bool flush = false, bool keep = true) {
    LogAgent* a = LogManager_NewLogAgent();
    agents_.push_back(a);
    if (name) LogManager_SetCatagory(a, name, path ? path : "", flush, keep);
    return a;
  }
  std::vector<LogAgent*> agents_;
};
}  // namespace

TEST_F(LogManagerTest, GameOrderWritesLinesToTheFile) {
  LogAgent* a = agent("game", "logs/game.txt");
  EXPECT_EQ(LogManager_Init(a), 0);
  LogManager_printf2(a, 4, "started %d %s", 7, "ok");
  LogManager_print2(a, 3, "plain %d text");
  LogManager_buff_printf(a, "part %d", 1);
  LogManager_buff_printf(a, ", part %d", 2);
  LogManager_commit_buff(a, 5);
  LogManager_Destroy();  // writes out everything pending
  std::vector<std::string> want = {"game (Info): started 7 ok", "game (Warning): plain %d text",
                                   "game (Debug): part 1, part 2"};
  EXPECT_EQ(bodies("logs/game.txt"), want);
  EXPECT_EQ(readFile("logs/game.txt").substr(0, 1), "[");
}

TEST_F(LogManagerTest, CategoryRegisteredByWhicheverCallComesSecond) {
  LogAgent* first = agent();
  EXPECT_EQ(LogManager_Init(first), 0);  // no name yet: 0, category untouched
  LogManager_SetCatagory(first, "a", "a.log", false, true);
  LogAgent* second = agent("b", "b.log");
  EXPECT_EQ(LogManager_Init(second), 1);
  LogManager_print2(first, 4, "to a");
  LogManager_print2(second, 4, "to b");
  LogManager_Destroy();
  EXPECT_EQ(bodies("a.log"), std::vector<std::string>{"a (Info): to a"});
  EXPECT_EQ(bodies("b.log"), std::vector<std::string>{"b (Info): to b"});
}

TEST_F(LogManagerTest, OneModuleAndItsHandle) {
  intptr_t handle = LogManager_Init(nullptr);
  EXPECT_NE(handle, 0);
  EXPECT_EQ(LogManager_Init(nullptr), handle);  // no second module
  LogAgent* a = agent("h", "h.log");
  LogManager_SetLogModule(a, reinterpret_cast<LogModule*>(handle));
  LogManager_print2(a, 4, "via handle");
  // A handle that is not the live module is refused.
  int notAModule = 0;
  LogAgent* b = agent("other", "other.log");
  LogManager_SetLogModule(b, reinterpret_cast<LogModule*>(&notAModule));
  LogManager_print2(b, 4, "dropped");
  LogManager_Destroy();
  EXPECT_EQ(bodies("h.log"), std::vector<std::string>{"h (Info): via handle"});
  EXPECT_FALSE(fs::exists("other.log"));
}

TEST_F(LogManagerTest, SameNameKeepsTheFirstOutput) {
  LogAgent* a = agent("dup", "first.log");
  ASSERT_EQ(LogManager_Init(a), 0);
  LogAgent* b = agent("dup", "second.log", true);
  EXPECT_EQ(LogManager_Init(b), 0);
  EXPECT_FALSE(fs::exists("second.log"));
  LogModule* m = currentModule();
  EXPECT_EQ(m->outputCount(), 1);
  EXPECT_FALSE(m->categoryOutput(0)->immediate);  // flags of the second call are ignored
}

TEST_F(LogManagerTest, SamePathSharesOneOutput) {
  LogAgent* a = agent("one", "shared.log");
  LogAgent* b = agent("two", "shared.log", true);
  EXPECT_EQ(LogManager_Init(a), 0);
  EXPECT_EQ(LogManager_Init(b), 1);
  LogModule* m = currentModule();
  EXPECT_EQ(m->outputCount(), 1);
  EXPECT_EQ(m->categoryOutput(0), m->categoryOutput(1));
  EXPECT_FALSE(m->categoryOutput(1)->immediate);
  LogManager_print2(a, 4, "x");
  LogManager_print2(b, 4, "y");
  LogManager_Destroy();
  EXPECT_EQ(bodies("shared.log"), (std::vector<std::string>{"one (Info): x", "two (Info): y"}));
}

TEST_F(LogManagerTest, TargetsOneAndZeroAndNoPath) {
  LogAgent* def = agent("def", "");
  LogAgent* out = agent("out", "1");
  LogAgent* nul = agent("nul", "0");
  EXPECT_EQ(LogManager_Init(def), 0);
  EXPECT_EQ(LogManager_Init(out), 1);
  EXPECT_EQ(LogManager_Init(nul), 2);
  LogModule* m = currentModule();
  EXPECT_EQ(m->categoryOutput(0)->target(), u"1");
  EXPECT_EQ(m->categoryOutput(0), m->categoryOutput(1));
  EXPECT_EQ(m->categoryOutput(2)->target(), u"0");
  testing::internal::CaptureStdout();
  LogManager_print2(def, 4, "on stdout");
  LogManager_print2(nul, 4, "nowhere");
  LogManager_Destroy();
  std::string captured = testing::internal::GetCapturedStdout();
  EXPECT_NE(captured.find("] def (Info): on stdout\n"), std::string::npos) << captured;
  EXPECT_EQ(captured.find("nowhere"), std::string::npos);
  EXPECT_TRUE(listDir().empty());
}

TEST_F(LogManagerTest, LevelAndCategoryFilters) {
  LogAgent* a = agent("f", "f.log");
  ASSERT_EQ(LogManager_Init(a), 0);
  LogManager_printf2(a, 6, "level six");
  LogManager_printf2(a, -1, "level minus one");
  LogManager_print2(a, 5, "level five");
  const int32_t badCategories[] = {32, -1, 1, 1000, INT32_MIN};
  for (int32_t c : badCategories) {
    LogManager_printf3(a, 4, c, "bad category %d", c);
    LogManager_print3(a, 4, c, "bad category");
  }
  LogManager_printf3(a, 4, 0, "category %d", 0);
  LogManager_Destroy();
  EXPECT_EQ(bodies("f.log"), (std::vector<std::string>{"f (Unknown): level minus one", "f (Debug): level five",
                                                       "f (Info): category 0"}));
}

TEST_F(LogManagerTest, FullTableGivesMinusOneAndDropsOwnLines) {
  for (int i = 0; i < 32; ++i) {
    std::string name = "c" + std::to_string(i);
    EXPECT_EQ(LogManager_Init(agent(name.c_str(), "0")), i);
  }
  LogAgent* extra = agent("extra", "extra.log");
  EXPECT_EQ(LogManager_Init(extra), -1);
  LogManager_print2(extra, 4, "dropped");
  LogManager_printf2(extra, 4, "dropped %d", 1);
  EXPECT_EQ(LogManager_Init(agent("c5", "0")), 5);  // existing names are still found
  EXPECT_FALSE(fs::exists("extra.log"));
}

TEST_F(LogManagerTest, CommitBuffLimitIs3840Bytes) {
  LogAgent* a = agent("b", "b.log");
  ASSERT_EQ(LogManager_Init(a), 0);
  std::string exact(3840, 'e');
  LogManager_buff_printf(a, "%s", exact.c_str());
  LogManager_commit_buff(a, 4);
  int32_t length = -5;
  const char* text = LogManager_get_log_buff(a, &length);
  EXPECT_EQ(length, 0);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  LogManager_buff_printf(a, "%s", exact.c_str());
  LogManager_buff_printf(a, "x");
  LogManager_commit_buff(a, 4);
  EXPECT_STREQ(LogManager_get_log_buff(a, &length), "");
  EXPECT_EQ(length, 0);
  LogManager_Destroy();
  EXPECT_EQ(bodies("b.log"),
            (std::vector<std::string>{"b (Info): " + exact,
                                      "b (Error): LogAgent::commit_buff ERROR cur_buff_length:3841 too large."}));
}

TEST_F(LogManagerTest, AgentBufferGrowsAndClears) {
  LogAgent* a = agent();
  int32_t length = -5;
  EXPECT_EQ(LogManager_get_log_buff(a, &length), nullptr);  // fresh agent
  EXPECT_EQ(length, 0);
  length = -5;
  EXPECT_STREQ(LogManager_get_log_buff(nullptr, &length), "null");
  EXPECT_EQ(length, -5);
  std::string expect;
  for (int i = 0; i < 300; ++i) {
    LogManager_buff_printf(a, "%03d,", i);
    expect += (i < 10 ? "00" : i < 100 ? "0" : "") + std::to_string(i) + ",";
  }
  EXPECT_EQ(a->capacity, 8192);  // grows whenever under 4096 bytes are free
  EXPECT_EQ(std::string(LogManager_get_log_buff(a, &length)), expect);
  EXPECT_EQ(length, 1200);
  // One append longer than the 4096-byte step is kept whole.
  std::string huge(10000, 'h');
  LogManager_buff_printf(a, "%s", huge.c_str());
  EXPECT_EQ(std::string(LogManager_get_log_buff(a, &length)), expect + huge);
  EXPECT_EQ(length, 11200);
  EXPECT_EQ(a->capacity % 4096, 0);
  LogManager_clear_buff(a);
  EXPECT_STREQ(LogManager_get_log_buff(a, &length), "");
  EXPECT_EQ(length, 0);
  LogManager_commit_buff(a, 4);  // no module: nothing written, nothing breaks
}

TEST_F(LogManagerTest, ImmediateCategoryIsOnDiskAfterTheCall) {
  LogAgent* a = agent("now", "now.log", true);
  ASSERT_EQ(LogManager_Init(a), 0);
  LogManager_SetCatagory(a, "now", "now.log", true, true);  // re-registering: same index
  EXPECT_EQ(a->category, 0);
  LogManager_print2(a, 4, "at once");
  EXPECT_EQ(bodies("now.log"), std::vector<std::string>{"now (Info): at once"});
}

TEST_F(LogManagerTest, BoolArgumentsUseTheLowByteOnly) {
  LogAgent* a = LogManager_NewLogAgent();
  agents_.push_back(a);
  LogManager_SetCatagory(a, "lo", "lo.log", 0x100, 0x100);
  ASSERT_EQ(LogManager_Init(a), 0);
  EXPECT_FALSE(currentModule()->categoryOutput(0)->immediate);
  LogAgent* b = LogManager_NewLogAgent();
  agents_.push_back(b);
  LogManager_SetCatagory(b, "hi", "hi.log", 0x1FF01, 1);
  ASSERT_EQ(LogManager_Init(b), 1);
  EXPECT_TRUE(currentModule()->categoryOutput(1)->immediate);
}

TEST_F(LogManagerTest, SetCatagoryAfterInitUsesItsKeepOldFileFlag) {
  logtest::writeFile("k.log", "old");
  LogAgent* a = agent();
  ASSERT_EQ(LogManager_Init(a), 0);
  LogManager_SetCatagory(a, "k", "k.log", false, false);
  EXPECT_EQ(a->category, 0);
  EXPECT_EQ(listDir(), std::vector<std::string>{"k.log"});  // deleted, not kept
}

TEST_F(LogManagerTest, Utf8PathIsWidened) {
  LogAgent* a = agent("u", "\xE6\x97\xA5\xE5\xBF\x97/g.txt");
  ASSERT_EQ(LogManager_Init(a), 0);
  LogManager_print2(a, 4, "wide");
  LogManager_Destroy();
  EXPECT_EQ(bodies("\xE6\x97\xA5\xE5\xBF\x97/g.txt"), std::vector<std::string>{"u (Info): wide"});
}

TEST_F(LogManagerTest, NullArgumentsDoNothing) {
  LogAgent* a = agent("n", "n.log");
  ASSERT_EQ(LogManager_Init(a), 0);
  LogManager_SetCatagory(nullptr, "x", "x.log", false, true);
  LogManager_SetCatagory(a, nullptr, "x.log", false, true);
  LogManager_SetCatagory(a, "x", nullptr, false, true);
  LogManager_SetLogModule(nullptr, currentModule());
  LogManager_SetLogModule(a, nullptr);
  LogManager_printf2(nullptr, 4, "x");
  LogManager_printf2(a, 4, nullptr);
  LogManager_printf3(a, 4, 0, nullptr);
  LogManager_print2(a, 4, nullptr);
  LogManager_print3(nullptr, 4, 0, "x");
  LogManager_buff_printf(a, nullptr);
  LogManager_buff_printf(nullptr, "x");
  LogManager_commit_buff(nullptr, 4);
  LogManager_clear_buff(nullptr);
  LogManager_Stop(nullptr);
  EXPECT_EQ(a->name, "n");
  LogManager_Destroy();
  EXPECT_EQ(readFile("n.log"), "");
  EXPECT_EQ(listDir(), std::vector<std::string>{"n.log"});
}

TEST_F(LogManagerTest, OverlongPathIsRefused) {
  LogAgent* a = agent("keep", "keep.log");
  std::string longPath(260, 'p');
  LogManager_SetCatagory(a, "long", longPath.c_str(), false, true);
  EXPECT_EQ(a->name, "keep");  // unchanged
  std::string fits(259, 'q');
  LogManager_SetCatagory(a, "fits", fits.c_str(), false, true);
  EXPECT_EQ(a->name, "fits");
  EXPECT_EQ(a->path.size(), 259u);
}

TEST_F(LogManagerTest, CallsBeforeInitAndAfterDestroyAreHarmless) {
  LogAgent* a = agent("late", "late.log");
  LogManager_print2(a, 4, "before init");
  LogManager_printf3(a, 4, 0, "before init %d", 1);
  LogManager_buff_printf(a, "buffered");
  LogManager_commit_buff(a, 4);
  LogManager_Destroy();  // no module yet: nothing happens
  EXPECT_TRUE(listDir().empty());

  ASSERT_EQ(LogManager_Init(a), 0);
  LogManager_print2(a, 4, "first module");
  LogManager_Destroy();
  LogManager_Destroy();
  // The agent still names the deleted module: its lines are dropped.
  LogManager_print2(a, 4, "after destroy");
  LogManager_printf2(a, 4, "after destroy %d", 2);
  LogManager_buff_printf(a, "after");
  LogManager_commit_buff(a, 4);
  LogManager_SetCatagory(a, "late", "late.log", false, false);
  EXPECT_EQ(bodies("late.log"), std::vector<std::string>{"late (Info): first module"});

  // A new module starts empty; the agent is attached again.
  LogAgent* other = agent("other", "other.log");
  EXPECT_EQ(LogManager_Init(other), 0);
  LogManager_print2(a, 4, "still stale");
  EXPECT_EQ(LogManager_Init(a), 1);
  LogManager_print2(a, 4, "second module");
  LogManager_Destroy();
  EXPECT_EQ(bodies("late.log"), std::vector<std::string>{"late (Info): second module"});
  EXPECT_EQ(readFile("other.log"), "");
}

TEST_F(LogManagerTest, UnwritableFolderAcceptsAndDiscards) {
  logtest::writeFile("blocker", "file");
  LogAgent* a = agent("w", "blocker/sub/w.log");
  EXPECT_EQ(LogManager_Init(a), 0);
  for (int i = 0; i < 1000; ++i) LogManager_printf2(a, 4, "line %d", i);
  LogManager_Destroy();
  EXPECT_EQ(listDir(), std::vector<std::string>{"blocker"});
}

TEST_F(LogManagerTest, FlushThreadWritesWithoutDestroy) {
  LogAgent* a = agent("t", "t.log");
  ASSERT_EQ(LogManager_Init(a), 0);
  EXPECT_TRUE(currentModule()->flushThreadRunning());
  LogManager_print2(a, 4, "small");  // under 2048 bytes: goes out by age
  // Bounded wait for the flush thread; no claim on how quickly it comes.
  for (int i = 0; i < 200 && readFile("t.log").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  EXPECT_EQ(bodies("t.log"), std::vector<std::string>{"t (Info): small"});
}

TEST_F(LogManagerTest, OverlongTextsAreCutToOneLine) {
  LogAgent* a = agent("big", "big.log");
  ASSERT_EQ(LogManager_Init(a), 0);
  std::string huge(100000, 'h');
  LogManager_print2(a, 4, huge.c_str());
  LogManager_printf2(a, 4, "%s%s", huge.c_str(), huge.c_str());
  LogManager_buff_printf(a, "%s", huge.c_str());
  LogManager_commit_buff(a, 4);
  LogManager_print2(a, 4, "after");
  LogManager_Destroy();
  std::vector<std::string> lines = splitCrlfLines(readFile("big.log"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size(), 4094u);
  EXPECT_EQ(lines[1].size(), 4094u);
  EXPECT_EQ(lines[0].substr(22), "big (Info): " + std::string(4094 - 22 - 12, 'h'));
  EXPECT_EQ(body(lines[2]), "big (Error): LogAgent::commit_buff ERROR cur_buff_length:100000 too large.");
  EXPECT_EQ(body(lines[3]), "big (Info): after");
}
