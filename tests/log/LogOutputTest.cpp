// Outputs: buffer swap and growth, the flush rule, CR LF, rotation, old files
// and directory creation.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <regex>

#include "LogImpl.h"
#include "base/Clock.h"
#include "LogTestUtil.h"

using namespace vexolib::log;
using logtest::readFile;
using logtest::u16;
using logtest::writeFile;
namespace fs = std::filesystem;

namespace {
class RecordingLog : public ILogImpl {
 public:
  std::u16string target() const override { return u"rec"; }
  void write(const char* bytes, size_t length) override {
    writes.emplace_back(bytes, length);
    EXPECT_EQ(bytes[length], '\0');  // text in a buffer is always NUL-terminated
  }
  bool shouldFlush(uint32_t) override { return allow; }
  void beforeFlush() override { ++hooks; }
  std::vector<std::string> writes;
  bool allow = true;
  int hooks = 0;
};

void append(ILogImpl& out, const std::string& text) {
  ILogImpl::LineWriter line(out);
  memcpy(line.room(), text.data(), text.size());
  line.commit(static_cast<int32_t>(text.size()));
}

std::string joined(const std::vector<std::string>& pieces) {
  std::string all;
  for (const auto& p : pieces) all += p;
  return all;
}
}  // namespace

TEST(LogOutput, FlushSwapsAndWritesPendingText) {
  RecordingLog out;
  EXPECT_FALSE(out.flush(true, 0));  // nothing pending
  append(out, "one\n");
  append(out, "two\n");
  out.allow = false;
  EXPECT_FALSE(out.flush(false, 0));  // the rule says no
  EXPECT_EQ(out.pending(), 8);
  EXPECT_TRUE(out.flush(true, 0));  // force ignores the rule
  ASSERT_EQ(out.writes.size(), 1u);
  EXPECT_EQ(out.writes[0], "one\ntwo\n");
  EXPECT_EQ(out.pending(), 0);
  append(out, "three\n");
  out.allow = true;
  EXPECT_TRUE(out.flush(false, 0));
  ASSERT_EQ(out.writes.size(), 2u);
  EXPECT_EQ(out.writes[1], "three\n");
  EXPECT_EQ(out.hooks, 4);
}

TEST(LogOutput, BufferGrowsByWholeChunksKeepingTextInOrder) {
  RecordingLog out;
  EXPECT_EQ(out.activeCapacity(), kChunkBytes);
  // 4000-byte lines while a chunk has kLineRoom free; then one more line
  // opens the next chunk, and the text before it stays where it is.
  std::string expected;
  int lines = 0;
  for (int32_t used = 0; kChunkBytes - used >= kLineRoom; used += 4000, ++lines) {
    const std::string line(4000, static_cast<char>('a' + lines));
    append(out, line);
    expected += line;
  }
  EXPECT_EQ(out.activeCapacity(), kChunkBytes);
  append(out, "c");  // less than kLineRoom free: a second chunk
  expected += "c";
  EXPECT_EQ(out.activeCapacity(), 2 * kChunkBytes);
  EXPECT_EQ(out.pending(), static_cast<int32_t>(expected.size()));
  ASSERT_TRUE(out.flush(true, 0));
  // One write per chunk, in order.
  EXPECT_EQ(out.writes.size(), 2u);
  EXPECT_EQ(joined(out.writes), expected);
}

class FileLogTest : public logtest::TempDirTest {};

TEST_F(FileLogTest, FlushRuleBySizeAndAge) {
  {
    FileLog out(u16("r.log"), false);
    ASSERT_TRUE(out.isOpen());
    append(out, "x\n");
    // lastFlush starts at 0: the first call 1000 ms or more later flushes.
    EXPECT_FALSE(out.flush(false, 999));
    EXPECT_TRUE(out.flush(false, 1000));
    append(out, "x\n");
    EXPECT_FALSE(out.flush(false, 1999));
    EXPECT_TRUE(out.flush(false, 2000));
    // 2048 pending bytes flush at once; 2047 do not.
    append(out, std::string(2046, 'p') + "\n");
    EXPECT_FALSE(out.flush(false, 2001));
    append(out, "q");
    EXPECT_TRUE(out.flush(false, 2002));
    // The age is an unsigned 32-bit difference: it survives the tick wrap.
    append(out, "w\n");
    EXPECT_TRUE(out.flush(false, 0xFFFFFF00u));
    append(out, "w\n");
    EXPECT_FALSE(out.flush(false, 0x000002E7u));  // 999 ms later
    EXPECT_TRUE(out.flush(false, 0x000002E8u));   // 1000 ms later
  }
}

TEST_F(FileLogTest, LinesEndWithCrLfOnDisk) {
  {
    FileLog out(u16("a.txt"), false);
    append(out, "first\nsecond\n\n");
    out.flush(true, 0);
  }
  EXPECT_EQ(readFile("a.txt"), "first\r\nsecond\r\n\r\n");
}

TEST_F(FileLogTest, DefaultPathIsLogTxt) {
  FileLog out;
  EXPECT_EQ(out.target(), u"log.txt");
  EXPECT_TRUE(fs::exists("log.txt"));
  EXPECT_EQ(out.backupName(), u"log_1.log");
}

TEST_F(FileLogTest, RotatesAtExactly1MiBIntoOneBackup) {
  FileLog out(u16("log.txt"), false);
  std::string below(1048575, 'a');
  out.write(below.data(), below.size());
  EXPECT_FALSE(fs::exists("log_1.log"));
  EXPECT_EQ(fs::file_size("log.txt"), 1048575u);
  out.write("b", 1);  // reaches 1048576 bytes
  ASSERT_TRUE(fs::exists("log_1.log"));
  EXPECT_EQ(fs::file_size("log_1.log"), 1048576u);
  EXPECT_EQ(fs::file_size("log.txt"), 0u);
  EXPECT_EQ(readFile("log_1.log").back(), 'b');

  out.write("after\n", 6);
  EXPECT_EQ(readFile("log.txt"), "after\r\n");

  // A second rotation replaces the earlier backup; still only two files.
  std::string more(1048576, 'c');
  out.write(more.data(), more.size());
  EXPECT_EQ(readFile("log_1.log"), "after\r\n" + more);
  EXPECT_EQ(fs::file_size("log.txt"), 0u);
  EXPECT_EQ(listDir(), (std::vector<std::string>{"log.txt", "log_1.log"}));
}

TEST_F(FileLogTest, BackupNames) {
  struct Case {
    const char* path;
    const char* backup;
  };
  const Case cases[] = {{"log.txt", "log_1.log"},
                        {"game", "game_1.log"},
                        {"d/game.txt", "d/game_1.log"},
                        {"logs.d/game", "logs.d/game_1.log"},  // stays in its own folder
                        {"a.b.log", "a.b_1.log"}};
  for (const Case& c : cases) {
    FileLog out(u16(c.path), false);
    EXPECT_EQ(out.backupName(), u16(c.backup)) << c.path;
  }
}

TEST_F(FileLogTest, KeepOldFileMovesItToStemSecondsExtension) {
  struct Case {
    const char* path;
    const char* pattern;
  };
  const Case cases[] = {{"game.txt", R"(game_(\d+)\.txt)"}, {"game", R"(game_(\d+))"}, {"x.y.z", R"(x\.y_(\d+)\.z)"}};
  for (const Case& c : cases) {
    writeFile(c.path, "old text");
    uint32_t before = static_cast<uint32_t>(vekt::base::wallSeconds());
    { FileLog out(u16(c.path), true); }
    uint32_t after = static_cast<uint32_t>(vekt::base::wallSeconds());
    EXPECT_EQ(readFile(c.path), "") << c.path;
    int found = 0;
    for (const std::string& name : listDir()) {
      std::smatch m;
      if (std::regex_match(name, m, std::regex(c.pattern))) {
        ++found;
        uint32_t secs = static_cast<uint32_t>(std::stoul(m[1]));
        EXPECT_GE(secs, before);
        EXPECT_LE(secs, after);
        EXPECT_EQ(readFile(name), "old text");
        fs::remove(name);
      }
    }
    EXPECT_EQ(found, 1) << c.path;
  }
}

TEST_F(FileLogTest, QuickRestartsKeepEveryOldFile) {
  for (int i = 0; i < 4; ++i) {
    writeFile("quick.txt", "run " + std::to_string(i));
    FileLog out(u16("quick.txt"), true);
  }
  std::vector<std::string> kept;
  for (const std::string& name : listDir()) {
    if (std::regex_match(name, std::regex(R"(quick_\d+\.txt)"))) kept.push_back(readFile(name));
  }
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<std::string>{"run 0", "run 1", "run 2", "run 3"}));
}

TEST_F(FileLogTest, WithoutKeepOldFileTheOldFileIsDeleted) {
  writeFile("game.txt", "old text");
  { FileLog out(u16("game.txt"), false); }
  EXPECT_EQ(listDir(), std::vector<std::string>{"game.txt"});
  EXPECT_EQ(readFile("game.txt"), "");
}

TEST_F(FileLogTest, CreatesMissingDirectoriesLevelByLevel) {
  {
    FileLog out(u16("a//b/c/d.log"), false);
    EXPECT_TRUE(out.isOpen());
  }
  EXPECT_TRUE(fs::is_directory("a/b/c"));
  EXPECT_TRUE(fs::exists("a/b/c/d.log"));
}

TEST_F(FileLogTest, AbsolutePathKeepsItsRoot) {
  fs::create_directory("cwd");
  fs::current_path("cwd");
  std::string abs = path("x/y/z.log");
  {
    FileLog out(u16(abs), false);
    EXPECT_TRUE(out.isOpen());
  }
  EXPECT_TRUE(fs::exists(abs));
  EXPECT_TRUE(fs::is_empty(dir() / "cwd"));  // nothing mirrored under the current folder
}

TEST_F(FileLogTest, UnwritableFolderMakesASilentOutput) {
  writeFile("plain", "a regular file where a folder should be");
  FileLog out(u16("plain/sub/x.log"), false);
  EXPECT_FALSE(out.isOpen());
  append(out, "lost\n");
  EXPECT_TRUE(out.flush(true, 0));  // accepted and discarded
  std::string big(2 * 1048576, 'z');
  out.write(big.data(), big.size());
  EXPECT_EQ(listDir(), std::vector<std::string>{"plain"});
}

TEST_F(FileLogTest, UndeletableBackupStopsRotation) {
  fs::create_directory("log_1.log");  // a folder cannot be removed as a file
  fs::create_directory("log_1.log/keep");
  FileLog out(u16("log.txt"), false);
  std::string big(1048576, 'a');
  out.write(big.data(), big.size());
  out.write("b", 1);
  EXPECT_EQ(fs::file_size("log.txt"), 1048577u);  // keeps growing
  EXPECT_TRUE(fs::is_directory("log_1.log/keep"));
}

TEST(LogOutput, StdoutAndNulTargets) {
  EXPECT_EQ(StdoutLog().target(), u"1");
  EXPECT_EQ(NulLog().target(), u"0");
  NulLog nul;
  append(nul, "gone\n");
  EXPECT_TRUE(nul.flush(true, 0));
  StdoutLog out;
  testing::internal::CaptureStdout();
  append(out, "to stdout\n");
  out.flush(true, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "to stdout\n");
}
