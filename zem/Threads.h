// Thread identity and the named locks of the session.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "base/Mutex.h"

#if defined(_WIN32)
#include <intrin.h>
#endif

namespace zem {

namespace detail {
// The runtime's callbacks ask for the thread's number on every managed call of
// every thread, so reading it must be a load with no call on every build that
// ships. ELF: constant-initialised initial-exec TLS (4 bytes of the static TLS
// surplus that a library loaded by path may use). Windows: the toolchain's TLS
// is emulated (a call per read), so the number lives in a TLS slot of our own,
// read straight from the thread environment block.
#if defined(_WIN32)
// The slot's offset in the thread environment block; 0 until the first thread
// asks for a number, or when the slot has no fixed place (an expansion slot).
extern std::atomic<uint32_t> g_slotOffset;
uint32_t slotThreadIdSlow();
inline uint32_t slotThreadId() {
  const uint32_t offset = g_slotOffset.load(std::memory_order_relaxed);
  if (offset == 0) return slotThreadIdSlow();
#if defined(__x86_64__) || defined(_M_X64)
  return static_cast<uint32_t>(__readgsqword(offset));
#else
  return static_cast<uint32_t>(__readfsdword(offset));
#endif
}
#elif defined(__ELF__)
extern __thread uint32_t t_threadId __attribute__((tls_model("initial-exec")));
inline uint32_t slotThreadId() { return t_threadId; }
#else
extern __thread uint32_t t_threadId;
inline uint32_t slotThreadId() { return t_threadId; }
#endif
uint32_t assignThreadId();
}  // namespace detail

// A small number for the calling thread, never 0 (0 means "no main thread yet").
inline uint32_t currentThreadId() {
  const uint32_t id = detail::slotThreadId();
  return id != 0 ? id : detail::assignThreadId();
}

// The calling thread's number if it has asked for one, else 0; assigns nothing.
inline uint32_t knownThreadId() { return detail::slotThreadId(); }

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
