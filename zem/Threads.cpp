#include "Threads.h"

#include <atomic>

namespace zem {

namespace {
std::atomic<uint32_t> g_nextThreadId{1};
// Constant-initialised, so reading it needs no per-call initialisation check: the
// runtime's callbacks ask on every managed call of every thread.
#if defined(__ELF__)
// Initial-exec: a direct offset from the thread pointer instead of a lookup call
// (4 bytes of the static TLS surplus that a library loaded by path may use).
__attribute__((tls_model("initial-exec")))
#endif
thread_local uint32_t t_threadId = 0;
}  // namespace

uint32_t currentThreadId() {
  uint32_t id = t_threadId;
  if (id == 0) id = t_threadId = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
  return id;
}

}  // namespace zem
