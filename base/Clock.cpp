// Portable part of the clocks.
#include "Clock.h"

namespace vekt::base {

int64_t monotonicMicros() {
  const uint64_t ticks = highResTicks();
  const uint64_t freq = highResFrequency();
  // Split to keep ticks * 1e6 from overflowing.
  return static_cast<int64_t>((ticks / freq) * 1000000u + (ticks % freq) * 1000000u / freq);
}

}  // namespace vekt::base
