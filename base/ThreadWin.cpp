// Threads on Windows: _beginthreadex, so the C runtime is set up for the
// thread; the stack size is the reservation, not only the first commit.
#include <windows.h>
#include <process.h>

#include <new>

#include "Thread.h"

namespace vekt::base {
namespace {
struct Start {
  std::function<void()> body;
  HANDLE handle = nullptr;
};

unsigned __stdcall trampoline(void* p) {
  static_cast<Start*>(p)->body();
  return 0;
}
}  // namespace

bool Thread::start(std::function<void()> body, size_t stackBytes) noexcept {
  if (handle_ != 0 || !body) return false;
  auto* s = new (std::nothrow) Start;
  if (!s) return false;
  try {
    s->body = std::move(body);
  } catch (...) {
    delete s;
    return false;
  }
  const unsigned flags = stackBytes != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  const uintptr_t h = _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), trampoline, s, flags, nullptr);
  if (h == 0) {
    delete s;
    return false;
  }
  s->handle = reinterpret_cast<HANDLE>(h);
  handle_ = reinterpret_cast<uintptr_t>(s);
  return true;
}

void Thread::join() noexcept {
  auto* s = reinterpret_cast<Start*>(handle_);
  if (!s) return;
  handle_ = 0;
  WaitForSingleObject(s->handle, INFINITE);
  CloseHandle(s->handle);
  delete s;
}

void sleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace vekt::base
