// The semaphore on POSIX. Counts are added under the lock, so a waiter that
// checks the count under it cannot miss a post; a count is taken with a
// compare-and-swap, so a test without waiting needs no lock at all.
#include <chrono>

#include "Semaphore.h"

namespace vekt::base {

Semaphore::Semaphore(int initial, int maximum) : count_(initial < 0 ? 0 : initial), maximum_(maximum) {}
Semaphore::~Semaphore() = default;

bool Semaphore::takeOne() noexcept {
  int c = count_.load(std::memory_order_relaxed);
  while (c > 0) {
    if (count_.compare_exchange_weak(c, c - 1, std::memory_order_acquire, std::memory_order_relaxed)) return true;
  }
  return false;
}

bool Semaphore::wait(int timeoutMs) noexcept {
  if (takeOne()) return true;
  if (timeoutMs == 0) return false;
  try {
    std::unique_lock<std::mutex> l(m_);
    if (timeoutMs < 0) {
      cv_.wait(l, [this] { return takeOne(); });
      return true;
    }
    return cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [this] { return takeOne(); });
  } catch (...) {
    return false;
  }
}

void Semaphore::post() noexcept {
  {
    std::lock_guard<std::mutex> l(m_);
    int c = count_.load(std::memory_order_relaxed);
    while (c < maximum_ &&
           !count_.compare_exchange_weak(c, c + 1, std::memory_order_release, std::memory_order_relaxed)) {
    }
  }
  cv_.notify_one();
}

}  // namespace vekt::base
