// Files and folders by UTF-16 path, guarded calls and the temporary folder.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "TempDir.h"
#include "base/File.h"
#include "base/Guard.h"
#include "base/Text.h"

using namespace vekt::base;
using vekt::testsupport::TempDirTest;

namespace {

class FileTest : public TempDirTest {
 protected:
  std::u16string u(const std::string& rel) const { return utf8ToUtf16(path(rel)); }
};

TEST_F(FileTest, NonAsciiPathsOpenWriteAndReadBack) {
  const std::u16string name = u("\xE6\x97\xA5\xE6\x9C\xAC \xC3\xA9.txt");
  int fd = openTruncate(name);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(writeAll(fd, "abc\r\n", 5));
  uint64_t size = 0;
  EXPECT_TRUE(fileSize(fd, size));
  EXPECT_EQ(size, 5u);
  closeFile(fd);
  EXPECT_TRUE(fileExists(name));
  EXPECT_FALSE(isDirectory(name));

  fd = openRead(name);
  ASSERT_GE(fd, 0);
  char buf[16] = {};
  EXPECT_EQ(readSome(fd, buf, sizeof buf), 5);
  closeFile(fd);
  EXPECT_EQ(std::string(buf), "abc\r\n");

  std::FILE* f = openFile(name, "ab");
  ASSERT_NE(f, nullptr);
  std::fputs("x", f);
  std::fclose(f);
  EXPECT_EQ(vekt::testsupport::readFile(dir() / "\xE6\x97\xA5\xE6\x9C\xAC \xC3\xA9.txt"), "abc\r\nx");

  EXPECT_TRUE(moveFile(name, u("moved.txt")));
  EXPECT_FALSE(fileExists(name));
  EXPECT_TRUE(removeFile(u("moved.txt")));
  EXPECT_FALSE(removeFile(u("moved.txt")));
  EXPECT_EQ(openRead(u("missing")), -1);
  EXPECT_EQ(openFile(u("missing"), "rb"), nullptr);
}

TEST_F(FileTest, AppendCutAndTheFileAPathNames) {
  const std::u16string name = u("a.log");
  int fd = openTruncate(name);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(writePart(fd, "line\r\n", 6), 6u);
  closeFile(fd);
  fd = openAppend(name);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(pathNamesFile(name, fd));
  EXPECT_TRUE(writeAll(fd, "more\r\n", 6));
  EXPECT_TRUE(truncateFile(fd, 8));  // the position follows the cut
  EXPECT_TRUE(writeAll(fd, "x\r\n", 3));
  EXPECT_EQ(vekt::testsupport::readFile(dir() / "a.log"), "line\r\nmox\r\n");
  // Moved away, removed, or replaced by another file: the path no longer names it.
  EXPECT_TRUE(moveFile(name, u("b.log")));
  EXPECT_FALSE(pathNamesFile(name, fd));
  EXPECT_TRUE(pathNamesFile(u("b.log"), fd));
  vekt::testsupport::writeFile(dir() / "a.log", "other");
  EXPECT_FALSE(pathNamesFile(name, fd));
  EXPECT_TRUE(removeFile(u("b.log")));
  EXPECT_FALSE(pathNamesFile(u("b.log"), fd));
  closeFile(fd);
}

TEST_F(FileTest, FolderChainsAreCreated) {
  EXPECT_TRUE(makeDirectories(u("a//b/c/d")));
  EXPECT_TRUE(isDirectory(u("a/b")));
  EXPECT_TRUE(makeDirectories(u("a/b")));  // exists already
  EXPECT_FALSE(makeDirectory(u("a/b")));
  vekt::testsupport::writeFile(dir() / "file", "x");
  EXPECT_FALSE(makeDirectories(u("file/sub")));
  EXPECT_FALSE(makeDirectories(u""));
  EXPECT_TRUE(makeDirectories(utf8ToUtf16(dir().string())));
}

TEST(GuardTest, ReturnsTheFailureResultForAnyException) {
  EXPECT_EQ(guardedCall(-1, [] { return 5; }), 5);
  EXPECT_EQ(guardedCall(-1, []() -> int { throw std::bad_alloc(); }), -1);
  EXPECT_EQ(guardedCall(false, []() -> bool { throw std::runtime_error("x"); }), false);
  EXPECT_EQ(guardedCall<void*>(nullptr, []() -> void* { throw 42; }), nullptr);
  int ran = 0;
  EXPECT_TRUE(guardedCall([&] { ++ran; }));
  EXPECT_FALSE(guardedCall([&] {
    ++ran;
    throw std::length_error("x");
  }));
  EXPECT_EQ(ran, 2);
}

TEST(TempDirTest, FolderIsPrivateAndRemovedWithItsContent) {
  std::filesystem::path kept;
  {
    vekt::testsupport::TempDir a("base_test");
    vekt::testsupport::TempDir b("base_test");
    ASSERT_TRUE(a.valid());
    ASSERT_TRUE(b.valid());
    EXPECT_NE(a.path(), b.path());
    std::filesystem::create_directories(a / "x/y");
    vekt::testsupport::writeFile(a / "x/y/z", "1");
    kept = a.path();
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
}

}  // namespace
