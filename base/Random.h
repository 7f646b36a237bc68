// Unpredictable numbers from the system's random source, for values another
// process must not guess. RandomWin.cpp / RandomPosix.cpp.
#pragma once
#include <cstddef>

namespace vekt::base {

// Fills `size` bytes; false when the system gave none.
bool secureRandomBytes(void* out, size_t size);

}  // namespace vekt::base
