// Thin platform layer: thread identity, the high-resolution counter and locks.
#pragma once
#include <cstdint>
#include <memory>

namespace zem {

uint32_t currentThreadId();
int64_t counterNow();
int64_t counterFrequency();

// A named critical section; the name only helps when reading dumps of a stuck process.
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
  struct Impl;
  std::unique_ptr<Impl> impl_;
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
