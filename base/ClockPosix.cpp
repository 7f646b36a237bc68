// Clocks on POSIX: CLOCK_MONOTONIC in nanoseconds.
#include <time.h>

#include "Clock.h"

namespace vekt::base {

uint64_t highResTicks() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t highResFrequency() { return 1000000000u; }

uint64_t monotonicMs() { return highResTicks() / 1000000u; }

int64_t wallSeconds() { return static_cast<int64_t>(time(nullptr)); }

bool localTime(int64_t seconds, std::tm& out) {
  const time_t t = static_cast<time_t>(seconds);
  return localtime_r(&t, &out) != nullptr;
}

}  // namespace vekt::base
