// POSIX side of the log platform services (host builds and tests).
#include "LogPlatform.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <ctime>

#include "LogText.h"

namespace vexolib::log::platform {

uint32_t tickMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

int64_t nowSeconds() { return static_cast<int64_t>(time(nullptr)); }

void formatLocalTime(int64_t seconds, char* out, size_t size) {
  time_t t = static_cast<time_t>(seconds);
  tm parts{};
  if (!localtime_r(&t, &parts) || strftime(out, size, "%Y-%m-%d %H:%M:%S", &parts) == 0) {
    snprintf(out, size, "0000-00-00 00:00:00");
  }
}

static std::string native(const std::u16string& path) { return utf16ToUtf8(path); }

bool isDirectory(const std::u16string& path) {
  struct stat st{};
  return stat(native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool fileExists(const std::u16string& path) {
  struct stat st{};
  return stat(native(path).c_str(), &st) == 0;
}

bool makeDirectory(const std::u16string& path) { return mkdir(native(path).c_str(), 0777) == 0; }
bool removeFile(const std::u16string& path) { return unlink(native(path).c_str()) == 0; }
bool moveFile(const std::u16string& from, const std::u16string& to) {
  return rename(native(from).c_str(), native(to).c_str()) == 0;
}

int openTruncate(const std::u16string& path) {
  return open(native(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool writeAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, data, n);
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool fileSize(int fd, uint64_t& size) {
  struct stat st{};
  if (fstat(fd, &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

void closeFile(int fd) { close(fd); }

void writeStdout(const char* data, size_t n) {
  fwrite(data, 1, n, stdout);
  fflush(stdout);
}

namespace {
struct Start {
  ThreadMain fn;
  void* arg;
};
void* trampoline(void* p) {
  Start s = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  s.fn(s.arg);
  return nullptr;
}
}  // namespace

uintptr_t startThread(ThreadMain fn, void* arg, size_t stackBytes) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return 0;
  if (stackBytes < static_cast<size_t>(PTHREAD_STACK_MIN)) stackBytes = PTHREAD_STACK_MIN;
  pthread_attr_setstacksize(&attr, stackBytes);
  auto* s = new Start{fn, arg};
  pthread_t th;
  int rc = pthread_create(&th, &attr, trampoline, s);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete s;
    return 0;
  }
  auto* handle = new pthread_t(th);
  return reinterpret_cast<uintptr_t>(handle);
}

void joinThread(uintptr_t thread) {
  auto* handle = reinterpret_cast<pthread_t*>(thread);
  if (!handle) return;
  pthread_join(*handle, nullptr);
  delete handle;
}

}  // namespace vexolib::log::platform
