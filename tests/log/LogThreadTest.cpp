// Several writer threads against the flush thread: no line lost, torn or
// reordered within its thread, across the live file and its one backup.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <thread>

#include "LogExports.h"
#include "LogManager.h"
#include "LogTestUtil.h"

using namespace vexolib::log;
using logtest::readFile;
using logtest::splitCrlfLines;

namespace {
class LogThreadTest : public logtest::TempDirTest {
 protected:
  void TearDown() override {
    LogManager_Destroy();
    TempDirTest::TearDown();
  }

  // Every writer's lines must appear exactly once and in order, reading the
  // backup first and the live file after it.
  void checkLines(const std::string& text, int threads, int lines) {
    std::vector<int> next(static_cast<size_t>(threads), 0);
    size_t count = 0;
    for (const std::string& line : splitCrlfLines(text)) {
      int t = -1, seq = -1, tail = -1;
      char pad[128] = {};
      ASSERT_EQ(line.size(), 120u) << "torn line: " << line;
      ASSERT_EQ(std::sscanf(line.c_str() + 22, "mt (Info): w%02d %05d %76[x]%d", &t, &seq, pad, &tail), 4) << line;
      ASSERT_GE(t, 0);
      ASSERT_LT(t, threads);
      ASSERT_EQ(seq, next[static_cast<size_t>(t)]) << "thread " << t;
      ASSERT_EQ(tail, seq % 10);
      ++next[static_cast<size_t>(t)];
      ++count;
    }
    for (int t = 0; t < threads; ++t) EXPECT_EQ(next[static_cast<size_t>(t)], lines) << "thread " << t;
    EXPECT_EQ(count, static_cast<size_t>(threads) * static_cast<size_t>(lines));
  }

  void run(bool immediate, int threads, int lines) {
    LogAgent* setup = LogManager_NewLogAgent();
    LogManager_SetCatagory(setup, "mt", "mt.log", immediate, false);
    ASSERT_EQ(LogManager_Init(setup), 0);
    const std::string pad(76, 'x');
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
      writers.emplace_back([t, lines, &pad] {
        LogAgent* a = LogManager_NewLogAgent();
        LogManager_SetCatagory(a, "mt", "", false, false);
        if (LogManager_Init(a) != 0) ADD_FAILURE() << "thread " << t << " got another category";
        for (int i = 0; i < lines; ++i) {
          if (i % 2 == 0) {
            LogManager_printf2(a, 4, "w%02d %05d %s%d", t, i, pad.c_str(), i % 10);
          } else {
            char text[128];
            std::snprintf(text, sizeof text, "w%02d %05d %s%d", t, i, pad.c_str(), i % 10);
            LogManager_print3(a, 4, 0, text);
          }
        }
        LogManager_Stop(a);
      });
    }
    for (auto& w : writers) w.join();
    LogManager_Stop(setup);
    LogManager_Destroy();
  }
};
}  // namespace

// Lines of 122 bytes on disk (120 + CR LF). 4 x 3600 lines are about 1.7 MiB:
// exactly one rotation, so the backup (at least 1 MiB) plus the live file
// (the rest, under 1 MiB) hold every line. A second rotation would drop the
// first backup by design, so the test stays below 2 MiB in total.
TEST_F(LogThreadTest, FourWritersAndTheFlushThreadLoseNothing) {
  const int threads = 4, lines = 3600;
  run(false, threads, lines);
  ASSERT_TRUE(std::filesystem::exists("mt_1.log"));
  EXPECT_GE(std::filesystem::file_size("mt_1.log"), 1048576u);
  EXPECT_LT(std::filesystem::file_size("mt.log"), 1048576u);
  checkLines(readFile("mt_1.log") + readFile("mt.log"), threads, lines);
}

// With the immediate flag every writer flushes on its own thread; those
// flushes must not overlap or a swapped buffer would be written twice or lost.
TEST_F(LogThreadTest, ImmediateFlushesFromManyThreadsAreSerialised) {
  const int threads = 4, lines = 1500;
  run(true, threads, lines);
  EXPECT_FALSE(std::filesystem::exists("mt_1.log"));
  checkLines(readFile("mt.log"), threads, lines);
}
