// Thread identity and the named locks of the session.
#pragma once
#include <cstdint>
#include <mutex>

#include "base/Mutex.h"

namespace zem {

namespace detail {
// Constant-initialised plain TLS, so reading it is one load with no call: the runtime's
// callbacks ask on every managed call of every thread. Initial-exec where the format has
// it: a direct offset from the thread pointer (4 bytes of the static TLS surplus that a
// library loaded by path may use).
#if defined(__ELF__)
extern __thread uint32_t t_threadId __attribute__((tls_model("initial-exec")));
#else
extern __thread uint32_t t_threadId;
#endif
uint32_t assignThreadId();
}  // namespace detail

// A small number for the calling thread, never 0 (0 means "no main thread yet").
inline uint32_t currentThreadId() {
  const uint32_t id = detail::t_threadId;
  return id != 0 ? id : detail::assignThreadId();
}

// The calling thread's number if it has asked for one, else 0; assigns nothing.
inline uint32_t knownThreadId() { return detail::t_threadId; }

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
