// Thread identity and the named locks of the session.
#pragma once
#include <cstdint>
#include <mutex>

#include "base/Mutex.h"

namespace zem {

// A small number for the calling thread, never 0 (0 means "no main thread yet").
uint32_t currentThreadId();

// A lock with a name, which only helps when reading dumps of a stuck process.
class NamedLock {
 public:
  explicit NamedLock(const char* name) : name_(name) {}
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }
  bool try_lock() { return mutex_.try_lock(); }
  const char* name() const { return name_; }

 private:
  const char* name_;
  vekt::base::Mutex mutex_;
};

using LockGuard = std::lock_guard<NamedLock>;

}  // namespace zem
