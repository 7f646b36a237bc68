// Threads on POSIX: pthreads with the stack size set before the start.
#include <pthread.h>
#include <unistd.h>

#include <climits>
#include <ctime>

#include "Thread.h"
#include "ThreadStart.h"

namespace vekt::base {
namespace {
void* trampoline(void* p) {
  static_cast<ThreadStart*>(p)->body();
  return nullptr;
}
}  // namespace

bool startNativeThread(ThreadStart* start, size_t stackBytes) noexcept {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  if (stackBytes != 0) {
    if (stackBytes < static_cast<size_t>(PTHREAD_STACK_MIN)) stackBytes = PTHREAD_STACK_MIN;
    pthread_attr_setstacksize(&attr, stackBytes);
  }
  pthread_t id{};
  const int rc = pthread_create(&id, &attr, trampoline, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) return false;
  start->native = static_cast<uintptr_t>(id);
  return true;
}

void joinNativeThread(ThreadStart* start) noexcept { pthread_join(static_cast<pthread_t>(start->native), nullptr); }

void sleepMs(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace vekt::base
