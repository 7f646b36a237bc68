#include "Threads.h"

#include <atomic>

namespace zem {

namespace {
std::atomic<uint32_t> g_nextThreadId{1};
}  // namespace

namespace detail {
#if defined(__ELF__)
__thread uint32_t t_threadId __attribute__((tls_model("initial-exec"))) = 0;
#else
__thread uint32_t t_threadId = 0;
#endif

uint32_t assignThreadId() { return t_threadId = g_nextThreadId.fetch_add(1, std::memory_order_relaxed); }
}  // namespace detail

}  // namespace zem
