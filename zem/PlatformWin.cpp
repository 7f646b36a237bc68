#include "Platform.h"

#include <windows.h>

namespace zem {

uint32_t currentThreadId() { return static_cast<uint32_t>(GetCurrentThreadId()); }

int64_t counterNow() {
  LARGE_INTEGER v;
  QueryPerformanceCounter(&v);
  return v.QuadPart;
}

int64_t counterFrequency() {
  static const int64_t f = [] {
    LARGE_INTEGER v;
    QueryPerformanceFrequency(&v);
    return v.QuadPart > 0 ? v.QuadPart : 1;
  }();
  return f;
}

struct NamedLock::Impl {
  CRITICAL_SECTION cs;
  Impl() { InitializeCriticalSection(&cs); }
  ~Impl() { DeleteCriticalSection(&cs); }
};

NamedLock::NamedLock(const char* name) : name_(name), impl_(new Impl) {}
NamedLock::~NamedLock() = default;
void NamedLock::lock() { EnterCriticalSection(&impl_->cs); }
void NamedLock::unlock() { LeaveCriticalSection(&impl_->cs); }

}  // namespace zem
