#include <sys/random.h>

#include <cerrno>

#include "base/Random.h"

namespace vekt::base {

bool secureRandomBytes(void* out, size_t size) {
  auto* bytes = static_cast<unsigned char*>(out);
  while (size > 0) {
    const ssize_t n = getrandom(bytes, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace vekt::base
