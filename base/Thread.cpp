// Portable part of the thread: ownership moves.
#include "Thread.h"

namespace vekt::base {

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    join();
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

}  // namespace vekt::base
