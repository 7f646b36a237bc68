#include "Threads.h"

#include <atomic>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zem {

namespace {
std::atomic<uint32_t> g_nextThreadId{1};
}  // namespace

namespace detail {

#if defined(_WIN32)
namespace {
// The thread environment block's own TLS slots (the first 64 indexes).
#if defined(__x86_64__) || defined(_M_X64)
constexpr uint32_t kTebTlsSlots = 0x1480;
#else
constexpr uint32_t kTebTlsSlots = 0xE10;
#endif
constexpr DWORD kTebTlsSlotCount = 64;
constexpr DWORD kNoSlotYet = TLS_OUT_OF_INDEXES;
constexpr DWORD kNoSlotAtAll = TLS_OUT_OF_INDEXES - 1;  // the process has none left
std::atomic<DWORD> g_slot{kNoSlotYet};

DWORD slot() {
  DWORD index = g_slot.load(std::memory_order_acquire);
  if (index != kNoSlotYet) return index;
  // Only the first thread to get here keeps its index; one per process.
  DWORD fresh = TlsAlloc();
  if (fresh == TLS_OUT_OF_INDEXES) fresh = kNoSlotAtAll;
  if (!g_slot.compare_exchange_strong(index, fresh)) {
    if (fresh != kNoSlotAtAll) TlsFree(fresh);
    return index;
  }
  if (fresh < kTebTlsSlotCount) {
    g_slotOffset.store(kTebTlsSlots + fresh * static_cast<uint32_t>(sizeof(void*)), std::memory_order_release);
  }
  return fresh;
}
}  // namespace

std::atomic<uint32_t> g_slotOffset{0};

uint32_t slotThreadIdSlow() {
  const DWORD index = g_slot.load(std::memory_order_acquire);
  if (index == kNoSlotYet) return 0;
  // Without a slot the system's thread id stands in: still one number per thread.
  if (index == kNoSlotAtAll) return static_cast<uint32_t>(GetCurrentThreadId());
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(TlsGetValue(index)));
}

uint32_t assignThreadId() {
  const DWORD index = slot();
  if (index == kNoSlotAtAll) return static_cast<uint32_t>(GetCurrentThreadId());
  const uint32_t id = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
  TlsSetValue(index, reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
  return id;
}
#else
#if defined(__ELF__)
__thread uint32_t t_threadId __attribute__((tls_model("initial-exec"))) = 0;
#else
__thread uint32_t t_threadId = 0;
#endif

uint32_t assignThreadId() { return t_threadId = g_nextThreadId.fetch_add(1, std::memory_order_relaxed); }
#endif

}  // namespace detail

}  // namespace zem
