#include <windows.h>
#include <ntsecapi.h>

#include "base/Random.h"

namespace vekt::base {

bool secureRandomBytes(void* out, size_t size) {
  return size <= 0xFFFFFFFFu && RtlGenRandom(out, static_cast<ULONG>(size)) != FALSE;
}

}  // namespace vekt::base
