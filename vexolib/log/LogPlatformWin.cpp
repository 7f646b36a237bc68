// Windows side of the log platform services (vexolib.dll).
#include "LogPlatform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

namespace vexolib::log::platform {

static const wchar_t* w(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

uint32_t tickMs() { return static_cast<uint32_t>(GetTickCount()); }

int64_t nowSeconds() { return static_cast<int64_t>(_time64(nullptr)); }

void formatLocalTime(int64_t seconds, char* out, size_t size) {
  __time64_t t = static_cast<__time64_t>(seconds);
  tm parts{};
  if (_localtime64_s(&parts, &t) != 0 || strftime(out, size, "%Y-%m-%d %H:%M:%S", &parts) == 0) {
    snprintf(out, size, "0000-00-00 00:00:00");
  }
}

bool isDirectory(const std::u16string& path) {
  DWORD a = GetFileAttributesW(w(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool fileExists(const std::u16string& path) { return GetFileAttributesW(w(path)) != INVALID_FILE_ATTRIBUTES; }
bool makeDirectory(const std::u16string& path) { return _wmkdir(w(path)) == 0; }
bool removeFile(const std::u16string& path) { return _wunlink(w(path)) == 0; }
bool moveFile(const std::u16string& from, const std::u16string& to) { return _wrename(w(from), w(to)) == 0; }

int openTruncate(const std::u16string& path) {
  int fd = -1;
  // Binary mode: the core already stores CR LF line ends.
  if (_wsopen_s(&fd, w(path), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                _S_IREAD | _S_IWRITE) != 0) {
    return -1;
  }
  return fd;
}

bool writeAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    unsigned chunk = n > 0x40000000u ? 0x40000000u : static_cast<unsigned>(n);
    int wr = _write(fd, data, chunk);
    if (wr <= 0) return false;
    data += wr;
    n -= static_cast<size_t>(wr);
  }
  return true;
}

bool fileSize(int fd, uint64_t& size) {
  __int64 n = _filelengthi64(fd);
  if (n < 0) return false;
  size = static_cast<uint64_t>(n);
  return true;
}

void closeFile(int fd) { _close(fd); }

void writeStdout(const char* data, size_t n) {
  fwrite(data, 1, n, stdout);
  fflush(stdout);
}

namespace {
struct Start {
  ThreadMain fn;
  void* arg;
};
DWORD WINAPI trampoline(LPVOID p) {
  Start s = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  s.fn(s.arg);
  return 0;
}
}  // namespace

uintptr_t startThread(ThreadMain fn, void* arg, size_t stackBytes) {
  auto* s = new Start{fn, arg};
  HANDLE h = CreateThread(nullptr, stackBytes, trampoline, s, 0, nullptr);
  if (!h) {
    delete s;
    return 0;
  }
  return reinterpret_cast<uintptr_t>(h);
}

void joinThread(uintptr_t thread) {
  HANDLE h = reinterpret_cast<HANDLE>(thread);
  if (!h) return;
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
}

}  // namespace vexolib::log::platform
