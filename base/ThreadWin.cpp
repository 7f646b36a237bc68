// Threads on Windows: _beginthreadex, so the C runtime is set up for the
// thread; the stack size is the reservation, not only the first commit.
#include <windows.h>
#include <process.h>

#include "Thread.h"
#include "ThreadStart.h"

namespace vekt::base {
namespace {
unsigned __stdcall trampoline(void* p) {
  static_cast<ThreadStart*>(p)->body();
  return 0;
}
}  // namespace

bool startNativeThread(ThreadStart* start, size_t stackBytes) noexcept {
  const unsigned flags = stackBytes != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  const uintptr_t h = _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), trampoline, start, flags, nullptr);
  if (h == 0) return false;
  start->native = h;
  return true;
}

void joinNativeThread(ThreadStart* start) noexcept {
  const auto handle = reinterpret_cast<HANDLE>(start->native);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
}

void sleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace vekt::base
