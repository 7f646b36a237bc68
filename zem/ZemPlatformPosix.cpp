// Host build: steady_clock, std::mutex and the kernel thread id.
#include <chrono>
#include <mutex>
#include <new>

#include <sys/syscall.h>
#include <unistd.h>

#include "ZemPlatform.h"

namespace zem {

uint64_t counterNow() {
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

uint64_t counterFrequency() {
  using P = std::chrono::steady_clock::period;
  return static_cast<uint64_t>(P::den / P::num);
}

uint32_t currentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

static_assert(sizeof(std::mutex) <= 64, "lock storage too small");

NamedLock::NamedLock(const char* name) : name_(name) { new (storage_) std::mutex(); }
NamedLock::~NamedLock() { reinterpret_cast<std::mutex*>(storage_)->~mutex(); }
void NamedLock::lock() { reinterpret_cast<std::mutex*>(storage_)->lock(); }
void NamedLock::unlock() { reinterpret_cast<std::mutex*>(storage_)->unlock(); }

}  // namespace zem
