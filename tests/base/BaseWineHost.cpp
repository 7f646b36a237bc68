// The Windows side of base under wine64: text through the system's code
// pages, a thread's reserved stack, the mutex, the semaphore, the clocks and
// files by a UTF-16 path outside the ANSI code page.
// Argument: a scratch folder (a Unix path from the build).
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "base/Clock.h"
#include "base/File.h"
#include "base/Guard.h"
#include "base/Mutex.h"
#include "base/Semaphore.h"
#include "base/Text.h"
#include "base/Thread.h"
#include "wincheck.h"
#include "winpath.h"

using namespace vekt::base;

namespace {

std::u16string u16(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }

void checkText() {
  const std::string utf8 = "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";
  const std::u16string text = utf8ToUtf16(utf8);
  WCHECK(text == u"caf\u00E9 \u65E5\u672C \U0001F600");
  WCHECK(utf16ToUtf8(text) == utf8);
  // The portable decoder agrees with the system's on good text.
  wchar_t sys[64] = {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), sys, 64);
  WCHECK(n == static_cast<int>(text.size()) && std::u16string(reinterpret_cast<char16_t*>(sys), n) == text);
  WCHECK(utf8ToUtf16("\xE6\x97", 2) == u"\uFFFD");

  // ANSI through CP_ACP, whatever code page Wine runs with: a character of
  // the code page round-trips, one it lacks becomes the default character.
  char acp[8] = {};
  BOOL lossy = FALSE;
  const wchar_t e = 0x00E9;
  const int an = WideCharToMultiByte(CP_ACP, 0, &e, 1, acp, 8, nullptr, &lossy);
  WCHECK(utf16ToAnsi(u"\u00E9") == std::string(acp, static_cast<size_t>(an)));
  if (!lossy) WCHECK(ansiToUtf16(std::string(acp, static_cast<size_t>(an))) == u"\u00E9");
  WCHECK(ansiToUtf16("plain") == u"plain");
  WCHECK(utf16ToWide(u"\U0001F600").size() == 2);
}

// Touches about `bytes` of stack below the caller.
size_t useStack(size_t bytes) {
  volatile char block[16 * 1024];
  block[0] = 1;
  block[sizeof block - 1] = 1;
  return bytes <= sizeof block ? block[0] : block[0] + useStack(bytes - sizeof block);
}

void checkThread() {
  // Wine reserves at least 1 MiB for any thread, so ask for more than that.
  std::atomic<size_t> reserved{0};
  std::atomic<size_t> used{0};
  {
    Thread t;
    WCHECK(t.start(
        [&] {
          // The reservation: every region of the stack's allocation, added up.
          MEMORY_BASIC_INFORMATION mbi{};
          VirtualQuery(&mbi, &mbi, sizeof mbi);
          void* const base = mbi.AllocationBase;
          size_t total = 0;
          for (char* p = static_cast<char*>(base);
               VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi && mbi.AllocationBase == base; p += mbi.RegionSize) {
            total += mbi.RegionSize;
          }
          reserved = total;
          used = useStack(3 * 1024 * 1024);  // would overflow a 1 MiB stack
        },
        4 * 1024 * 1024));
  }
  if (!WCHECK(reserved.load() >= 4u * 1024u * 1024u && reserved.load() < 5u * 1024u * 1024u)) {
    std::printf("reserved %zu\n", reserved.load());
  }
  WCHECK(used.load() >= 3u * 64u);  // one per 16 KiB block: the recursion ran to its end

  Mutex m;
  long total = 0;
  Thread threads[3];
  for (auto& t : threads) {
    WCHECK(t.start(
        [&] {
          for (int i = 0; i < 20000; ++i) {
            std::lock_guard<Mutex> g(m);
            ++total;
          }
        },
        64 * 1024));
  }
  for (auto& t : threads) t.join();
  WCHECK(total == 60000);
  WCHECK(m.try_lock());
  WCHECK(!m.try_lock());
  m.unlock();
}

void checkSemaphore() {
  Semaphore s(0, 2);
  WCHECK(!s.tryWait());
  const uint64_t before = monotonicMs();
  WCHECK(!s.wait(50));
  WCHECK(monotonicMs() - before >= 40u);
  s.post();
  s.post();
  s.post();
  WCHECK(s.wait(0));
  WCHECK(s.wait(0));
  WCHECK(!s.wait(0));
  std::atomic<int> taken{0};
  Thread waiter;
  WCHECK(waiter.start([&] {
    for (int i = 0; i < 200; ++i) {
      if (s.wait(-1)) ++taken;
    }
  }));
  for (int i = 0; i < 200; ++i) {
    while (taken < i) sleepMs(0);
    s.post();
  }
  waiter.join();
  WCHECK(taken == 200);
  const int64_t us = monotonicMicros();
  sleepMs(20);
  WCHECK(monotonicMicros() - us >= 15000);
}

void checkFiles(const std::wstring& scratch) {
  const std::u16string dir = u16(scratch) + u"\\\u65E5\u672C \u00E9\\sub";
  WCHECK(makeDirectories(dir));
  WCHECK(isDirectory(dir));
  const std::u16string file = dir + u"\\\u0416\u65E5.log";
  int fd = openTruncate(file);
  WCHECK(fd >= 0);
  WCHECK(writeAll(fd, "line\r\n", 6));
  uint64_t size = 0;
  WCHECK(fileSize(fd, size) && size == 6);
  closeFile(fd);
  // The system sees the same name.
  WCHECK(GetFileAttributesW(reinterpret_cast<const wchar_t*>(file.c_str())) != INVALID_FILE_ATTRIBUTES);
  std::FILE* f = openFile(file, "rb");
  WCHECK(f != nullptr);
  if (f) {
    char buf[16] = {};
    WCHECK(std::fread(buf, 1, sizeof buf, f) == 6);
    std::fclose(f);
  }
  // Appending keeps the text; a cut puts the position at the cut; the path
  // names the open file until it is moved away.
  fd = openAppend(file);
  WCHECK(fd >= 0);
  WCHECK(pathNamesFile(file, fd));
  WCHECK(!pathNamesFile(dir, fd));
  WCHECK(writePart(fd, "more\r\n", 6) == 6);
  WCHECK(truncateFile(fd, 8));
  WCHECK(writeAll(fd, "x\r\n", 3));
  WCHECK(fileSize(fd, size) && size == 11);
  closeFile(fd);
  f = openFile(file, "rb");
  if (WCHECK(f != nullptr)) {
    char buf[16] = {};
    WCHECK(std::fread(buf, 1, sizeof buf, f) == 11 && std::string(buf) == "line\r\nmox\r\n");
    std::fclose(f);
  }
  WCHECK(moveFile(file, dir + u"\\moved.log"));
  fd = openRead(dir + u"\\moved.log");
  WCHECK(fd >= 0 && !pathNamesFile(file, fd) && pathNamesFile(dir + u"\\moved.log", fd));
  closeFile(fd);
  WCHECK(removeFile(dir + u"\\moved.log"));
  WCHECK(!fileExists(file));
  WCHECK(guardedCall(-1, []() -> int { throw 1; }) == -1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  char narrow[MAX_PATH * 3] = {};
  WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, narrow, sizeof narrow, nullptr, nullptr);
  const std::wstring scratch = winpath::fromBuild(narrow);
  CreateDirectoryW(scratch.c_str(), nullptr);
  checkText();
  checkThread();
  checkSemaphore();
  checkFiles(scratch);
  return wincheck::summary();
}
