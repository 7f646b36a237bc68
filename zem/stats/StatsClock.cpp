#include "StatsClock.h"

#include "base/Clock.h"

namespace zem {

namespace {
class SystemStatsClock : public StatsClock {
 public:
  int64_t micros() override { return vekt::base::monotonicMicros(); }
  // Elapsed wall time in milliseconds on every platform (the C runtime's clock()
  // counts processor time on POSIX, not elapsed time).
  int64_t clockTicks() override { return static_cast<int64_t>(vekt::base::monotonicMs()); }
};
}  // namespace

StatsClock& systemStatsClock() {
  static SystemStatsClock clock;
  return clock;
}

}  // namespace zem
