// Windows build: QueryPerformanceCounter and critical sections.
#include <windows.h>

#include "ZemPlatform.h"

namespace zem {

uint64_t counterNow() {
  LARGE_INTEGER v;
  QueryPerformanceCounter(&v);
  return static_cast<uint64_t>(v.QuadPart);
}

uint64_t counterFrequency() {
  static const uint64_t f = [] {
    LARGE_INTEGER v;
    QueryPerformanceFrequency(&v);
    return static_cast<uint64_t>(v.QuadPart);
  }();
  return f;
}

uint32_t currentThreadId() { return static_cast<uint32_t>(GetCurrentThreadId()); }

static_assert(sizeof(CRITICAL_SECTION) <= 64, "lock storage too small");

NamedLock::NamedLock(const char* name) : name_(name) {
  InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}
NamedLock::~NamedLock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void NamedLock::lock() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void NamedLock::unlock() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

}  // namespace zem
