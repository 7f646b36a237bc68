#include "Platform.h"

#include <atomic>
#include <chrono>
#include <mutex>

namespace zem {

uint32_t currentThreadId() {
  // Small stable numbers, never 0, so 0 can mean "no main thread yet".
  static std::atomic<uint32_t> next{1};
  thread_local uint32_t id = next.fetch_add(1, std::memory_order_relaxed);
  return id;
}

int64_t counterNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t counterFrequency() { return 1000000000; }

struct NamedLock::Impl {
  std::mutex m;
};

NamedLock::NamedLock(const char* name) : name_(name), impl_(new Impl) {}
NamedLock::~NamedLock() = default;
void NamedLock::lock() { impl_->m.lock(); }
void NamedLock::unlock() { impl_->m.unlock(); }

}  // namespace zem
