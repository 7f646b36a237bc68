#include "GpuTimer.h"

#include <climits>

namespace zem::capture {

int64_t gpuMicroseconds(const GpuQueryAnswer& a) {
  if (a.status != GpuQueryAnswer::kReady || a.disjoint || a.frequency == 0 || a.end < a.begin) return -1;
  const uint64_t ticks = a.end - a.begin;
  const uint64_t seconds = ticks / a.frequency;
  if (seconds >= 3600) return INT64_MAX / 2;  // nonsense, but still "very long"
  // Whole seconds and the remainder apart: ticks * 1e6 would overflow for fast clocks.
  return static_cast<int64_t>(seconds * 1000000 + (ticks % a.frequency) * 1000000 / a.frequency);
}

bool GpuFrameTimer::ensureSource() {
  if (!tried_) {
    tried_ = true;
    source_ = factory_ ? factory_() : nullptr;
    usable_ = source_ != nullptr;
    latest_.store(usable_ ? 0 : -1, std::memory_order_relaxed);
  }
  return usable_;
}

void GpuFrameTimer::disable() {
  usable_ = false;
  latest_.store(-1, std::memory_order_relaxed);
}

void GpuFrameTimer::frameBegin() {
  if (!ensureSource()) return;
  ++framesSinceFresh_;
  collect();
  int slot = open_;
  if (slot < 0) {
    slot = next_;
    if (slots_[slot] == kPending) return;  // every set still in flight: this frame goes unmeasured
    if (!created_[slot]) {
      if (!source_->create(slot)) return disable();  // the device has no timestamp queries
      created_[slot] = true;
    }
  }
  if (source_->begin(slot)) {
    slots_[slot] = kOpen;
    open_ = slot;
  } else {
    slots_[slot] = kIdle;
    open_ = -1;
  }
}

void GpuFrameTimer::frameEnd() {
  if (!usable_) return;
  if (open_ >= 0) {
    if (source_->end(open_)) {
      slots_[open_] = kPending;
      next_ = (open_ + 1) % kSlots;
    } else {
      slots_[open_] = kIdle;
    }
    open_ = -1;
  }
  collect();
  if (framesSinceFresh_ > kStaleFrames) latest_.store(0, std::memory_order_relaxed);
}

// Oldest first, as issued; stops at the first set the device has not answered yet.
void GpuFrameTimer::collect() {
  while (slots_[oldest_] == kPending) {
    const GpuQueryAnswer a = source_->read(oldest_);
    if (a.status == GpuQueryAnswer::kNotReady) return;
    const int64_t us = gpuMicroseconds(a);
    if (us >= 0) {
      latest_.store(us > INT_MAX ? INT_MAX : static_cast<int>(us), std::memory_order_relaxed);
      framesSinceFresh_ = 0;
    }
    slots_[oldest_] = kIdle;
    oldest_ = (oldest_ + 1) % kSlots;
  }
}

}  // namespace zem::capture
