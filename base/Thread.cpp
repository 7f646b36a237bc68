// Portable part of the thread: the start record and ownership moves.
#include "Thread.h"

#include <new>

#include "ThreadStart.h"

namespace vekt::base {

bool Thread::start(std::function<void()> body, size_t stackBytes) noexcept {
  if (handle_ != 0 || !body) return false;
  auto* s = new (std::nothrow) ThreadStart;
  if (!s) return false;
  try {
    s->body = std::move(body);
  } catch (...) {
    delete s;
    return false;
  }
  if (!startNativeThread(s, stackBytes)) {
    delete s;
    return false;
  }
  handle_ = reinterpret_cast<uintptr_t>(s);
  return true;
}

void Thread::join() noexcept {
  auto* s = reinterpret_cast<ThreadStart*>(handle_);
  if (!s) return;
  handle_ = 0;
  joinNativeThread(s);
  delete s;
}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    join();
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

}  // namespace vekt::base
