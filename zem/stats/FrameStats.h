// Per-frame statistics files: frame timestamps, frames per second, frame
// time less the host's overhead, and the managed heap; the fixed identifier
// names of those files; the realtime figures of GetStat.
#pragma once
#include <cstdint>
#include <cstdio>

#include "StatsClock.h"
#include "records/RecordWriter.h"

namespace zem {

class FrameStats {
 public:
  using HeapSizeFn = int64_t (*)();
  // GPU microseconds of a recent frame, or -1 while the device has no timer.
  using GpuTimeFn = int (*)();
  FrameStats(StatsClock& clock, RecordWriter& records) : clock_(clock), records_(records) {}
  ~FrameStats();

  void openTimeFile(const char* path) { reopenTruncatedAppend(timeFile_, path); }
  void openFpsFile(const char* path) { reopenTruncatedAppend(fpsFile_, path); }
  void openGraphicsFile(const char* path) { reopenTruncatedAppend(graphicsFile_, path); }
  void openMemoryFile(const char* path) { reopenTruncatedAppend(memoryFile_, path); }
  // Writes the identifier names of the statistics files into a new file.
  void writeFrameIdMap(const char* path);

  // The runtime's heap figures; null where the runtime lacks the function.
  void setHeapFunctions(HeapSizeFn used, HeapSizeFn total) {
    heapUsedFn_ = used;
    heapTotalFn_ = total;
  }
  // Where the GPU frame time comes from; without one GetStat(3) is 0 and the
  // graphics file has no GPU group.
  void setGpuTimeFunction(GpuTimeFn fn) { gpuTimeFn_ = fn; }
  int addOverhead(int ms) {
    overheadMs_ += ms;
    return ms;
  }
  int getStat(int type) const;

  // Frame-end steps: frame clock, time line, FPS and graphics blocks, heap sample.
  void frameEnd(int frame);

  void closeTimeFile(int& rc) { closeFile(timeFile_, rc); }
  void closeFpsFile(int& rc) { closeFile(fpsFile_, rc); }
  void closeGraphicsFile(int& rc) { closeFile(graphicsFile_, rc); }
  void closeMemoryFile(int& rc) { closeFile(memoryFile_, rc); }

 private:
  void writeTimeLine(int frame);
  void writeFps(int frame, int64_t now);
  void writeGraphics(int frame);
  void writeMemory(int frame);

  StatsClock& clock_;
  RecordWriter& records_;
  OutFile timeFile_;
  OutFile fpsFile_;
  OutFile graphicsFile_;
  OutFile memoryFile_;
  HeapSizeFn heapUsedFn_ = nullptr;
  HeapSizeFn heapTotalFn_ = nullptr;
  GpuTimeFn gpuTimeFn_ = nullptr;

  // Times are kept in 64 bits: a 32-bit microsecond clock wraps after 71.6 minutes.
  bool clockStarted_ = false;
  int64_t frameClockStart_ = 0;
  int64_t fpsClockStart_ = 0;
  int64_t curMs_ = 0;
  int64_t prevMs_ = 0;
  int64_t lastSec_ = -1;
  int64_t overheadMs_ = 0;
  int64_t heapUsed_ = 0;
  int64_t heapUnused_ = 0;
};

}  // namespace zem
