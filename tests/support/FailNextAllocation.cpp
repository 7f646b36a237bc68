// The replaced global allocation functions behind FailNextAllocation.h.
#include "FailNextAllocation.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool g_failNext = false;
}  // namespace

namespace vekt::testsupport {
void failNextAllocation(bool armed) { g_failNext = armed; }
bool nextAllocationFails() { return g_failNext; }
}  // namespace vekt::testsupport

void* operator new(std::size_t n) {
  if (g_failNext) {
    g_failNext = false;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// The nothrow form is replaced too: sanitizer runtimes bring their own,
// which would not see the armed failure.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (g_failNext) {
    g_failNext = false;
    return nullptr;
  }
  return std::malloc(n ? n : 1);
}
// The replacement pair allocates with malloc, so free is the matching release.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
