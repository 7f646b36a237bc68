// No exception crosses a LogManager_ export, and none leaves an output's lock
// held: chunk allocation is made to fail through the allocator seam, and each
// export is driven through its throwing path where it has one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <new>
#include <stdexcept>
#include <thread>

#include "LogExports.h"
#include "LogImpl.h"
#include "LogManager.h"
#include "LogTestUtil.h"

using namespace vexolib::log;
using logtest::readFile;
using logtest::splitCrlfLines;

namespace {

std::atomic<int> g_refusals{0};
void* refusingAllocator(size_t) {
  ++g_refusals;
  throw std::bad_alloc();
}

// Puts the failing allocator in for one scope.
class RefuseChunks {
 public:
  RefuseChunks() { setChunkAllocator(&refusingAllocator); }
  ~RefuseChunks() { setChunkAllocator(nullptr); }
};

// Asked from another thread, so a lock held by this one shows as taken. The
// flush thread takes the lock for a moment now and then, so a lock left held
// is one that stays taken for a whole second.
bool lockFreeSeenFromAnotherThread(ILogImpl* out) {
  return std::async(std::launch::async,
                    [out] {
                      for (int attempt = 0; attempt < 1000; ++attempt) {
                        if (out->lockIsFree()) return true;
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                      }
                      return false;
                    })
      .get();
}

class RecordingLog : public ILogImpl {
 public:
  std::u16string target() const override { return u"rec"; }
  void write(const char* bytes, size_t length) override { text.append(bytes, length); }
  std::string text;
};

void append(ILogImpl& out, const std::string& text) {
  ILogImpl::LineWriter line(out);
  memcpy(line.room(), text.data(), text.size());
  line.commit(static_cast<int32_t>(text.size()));
}

}  // namespace

TEST(LogGuard, LineWriterReleasesTheLockWhenAnExceptionLeavesIt) {
  RecordingLog out;
  EXPECT_THROW(
      {
        ILogImpl::LineWriter line(out);
        memcpy(line.room(), "lost\n", 5);
        throw std::runtime_error("between room and commit");
      },
      std::runtime_error);
  EXPECT_TRUE(lockFreeSeenFromAnotherThread(&out));
  EXPECT_EQ(out.pending(), 0);

  // Fill the chunks there are; the next line needs a new one, which is refused.
  const std::string line(4000, 'a');
  std::string kept;
  {
    RefuseChunks refuse;
    bool refused = false;
    for (int i = 0; i < 100 && !refused; ++i) {
      try {
        append(out, line + "\n");
        kept += line + "\n";
      } catch (const std::bad_alloc&) {
        refused = true;
      }
    }
    ASSERT_TRUE(refused);
    EXPECT_TRUE(lockFreeSeenFromAnotherThread(&out));
    EXPECT_EQ(out.pending(), static_cast<int32_t>(kept.size()));
  }
  append(out, "next\n");
  ASSERT_TRUE(out.flush(true, 0));
  EXPECT_EQ(out.text, kept + "next\n");
}

namespace {

class LogGuardExports : public logtest::TempDirTest {
 protected:
  void TearDown() override {
    setChunkAllocator(nullptr);
    for (LogAgent* a : agents_) LogManager_Stop(a);
    LogManager_Destroy();
    TempDirTest::TearDown();
  }
  LogAgent* agent(const char* name, const char* path) {
    LogAgent* a = LogManager_NewLogAgent();
    agents_.push_back(a);
    LogManager_SetCatagory(a, name, path, 0, 0);
    return a;
  }
  static ILogImpl* outputOf(LogAgent* a) { return currentModule()->categoryOutput(a->category); }
  // Logs long lines until a line needs a chunk that is refused; true when one was.
  static bool useUpChunks(LogAgent* a) {
    const std::string big(4000, 'f');
    const int before = g_refusals;
    for (int i = 0; i < 5000 && g_refusals == before; ++i) LogManager_print2(a, 4, big.c_str());
    return g_refusals > before;
  }
  std::vector<LogAgent*> agents_;
};

}  // namespace

TEST_F(LogGuardExports, FailedBufferGrowthReturnsFreesTheLockAndTheNextLineIsWritten) {
  LogAgent* a = agent("grow", "grow.log");
  ASSERT_EQ(LogManager_Init(a), 0);
  LogManager_print2(a, 4, "before");
  {
    RefuseChunks refuse;
    ASSERT_TRUE(useUpChunks(a));
    LogManager_printf2(a, 4, "refused %d", 1);  // returns although its chunk is refused
    EXPECT_TRUE(lockFreeSeenFromAnotherThread(outputOf(a)));
  }
  LogManager_print2(a, 4, "after");
  LogManager_Destroy();
  // The refused line may still have fit when the flush thread freed a chunk
  // just before it; either way the lines around it are whole and in order.
  // A flush thread that keeps up lets the filling pass 1 MiB: the file then
  // rotates (more than once, maybe), and "before" may be gone with a backup.
  const auto lines = splitCrlfLines(readFile("grow_1.log") + readFile("grow.log"));
  ASSERT_GE(lines.size(), 2u);
  if (!std::ifstream("grow_1.log")) {
    EXPECT_NE(lines.front().find("grow (Info): before"), std::string::npos) << lines.front();
  }
  EXPECT_NE(lines.back().find("grow (Info): after"), std::string::npos) << lines.back();
  for (const std::string& l : lines) EXPECT_EQ(l.find("<no CRLF>"), std::string::npos);
}

namespace {
// How an export's throwing path is reached.
enum class Path {
  kNewOutput,   // it creates an output, whose first chunk is refused
  kFullChunks,  // it logs a line while every chunk is full and a new one is refused
  kNone,        // it allocates no chunk: called with the allocator refusing, it works as usual
};

struct ExportCase {
  const char* name;
  Path path;
  // Calls the export and checks its result; the agent has category "g" in a live module.
  std::function<void(LogAgent*)> call;
};
}  // namespace

TEST_F(LogGuardExports, EveryExportReturnsItsFailureResultOnItsThrowingPath) {
  const ExportCase cases[] = {
      {"LogManager_NewLogAgent", Path::kNone,
       [this](LogAgent*) {
         LogAgent* fresh = LogManager_NewLogAgent();
         EXPECT_NE(fresh, nullptr);
         agents_.push_back(fresh);
       }},
      {"LogManager_Init", Path::kNewOutput,
       [this](LogAgent*) {
         LogAgent* fresh = agent("init_new", "init_new.log");
         EXPECT_EQ(LogManager_Init(fresh), -1);
       }},
      {"LogManager_SetCatagory", Path::kNewOutput,
       [this](LogAgent*) {
         LogAgent* fresh = LogManager_NewLogAgent();
         agents_.push_back(fresh);
         ASSERT_EQ(LogManager_Init(fresh), 0);
         LogManager_SetCatagory(fresh, "set_new", "set_new.log", 0, 0);
         EXPECT_EQ(fresh->category, -1);
       }},
      {"LogManager_SetLogModule", Path::kNewOutput,
       [this](LogAgent*) {
         LogAgent* fresh = agent("module_new", "module_new.log");  // refused here, and again below
         LogManager_SetLogModule(fresh, currentModule());
         EXPECT_EQ(fresh->category, -1);
       }},
      {"LogManager_Stop", Path::kNone, [](LogAgent*) { LogManager_Stop(LogManager_NewLogAgent()); }},
      {"LogManager_printf3", Path::kFullChunks,
       [](LogAgent* a) { LogManager_printf3(a, 4, a->category, "printf3 %d", 3); }},
      {"LogManager_printf2", Path::kFullChunks, [](LogAgent* a) { LogManager_printf2(a, 4, "printf2 %d", 2); }},
      {"LogManager_print3", Path::kFullChunks, [](LogAgent* a) { LogManager_print3(a, 4, a->category, "print3"); }},
      {"LogManager_print2", Path::kFullChunks, [](LogAgent* a) { LogManager_print2(a, 4, "print2"); }},
      {"LogManager_buff_printf", Path::kNone,
       [](LogAgent* a) {
         LogManager_buff_printf(a, "buffered %d", 1);
         int32_t length = 0;
         EXPECT_STREQ(LogManager_get_log_buff(a, &length), "buffered 1");
         LogManager_clear_buff(a);
       }},
      {"LogManager_commit_buff", Path::kFullChunks,
       [](LogAgent* a) {
         LogManager_buff_printf(a, "committed");
         LogManager_commit_buff(a, 4);
       }},
      {"LogManager_clear_buff", Path::kNone,
       [](LogAgent* a) {
         LogManager_buff_printf(a, "x");
         LogManager_clear_buff(a);
         int32_t length = -1;
         LogManager_get_log_buff(a, &length);
         EXPECT_EQ(length, 0);
       }},
      {"LogManager_get_log_buff", Path::kNone,
       [](LogAgent*) { EXPECT_STREQ(LogManager_get_log_buff(nullptr, nullptr), "null"); }},
      {"LogManager_Destroy", Path::kNone, [](LogAgent*) { LogManager_Destroy(); }},
  };
  for (const ExportCase& c : cases) {
    SCOPED_TRACE(c.name);
    LogAgent* a = agent("g", "g.log");
    ASSERT_EQ(LogManager_Init(a), 0);
    ILogImpl* out = outputOf(a);
    // A full chunk list can be emptied by the flush thread just before the
    // call; try again until the call itself met the refusal.
    bool reached = c.path != Path::kFullChunks;
    for (int attempt = 0; attempt < 20; ++attempt) {
      RefuseChunks refuse;
      if (c.path == Path::kFullChunks) {
        ASSERT_TRUE(useUpChunks(a));
      }
      const int before = g_refusals;
      c.call(a);
      if (c.path == Path::kNone) {
        EXPECT_EQ(g_refusals, before) << "took a chunk";
      } else if (c.path == Path::kNewOutput) {
        EXPECT_GT(g_refusals, before) << "no chunk refused";
      }
      if (c.path != Path::kFullChunks || g_refusals > before) {
        reached = true;
        break;
      }
    }
    EXPECT_TRUE(reached);
    if (currentModule()) {
      EXPECT_TRUE(lockFreeSeenFromAnotherThread(out));
      LogManager_print2(a, 4, "next line");
    }
    LogManager_Destroy();
    const auto lines = splitCrlfLines(readFile("g.log"));
    if (std::string(c.name) != "LogManager_Destroy") {
      ASSERT_FALSE(lines.empty());
      EXPECT_NE(lines.back().find("g (Info): next line"), std::string::npos) << lines.back();
    }
  }
}
