// The clocks behind the statistics files, replaceable so tests can drive time.
#pragma once
#include <cstdint>

namespace zem {

class StatsClock {
 public:
  virtual ~StatsClock() = default;
  // Monotonic microseconds (the high-resolution counter).
  virtual int64_t micros() = 0;
  // Elapsed milliseconds, the unit of the event-time files (1000 ticks per second).
  virtual int64_t clockTicks() = 0;
};

// The process's real clocks.
StatsClock& systemStatsClock();

}  // namespace zem
