// A mutex held by value, with no native object on the heap: an SRWLOCK in
// place on Windows (MutexWin.cpp), std::mutex on POSIX. Usable with
// std::lock_guard and std::unique_lock. Not recursive.
#pragma once
#ifndef _WIN32
#include <mutex>
#endif

namespace vekt::base {

class Mutex {
 public:
  Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() noexcept;
  void unlock() noexcept;
  bool try_lock() noexcept;

 private:
#ifdef _WIN32
  void* srw_ = nullptr;  // an SRWLOCK: one pointer, SRWLOCK_INIT is all zero
#else
  std::mutex m_;
#endif
};

}  // namespace vekt::base
