// Screenshots spread over the engine's render events: the end-draw after a
// request grabs the render target, the next begin-draw copies it into memory
// the CPU can read, and each following end-draw encodes one slice of rows.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "JpegEncoder.h"

namespace zem::capture {

// Diagnostic texts; the plug-in's sink discards them, tests read them. Called
// from the requesting and the render thread.
using TraceFn = std::function<void(const std::string& text)>;

// Rows of the last rendered frame as the CPU sees them.
struct FrameView {
  int width = 0;
  int height = 0;
  ptrdiff_t pitch = 0;
  const uint8_t* pixels = nullptr;
  PixelOrder order = PixelOrder::kBgrx;
};

// Size limits of the texts a helper keeps, terminating NUL included.
constexpr size_t kDirectorySize = 200;
constexpr size_t kFileNameSize = 200;
constexpr size_t kPathSize = 300;

// Slicing of an image of `height` rows in `sliceCount` parts; false when the
// count is outside 1..height.
struct Slicing {
  int sliceRows = 0;
  int sliceTotal = 1;
};
bool computeSlicing(int height, int sliceCount, Slicing& out);
// Rows [first, end) of slice `index` for a frame of `frameHeight` rows.
void sliceRows(const Slicing& s, int index, int frameHeight, int& first, int& end);

class CScreenShotHelperBase {
 public:
  enum State : int32_t { kIdle = 0, kRequested = 1, kCapturing = 2, kCaptured = 3, kEncoding = 4 };

  explicit CScreenShotHelperBase(TraceFn trace);
  virtual ~CScreenShotHelperBase();
  CScreenShotHelperBase(const CScreenShotHelperBase&) = delete;
  CScreenShotHelperBase& operator=(const CScreenShotHelperBase&) = delete;

  // False (with a trace line) when sliceCount is outside 1..height or the
  // directory does not fit.
  bool init(int width, int height, int ignored1, int ignored2, int sliceCount, const char* directory);
  // Called by the requesting thread; false when an image is still in progress
  // or the name does not fit.
  bool request(const char* name);
  // Render thread only.
  void beginDraw();
  void endDraw();

  int32_t state() const { return state_.load(std::memory_order_acquire); }
  const Slicing& slicing() const { return slicing_; }
  int sliceIndex() const { return sliceIndex_; }
  int rowsEncoded() const { return encoder_.rowsWritten(); }

 protected:
  virtual bool capture() = 0;
  virtual bool copy() = 0;
  virtual bool encode() = 0;
  // Encodes the next slice of `frame`; true when the image is finished or abandoned.
  bool encodeSlice(const FrameView& frame);
  void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  bool startImage(const FrameView& frame);
  bool abandonImage(const char* why);

  TraceFn trace_;
  std::atomic<int32_t> state_{kIdle};
  std::mutex requestMutex_;  // between requesting threads only
  char directory_[kDirectorySize] = {};
  char fileName_[kFileNameSize] = {};
  char path_[kPathSize] = {};
  bool initialised_ = false;
  int height_ = 0;
  Slicing slicing_;
  int sliceIndex_ = 0;
  JpegEncoder encoder_;
  FileSink file_;
};

// One graphics interface's steps: grab the render target, copy it where the
// CPU can read it, and show those rows while the slices are encoded.
class D3DWorker {
 public:
  virtual ~D3DWorker() = default;
  virtual bool capture() = 0;
  virtual bool copy() = 0;
  // Rows of the copied frame. By default the frame is mapped once per image,
  // its rows kept in the worker's own memory and the device resource unmapped
  // at once, so nothing stays locked across frames.
  virtual bool lockFrame(FrameView& frame);
  // imageDone: the last slice has been written or the image was abandoned.
  virtual void unlockFrame(bool imageDone);
  long lastResult() const { return lastResult_; }

 protected:
  virtual bool mapFrame(FrameView&) { return false; }
  virtual void unmapFrame() {}
  // Keeps the code of a failed call; true when it succeeded.
  bool check(long hr) {
    lastResult_ = hr;
    return hr >= 0;
  }
  long lastResult_ = 0;

 private:
  bool haveRows_ = false;
  FrameView rows_;
  std::vector<uint8_t> rowBytes_;
};

class CScreenShotHelperD3D : public CScreenShotHelperBase {
 public:
  CScreenShotHelperD3D(TraceFn trace, std::unique_ptr<D3DWorker> worker);
  bool setup(int width, int height, int ignored1, int ignored2, int sliceCount, const char* directory);
  D3DWorker* worker() const { return worker_.get(); }

 protected:
  bool capture() override;
  bool copy() override;
  bool encode() override;

 private:
  std::unique_ptr<D3DWorker> worker_;
};

// graphicsDeviceType 0: Direct3D 9, 1: Direct3D 11. Null where the build has
// no Direct3D or the device is missing.
std::unique_ptr<D3DWorker> makeD3DWorker(int graphicsDeviceType, void* device);

}  // namespace zem::capture
