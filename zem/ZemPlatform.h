// The few operating-system services the profiler needs; one implementation
// file per platform keeps the rest of the plug-in portable.
#pragma once
#include <cstdint>

namespace zem {

uint64_t counterNow();        // high-resolution counter
uint64_t counterFrequency();  // counter ticks per second
uint32_t currentThreadId();

// A named critical section. The name only helps when reading a dump.
class NamedLock {
 public:
  explicit NamedLock(const char* name);
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;
  void lock();
  void unlock();
  const char* name() const { return name_; }

 private:
  const char* name_;
  alignas(16) unsigned char storage_[64];
};

class LockGuard {
 public:
  explicit LockGuard(NamedLock& l) : l_(l) { l_.lock(); }
  ~LockGuard() { l_.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  NamedLock& l_;
};

}  // namespace zem
