// Clocks: a monotonic millisecond count, high-resolution ticks, wall-clock
// seconds and local time. ClockWin.cpp / ClockPosix.cpp.
#pragma once
#include <cstdint>
#include <ctime>

namespace vekt::base {

// Milliseconds since an arbitrary start; never goes back.
uint64_t monotonicMs();
// The low 32 bits of monotonicMs(): wraps like GetTickCount(); compare with
// unsigned differences.
inline uint32_t tickMs() { return static_cast<uint32_t>(monotonicMs()); }
// High-resolution monotonic ticks and how many make a second.
uint64_t highResTicks();
uint64_t highResFrequency();
// Microseconds from the high-resolution clock.
int64_t monotonicMicros();

// Seconds since 1970 (UTC).
int64_t wallSeconds();
// The local calendar time of a second since 1970; false when it has none.
bool localTime(int64_t seconds, std::tm& out);

}  // namespace vekt::base
