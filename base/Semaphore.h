// A counting semaphore with a timed wait. SemaphoreWin.cpp uses a kernel
// semaphore; SemaphorePosix.cpp a count beside a condition variable, where a
// wait that does not wait (tryWait, wait(0)) never enters the kernel.
#pragma once
#include <climits>
#ifndef _WIN32
#include <atomic>
#include <condition_variable>
#include <mutex>
#endif

namespace vekt::base {

class Semaphore {
 public:
  explicit Semaphore(int initial = 0, int maximum = INT_MAX);
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Takes one count, waiting at most timeoutMs (negative: without limit,
  // 0: only tests). False when none could be taken in time.
  bool wait(int timeoutMs = -1) noexcept;
  bool tryWait() noexcept { return wait(0); }
  // Adds one count; a count already at the maximum stays there.
  void post() noexcept;

 private:
#ifdef _WIN32
  void* handle_;
#else
  std::atomic<int> count_;
  const int maximum_;
  std::mutex m_;
  std::condition_variable cv_;
  bool takeOne() noexcept;
#endif
};

}  // namespace vekt::base
