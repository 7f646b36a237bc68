// A thread with a chosen stack size that cannot be left running: the owner
// joins it explicitly or on destruction. ThreadWin.cpp / ThreadPosix.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace vekt::base {

class Thread {
 public:
  Thread() noexcept = default;
  ~Thread() { join(); }
  Thread(Thread&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Runs body on a new thread whose stack reserves stackBytes (0: the
  // system's default). False when the thread cannot start (or one is already
  // running here); never throws.
  bool start(std::function<void()> body, size_t stackBytes = 0) noexcept;
  // Waits for the thread to end; does nothing when none runs.
  void join() noexcept;
  bool joinable() const noexcept { return handle_ != 0; }

 private:
  uintptr_t handle_ = 0;
};

void sleepMs(uint32_t ms);

}  // namespace vekt::base
