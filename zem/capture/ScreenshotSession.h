// The screenshot side of the plug-in's session: the device the engine hands
// over, the settings, the render event numbers and the one current helper.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "GpuTimer.h"
#include "ScreenShotHelper.h"

namespace zem::capture {

class ScreenshotSession {
 public:
  using WorkerFactory = std::function<std::unique_ptr<D3DWorker>(int deviceType, void* device)>;
  using GpuSourceFactory = std::function<std::unique_ptr<GpuQuerySource>(int deviceType, void* device)>;
  enum DeviceType { kD3D9 = 0, kD3D11 = 1, kNoDevice = 2 };

  explicit ScreenshotSession(WorkerFactory factory = makeD3DWorker, TraceFn trace = {},
                             GpuSourceFactory gpuFactory = makeGpuQuerySource);

  // Engine types: 1 Direct3D 9, 2 Direct3D 11; others change nothing.
  void setGraphicsDevice(void* device, int type);
  void setups(int width, int height, int ignored1, int ignored2, int sliceCount, const char* directory);
  void setEventIds(int init, int beginDraw, int endDraw, int ignored, int fallback);
  int nativeInit();
  void screenshot(const char* name);
  bool screenshotSuccess(const char* name);
  void beginDraw();
  void endDraw();
  void renderEvent(int eventId);

  // GPU microseconds of a recent frame (measured between begin-draw and end-draw);
  // -1 while no device timer runs.
  int gpuFrameMicroseconds() const;

  int deviceType() const { return deviceType_.load(); }
  bool ready() const { return std::atomic_load(&helper_) != nullptr; }
  std::shared_ptr<CScreenShotHelperD3D> helper() const { return std::atomic_load(&helper_); }

 private:
  void trace(const std::string& text) const {
    if (trace_) trace_(text);
  }

  WorkerFactory factory_;
  TraceFn trace_;
  GpuSourceFactory gpuFactory_;
  std::atomic<int> deviceType_{kNoDevice};
  std::atomic<void*> device_{nullptr};

  struct Settings {
    bool set = false;
    int width = 0, height = 0, ignored1 = 0, ignored2 = 0, sliceCount = 0;
    std::string directory;
  };
  std::mutex settingsMutex_;
  Settings settings_;

  std::atomic<int> initEvent_{-1}, beginEvent_{-1}, endEvent_{-1}, fallbackEvent_{-1};
  // Swapped whole by NativeInit; a thread still using the old one keeps it alive.
  std::shared_ptr<CScreenShotHelperD3D> helper_;
  std::shared_ptr<GpuFrameTimer> gpuTimer_;  // replaced with the helper, used by the render thread
};

// The plug-in's one screenshot session.
ScreenshotSession& screenshots();
// Its GPU frame time, for the statistics (a plain function the session can hold).
int gpuFrameMicroseconds();

}  // namespace zem::capture
