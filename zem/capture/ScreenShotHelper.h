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
  // Failed steps one image may take before it is given up. What clears by itself
  // (a device busy with a mode change, a file held for a moment by a virus scanner)
  // clears within a few frames; a folder that does not exist or a lost device does
  // not, and the image in progress holds back every later request.
  static constexpr int kMaxFailures = 10;

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
  // Why the step that just failed can never succeed for this image; empty when a
  // retry may help.
  virtual std::string refusal() const { return {}; }
  // The step that just failed only found the device still busy with the frame.
  virtual bool stillDrawing() const { return false; }
  // Drops what the graphics side holds for an image that is given up.
  virtual void dropImage() {}
  // Encodes the next slice of `frame`; true when the image is finished or abandoned.
  bool encodeSlice(const FrameView& frame);
  // A step of the current image failed: counted, and the image is given up (state
  // idle again, with a trace line) when it cannot succeed or has failed too often.
  void stepFailed(const char* step);
  void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  bool startImage(const FrameView& frame);
  bool abandonImage(const char* why);
  void giveUp(const std::string& why);

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
  int failures_ = 0;  // failed steps of the current image
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
  // Drops the frame of an image that is given up.
  virtual void dropImage();
  long lastResult() const { return lastResult_; }
  // Why the last failed step can never succeed (a render-target format it does not
  // take); empty when a retry may help.
  const std::string& refusal() const { return refusal_; }
  // The last failed call found the device still busy ("was still drawing" of
  // Direct3D 9 and of DXGI): not a failure, the frame is simply not ready yet.
  bool stillDrawing() const { return lastResult_ == kWasStillDrawing9 || lastResult_ == kWasStillDrawing11; }
  static constexpr long kWasStillDrawing9 = static_cast<int32_t>(0x8876021Cu);
  static constexpr long kWasStillDrawing11 = static_cast<int32_t>(0x887A000Au);

 protected:
  virtual bool mapFrame(FrameView&) { return false; }
  virtual void unmapFrame() {}
  // Keeps the code of a failed call; true when it succeeded.
  bool check(long hr) {
    lastResult_ = hr;
    return hr >= 0;
  }
  // Fails the step for good; why names what cannot be taken.
  bool refuse(std::string why) {
    refusal_ = std::move(why);
    return check(kInvalidArgument);
  }
  static constexpr long kInvalidArgument = static_cast<int32_t>(0x80070057u);
  long lastResult_ = 0;

 private:
  std::string refusal_;
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
  std::string refusal() const override { return worker_ ? worker_->refusal() : std::string(); }
  bool stillDrawing() const override { return worker_ && worker_->stillDrawing(); }
  void dropImage() override {
    if (worker_) worker_->dropImage();
  }

 private:
  std::unique_ptr<D3DWorker> worker_;
};

// graphicsDeviceType 0: Direct3D 9, 1: Direct3D 11. Null where the build has
// no Direct3D or the device is missing.
std::unique_ptr<D3DWorker> makeD3DWorker(int graphicsDeviceType, void* device);

}  // namespace zem::capture
