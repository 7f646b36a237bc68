// Threads on POSIX: pthreads with the stack size set before the start.
#include <pthread.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <new>

#include "Thread.h"

namespace vekt::base {
namespace {
struct Start {
  std::function<void()> body;
  pthread_t id{};
};

void* trampoline(void* p) {
  static_cast<Start*>(p)->body();
  return nullptr;
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
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    delete s;
    return false;
  }
  if (stackBytes != 0) {
    if (stackBytes < static_cast<size_t>(PTHREAD_STACK_MIN)) stackBytes = PTHREAD_STACK_MIN;
    pthread_attr_setstacksize(&attr, stackBytes);
  }
  const int rc = pthread_create(&s->id, &attr, trampoline, s);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete s;
    return false;
  }
  handle_ = reinterpret_cast<uintptr_t>(s);
  return true;
}

void Thread::join() noexcept {
  auto* s = reinterpret_cast<Start*>(handle_);
  if (!s) return;
  handle_ = 0;
  pthread_join(s->id, nullptr);
  delete s;
}

void sleepMs(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace vekt::base
