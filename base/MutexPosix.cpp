// The mutex on POSIX: std::mutex (pthread_mutex_t in place).
#include "Mutex.h"

#include <cstdlib>
#include <system_error>

namespace vekt::base {

void Mutex::lock() noexcept {
  // std::mutex only throws for a deadlock it detects or a broken system:
  // nothing a caller could recover from.
  try {
    m_.lock();
  } catch (const std::system_error&) {
    std::abort();
  }
}
void Mutex::unlock() noexcept { m_.unlock(); }
bool Mutex::try_lock() noexcept { return m_.try_lock(); }

}  // namespace vekt::base
