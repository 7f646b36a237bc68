// GPU time per frame from the device's timestamp queries, read back without
// ever waiting for the device: a ring of query sets, each read a few frames
// after it was issued, only when the device already has the answer.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace zem::capture {

// What one query set answered.
struct GpuQueryAnswer {
  enum Status { kNotReady, kReady, kFailed } status = kNotReady;
  uint64_t begin = 0, end = 0;  // timestamps in ticks
  uint64_t frequency = 0;       // ticks per second
  bool disjoint = false;        // the ticks are not comparable (clock changed)
};

// The device side: query sets addressed by ring slot. Every call returns at once.
class GpuQuerySource {
 public:
  virtual ~GpuQuerySource() = default;
  virtual bool create(int slot) = 0;  // make the queries of one slot; false: the device cannot
  virtual bool begin(int slot) = 0;   // start of a frame
  virtual bool end(int slot) = 0;     // end of the frame
  virtual GpuQueryAnswer read(int slot) = 0;
};

// The device's timestamp queries (graphics device type 0 Direct3D 9, 1 Direct3D 11);
// null where there are none.
std::unique_ptr<GpuQuerySource> makeGpuQuerySource(int graphicsDeviceType, void* device);

// Microseconds between two timestamps, or -1 when the answer cannot be used.
int64_t gpuMicroseconds(const GpuQueryAnswer& answer);

class GpuFrameTimer {
 public:
  static constexpr int kSlots = 4;
  // A figure nobody refreshed for this many frames no longer describes the device: 0.
  static constexpr int kStaleFrames = 3 * kSlots;
  using SourceFactory = std::function<std::unique_ptr<GpuQuerySource>()>;

  // The source is made at the first frame, on the thread that renders.
  explicit GpuFrameTimer(SourceFactory factory) : factory_(std::move(factory)) {}

  // Render thread, at the engine's begin-draw and end-draw events.
  void frameBegin();
  void frameEnd();

  // Any thread: GPU microseconds of a recent frame; 0 until one is known, and
  // -1 when the device cannot measure (no timer: nothing to report).
  int latestMicroseconds() const { return latest_.load(std::memory_order_relaxed); }

 private:
  enum SlotState { kIdle, kOpen, kPending };
  bool ensureSource();
  void collect();
  void disable();

  SourceFactory factory_;
  std::unique_ptr<GpuQuerySource> source_;
  bool tried_ = false;
  bool usable_ = false;
  SlotState slots_[kSlots] = {};
  bool created_[kSlots] = {};
  int next_ = 0;    // slot the next frame uses
  int oldest_ = 0;  // oldest slot that may be pending
  int open_ = -1;   // slot of the frame being drawn
  int framesSinceFresh_ = 0;
  std::atomic<int> latest_{-1};
};

}  // namespace zem::capture
