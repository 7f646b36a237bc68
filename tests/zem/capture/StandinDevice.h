// Stand-in for a graphics device in host tests: serves a picture held in
// memory through the worker interface and can be told to fail any step.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ScreenShotHelper.h"

namespace zem::capture::test {

// Four coloured quadrants (red, green, blue, white) over a horizontal grey
// gradient band in the middle rows, in the requested byte order.
std::vector<uint8_t> makePattern(int width, int height, PixelOrder order);

struct StandinDevice {
  int width = 0, height = 0;
  PixelOrder order = PixelOrder::kBgrx;
  std::vector<uint8_t> pixels;
  int failCaptures = 0, failCopies = 0, failLocks = 0;  // calls still to fail
  int busyLocks = 0;                                    // maps still to find the frame not ready
  const char* refusedFormat = nullptr;                  // a render-target format the worker does not take
  int rowPadding = 0;                                   // bytes after each row of `pixels`, as a mapped surface has
  bool copyRows = false;  // map once per image and serve the worker's own copy of the rows
  int captures = 0, copies = 0, locks = 0, unlocks = 0, unmaps = 0, imagesDone = 0;
  bool locked = false;
};

class StandinWorker : public D3DWorker {
 public:
  explicit StandinWorker(StandinDevice& d) : d_(d) {}
  bool capture() override {
    if (d_.refusedFormat) {
      ++d_.captures;
      return refuse(std::string("render target format ") + d_.refusedFormat + " is not supported");
    }
    return step(d_.failCaptures, d_.captures);
  }
  bool copy() override { return step(d_.failCopies, d_.copies); }
  bool lockFrame(FrameView& f) override {
    if (d_.copyRows) return D3DWorker::lockFrame(f);
    if (!mapFrame(f)) return false;
    d_.locked = true;
    return true;
  }
  void unlockFrame(bool imageDone) override {
    if (d_.copyRows) D3DWorker::unlockFrame(imageDone);
    d_.locked = false;
    ++d_.unlocks;
    if (imageDone) ++d_.imagesDone;
  }

 protected:
  bool mapFrame(FrameView& f) override {
    if (d_.busyLocks > 0) {
      --d_.busyLocks;
      ++d_.locks;
      return check(kWasStillDrawing11);
    }
    if (!step(d_.failLocks, d_.locks)) return false;
    f.width = d_.width;
    f.height = d_.height;
    f.pitch = static_cast<ptrdiff_t>(d_.width) * 4 + d_.rowPadding;
    f.pixels = d_.pixels.empty() ? nullptr : d_.pixels.data();
    f.order = d_.order;
    if (d_.copyRows) d_.locked = true;
    return true;
  }
  void unmapFrame() override {
    d_.locked = false;
    ++d_.unmaps;
  }

 private:
  bool step(int& fail, int& count) {
    ++count;
    if (fail > 0) {
      --fail;
      return check(-1);
    }
    return check(0);
  }
  StandinDevice& d_;
};

}  // namespace zem::capture::test
