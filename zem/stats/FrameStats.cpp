#include "FrameStats.h"

#include <climits>
#include <cstring>

namespace zem {

namespace {
struct IdName {
  int id;
  const char* text;    // text form
  const char* binary;  // binary form
};
const IdName kFrameIds[] = {
    {0, "Root", "Root"},
    {100, "FPS", "FPS"},
    {101, "MonoHeap", "MonoHeap"},
    {102, "monoHeap.used", "monoHeap.used"},
    {103, "monoHeap.unused", "monoHeap.unused"},
    {200, "DrawCall", "DrawCall"},
    {201, "Opaque", "drawcall.opaque"},
    {202, "Transparent", "drawcall.transparent"},
    {203, "Triangles", "Triangles"},
    {204, "Opaque", "triangles.opaque"},
    {205, "Transparent", "triangles.transparent"},
    {206, "GPUTime", "GPUTime"},
    {207, "gpu.time", "gpu.time"},
    {208, "FrameTime", "FrameTime"},
    {209, "frametime", "frametime"},
};

int clampToInt(int64_t v) { return v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : static_cast<int>(v)); }
}  // namespace

FrameStats::~FrameStats() = default;

void FrameStats::writeFrameIdMap(const char* path) {
  if (!path) return;
  OutFile f;
  if (!f.open(path, "wb")) return;
  if (records_.binary()) {
    records_.writeHeader(f);
    for (const IdName& r : kFrameIds)
      records_.writeRecord(f, static_cast<uintptr_t>(r.id), r.binary, std::strlen(r.binary));
  } else {
    for (const IdName& r : kFrameIds) f.print("%d,%s\r\n", r.id, r.text);
  }
  int rc = 0;
  f.close(rc);  // a failed write leaves whole records; the call has no result to say more
}

int FrameStats::getStat(int type) const {
  switch (type) {
    case 0:
      return 0;  // draw calls: no source
    case 1:
      return static_cast<int>(static_cast<uint32_t>(heapUnused_ + heapUsed_));
    case 2:
      return static_cast<int>(static_cast<uint32_t>(heapUsed_));
    case 3: {
      const int us = gpuTimeFn_ ? gpuTimeFn_() : -1;
      return us > 0 ? us : 0;
    }
    default:
      return -1;
  }
}

void FrameStats::frameEnd(int frame) {
  const int64_t now = clock_.micros();
  if (!clockStarted_) {
    clockStarted_ = true;
    frameClockStart_ = fpsClockStart_ = now;
    curMs_ = prevMs_ = 0;
  } else {
    curMs_ = (now - frameClockStart_) / 1000;
  }
  if (timeFile_) writeTimeLine(frame);
  if (frame > 0) {
    if (frame % 30 == 0 && fpsFile_) writeFps(frame, now);
    if (graphicsFile_) writeGraphics(frame);
  }
  if (frame % 30 == 0 && memoryFile_) writeMemory(frame);
}

void FrameStats::writeTimeLine(int frame) {
  const int64_t sec = curMs_ / 1000;
  const int ms = static_cast<int>(curMs_ % 1000);
  if (sec == lastSec_) {
    timeFile_.print("%d,.%d\r\n", frame, ms);
  } else {
    lastSec_ = sec;
    timeFile_.print("%d,%d.%d\r\n", frame, clampToInt(sec), ms);
  }
  timeFile_.flush();
}

void FrameStats::writeFps(int frame, int64_t now) {
  // A first block right after the clock started would divide by zero.
  const int64_t us = now - fpsClockStart_ > 0 ? now - fpsClockStart_ : 1;
  const int64_t fps = 30000000 / us;
  fpsFile_.print("#%d\r\n1,100,0,%d\r\n", frame, clampToInt(fps));
  fpsFile_.flush();
  fpsClockStart_ = now;
}

void FrameStats::writeGraphics(int frame) {
  graphicsFile_.print("#%d\r\n", frame);
  const int64_t frameTime = curMs_ - prevMs_;
  const int64_t value = frameTime < overheadMs_ ? 0 : frameTime - overheadMs_;
  overheadMs_ = 0;
  graphicsFile_.print("1,208,0,0\r\n2,209,0,%d\r\n", clampToInt(value));
  // GPU time in microseconds (a frame's GPU work is often below one millisecond).
  const int gpuUs = gpuTimeFn_ ? gpuTimeFn_() : -1;
  if (gpuUs >= 0) graphicsFile_.print("1,206,0,0\r\n2,207,0,%d\r\n", gpuUs);
  prevMs_ = curMs_;
  graphicsFile_.flush();
}

void FrameStats::writeMemory(int frame) {
  heapUsed_ = heapUsedFn_ ? heapUsedFn_() : 0;
  // Without a heap-size function nothing is known to be unused (not minus the used part).
  heapUnused_ = heapTotalFn_ ? heapTotalFn_() - heapUsed_ : 0;
  memoryFile_.print("#%d\r\n1,101,0,0\r\n2,102,0,%d\r\n2,103,0,%d\r\n", frame, clampToInt(heapUsed_ / 1024),
               clampToInt(heapUnused_ / 1024));
  memoryFile_.flush();
}

}  // namespace zem
