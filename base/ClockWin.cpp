// Clocks on Windows: GetTickCount64 and the performance counter.
#include <windows.h>

#include <time.h>

#include "Clock.h"

namespace vekt::base {

uint64_t monotonicMs() { return static_cast<uint64_t>(GetTickCount64()); }

uint64_t highResTicks() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<uint64_t>(t.QuadPart);
}

uint64_t highResFrequency() {
  static const uint64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<uint64_t>(f.QuadPart);
  }();
  return frequency;
}

int64_t wallSeconds() { return static_cast<int64_t>(_time64(nullptr)); }

bool localTime(int64_t seconds, std::tm& out) {
  const __time64_t t = static_cast<__time64_t>(seconds);
  return _localtime64_s(&out, &t) == 0;
}

}  // namespace vekt::base
