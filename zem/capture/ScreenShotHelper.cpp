#include "ScreenShotHelper.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace zem::capture {

namespace {
// Copies text into a buffer of `size` bytes; false (buffer untouched) when it does not fit.
bool copyText(char* out, size_t size, const char* text) {
  const size_t n = std::strlen(text);
  if (n >= size) return false;
  std::memcpy(out, text, n + 1);
  return true;
}
}  // namespace

bool computeSlicing(int height, int sliceCount, Slicing& out) {
  if (height < 1 || sliceCount < 1 || sliceCount > height) return false;
  out.sliceRows = height / sliceCount;
  out.sliceTotal = (height + out.sliceRows - 1) / out.sliceRows;
  return true;
}

void sliceRows(const Slicing& s, int index, int frameHeight, int& first, int& end) {
  const int64_t from = static_cast<int64_t>(s.sliceRows) * index;
  int64_t to = index >= s.sliceTotal - 1 ? frameHeight : from + s.sliceRows;
  if (to > frameHeight) to = frameHeight;
  end = static_cast<int>(to);
  first = static_cast<int>(from < to ? from : to);
}

CScreenShotHelperBase::CScreenShotHelperBase(TraceFn trace) : trace_(std::move(trace)) {}

CScreenShotHelperBase::~CScreenShotHelperBase() {
  if (encoder_.active()) abandonImage("the screenshot helper was destroyed");
}

void CScreenShotHelperBase::trace(const char* format, ...) {
  if (!trace_) return;
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  trace_(text);
}

bool CScreenShotHelperBase::init(int width, int height, int, int, int sliceCount, const char* directory) {
  (void)width;  // the frame's own width is used
  Slicing slicing;
  if (!computeSlicing(height, sliceCount, slicing)) {
    trace("Screenshot setup refused : sliceCount %d is outside 1..%d\n", sliceCount, height);
    return false;
  }
  if (!directory || !copyText(directory_, sizeof directory_, directory)) {
    trace("Screenshot setup refused : directory missing or longer than %d bytes\n",
          static_cast<int>(kDirectorySize - 1));
    return false;
  }
  height_ = height;
  slicing_ = slicing;
  initialised_ = true;
  trace("Set Path to : %s\n", directory_);
  return true;
}

bool CScreenShotHelperBase::request(const char* name) {
  std::lock_guard<std::mutex> lock(requestMutex_);
  if (state_.load(std::memory_order_acquire) != kIdle) {
    trace("Screenshot was skipped because the previous screenshot is not completed yet !  file name %s",
          name ? name : "(null)");
    return false;
  }
  if (!name || std::strlen(name) >= kFileNameSize || std::strlen(directory_) + std::strlen(name) + 4 >= kPathSize) {
    trace("Screenshot refused : file name missing or too long  file name %.*s\n", static_cast<int>(kFileNameSize),
          name ? name : "(null)");
    return false;
  }
  // The render thread reads the name only after it sees the new state.
  copyText(fileName_, sizeof fileName_, name);
  state_.store(kRequested, std::memory_order_release);
  trace("_readState -> WAIT_FOR_SCREENSHOT  file name %s\n", fileName_);
  return true;
}

void CScreenShotHelperBase::beginDraw() {
  if (state_.load(std::memory_order_acquire) != kCaptured) return;
  if (copy())
    state_.store(kEncoding, std::memory_order_release);
  else
    stepFailed("copy");
}

void CScreenShotHelperBase::endDraw() {
  if (state_.load(std::memory_order_acquire) == kEncoding && encode()) {
    sliceIndex_ = 0;
    failures_ = 0;
    state_.store(kIdle, std::memory_order_release);
  }
  if (state_.load(std::memory_order_acquire) == kRequested) state_.store(kCapturing, std::memory_order_release);
  if (state_.load(std::memory_order_acquire) == kCapturing) {
    if (capture())
      state_.store(kCaptured, std::memory_order_release);
    else
      stepFailed("capture");
  }
}

void CScreenShotHelperBase::stepFailed(const char* step) {
  const std::string why = refusal();
  if (!why.empty()) return giveUp(why);
  if (stillDrawing()) return;
  if (++failures_ < kMaxFailures) return;
  char text[120];
  std::snprintf(text, sizeof text, "%s failed %d times", step, failures_);
  giveUp(text);
}

void CScreenShotHelperBase::giveUp(const std::string& why) {
  if (encoder_.active())
    abandonImage(why.c_str());
  else
    trace("Screenshot abandoned : %s  file name %s\n", why.c_str(), fileName_);
  dropImage();
  sliceIndex_ = 0;
  failures_ = 0;
  state_.store(kIdle, std::memory_order_release);
}

bool CScreenShotHelperBase::abandonImage(const char* why) {
  encoder_.abandon();
  file_.close();
  // A cut-off JPEG would pass for a screenshot.
  std::remove(path_);
  trace("Screenshot abandoned : %s  file %s\n", why, path_);
  sliceIndex_ = 0;
  return true;
}

// True when the image could start; false to retry at the next end-draw.
bool CScreenShotHelperBase::startImage(const FrameView& frame) {
  // request() made sure the three parts fit.
  const size_t d = std::strlen(directory_), n = std::strlen(fileName_);
  std::memcpy(path_, directory_, d);
  std::memcpy(path_ + d, fileName_, n);
  std::memcpy(path_ + d + n, ".jpg", 5);
  trace("Writing JPEG image to file: %s\n", path_);
  file_.close();
  if (!file_.open(path_)) return false;
  if (!encoder_.start(file_, frame.width, frame.height, frame.order)) {
    file_.close();
    std::remove(path_);
    return false;
  }
  return true;
}

bool CScreenShotHelperBase::encodeSlice(const FrameView& frame) {
  if (!initialised_ || fileName_[0] == '\0') return true;
  if (sliceIndex_ == 0) {
    // Retrying cannot make a frame of this size encodable.
    if (!frame.pixels || !JpegEncoder::sizeSupported(frame.width, frame.height)) {
      trace("Screenshot abandoned : frame of %dx%d cannot be encoded  file name %s\n", frame.width, frame.height,
            fileName_);
      return true;
    }
    if (!startImage(frame)) {
      stepFailed("opening the file");
      return false;
    }
  }
  int first = 0, end = 0;
  sliceRows(slicing_, sliceIndex_, frame.height, first, end);
  if (!encoder_.writeRows(frame.pixels + first * frame.pitch, frame.pitch, end - first))
    return abandonImage("the file could not be written");
  if (++sliceIndex_ != slicing_.sliceTotal) return false;
  const bool finished = encoder_.finish();
  if (!file_.close() || !finished) return abandonImage("the file could not be written");
  return true;
}

bool D3DWorker::lockFrame(FrameView& frame) {
  if (!haveRows_) {
    FrameView mapped;
    if (!mapFrame(mapped)) return false;
    rows_ = mapped;
    const size_t rowBytes = static_cast<size_t>(mapped.width) * 4;
    if (!mapped.pixels || mapped.width < 1 || mapped.height < 1 || mapped.pitch < static_cast<ptrdiff_t>(rowBytes)) {
      rows_.pixels = nullptr;  // the encoder gives the image up
    } else {
      try {
        rowBytes_.resize(rowBytes * static_cast<size_t>(mapped.height));
      } catch (const std::bad_alloc&) {
        unmapFrame();  // never leave the resource mapped; try again at the next end-draw
        return false;
      }
      for (int y = 0; y < mapped.height; ++y)
        std::memcpy(&rowBytes_[rowBytes * y], mapped.pixels + y * mapped.pitch, rowBytes);
      rows_.pixels = rowBytes_.data();
      rows_.pitch = static_cast<ptrdiff_t>(rowBytes);
    }
    unmapFrame();
    haveRows_ = true;
  }
  frame = rows_;
  return true;
}

void D3DWorker::unlockFrame(bool imageDone) {
  if (imageDone) haveRows_ = false;
}

void D3DWorker::dropImage() {
  haveRows_ = false;
  refusal_.clear();
}

CScreenShotHelperD3D::CScreenShotHelperD3D(TraceFn trace, std::unique_ptr<D3DWorker> worker)
    : CScreenShotHelperBase(std::move(trace)), worker_(std::move(worker)) {}

bool CScreenShotHelperD3D::setup(int width, int height, int ignored1, int ignored2, int sliceCount,
                                 const char* directory) {
  return init(width, height, ignored1, ignored2, sliceCount, directory) && worker_ != nullptr;
}

bool CScreenShotHelperD3D::capture() { return worker_ && worker_->capture(); }
bool CScreenShotHelperD3D::copy() { return worker_ && worker_->copy(); }

bool CScreenShotHelperD3D::encode() {
  if (!worker_) return true;
  FrameView frame;
  if (!worker_->lockFrame(frame)) {
    stepFailed("reading the frame");
    return false;
  }
  const bool done = encodeSlice(frame);
  worker_->unlockFrame(done);
  return done;
}

}  // namespace zem::capture
