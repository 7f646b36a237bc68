#include "ScreenshotSession.h"

#include <cstdio>
#include <cstring>

namespace zem::capture {

ScreenshotSession::ScreenshotSession(WorkerFactory factory, TraceFn trace, GpuSourceFactory gpuFactory)
    : factory_(std::move(factory)), trace_(std::move(trace)), gpuFactory_(std::move(gpuFactory)) {}

void ScreenshotSession::setGraphicsDevice(void* device, int type) {
  if (type != 1 && type != 2) return;
  device_.store(device);
  deviceType_.store(type == 1 ? kD3D9 : kD3D11);
}

void ScreenshotSession::setups(int width, int height, int ignored1, int ignored2, int sliceCount,
                               const char* directory) {
  char text[160];
  Slicing slicing;
  if (!computeSlicing(height, sliceCount, slicing)) {
    std::snprintf(text, sizeof text, "Setups refused : sliceCount %d is outside 1..%d\n", sliceCount, height);
    trace(text);
    return;
  }
  if (!directory || std::strlen(directory) >= kDirectorySize) {
    std::snprintf(text, sizeof text, "Setups refused : directory missing or longer than %d bytes\n",
                  static_cast<int>(kDirectorySize - 1));
    trace(text);
    return;
  }
  std::lock_guard<std::mutex> lock(settingsMutex_);
  settings_ = Settings{true, width, height, ignored1, ignored2, sliceCount, directory};
}

void ScreenshotSession::setEventIds(int init, int beginDraw, int endDraw, int, int fallback) {
  initEvent_.store(init);
  beginEvent_.store(beginDraw);
  endEvent_.store(endDraw);
  fallbackEvent_.store(fallback);
}

int ScreenshotSession::nativeInit() {
  const int type = deviceType_.load();
  if (type == kNoDevice) return 0;
  Settings s;
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    s = settings_;
  }
  if (!s.set) {
    trace("Screenshot init failed : no valid Setups\n");
    return 0;
  }
  auto helper = std::make_shared<CScreenShotHelperD3D>(trace_, factory_(type, device_.load()));
  if (!helper->setup(s.width, s.height, s.ignored1, s.ignored2, s.sliceCount, s.directory.c_str())) {
    trace("Screenshot init failed : no worker for the graphics device\n");
    return 0;
  }
  // The queries are made at the first begin-draw, on the render thread.
  GpuSourceFactory gpuFactory = gpuFactory_;
  void* device = device_.load();
  std::atomic_store(&gpuTimer_, std::make_shared<GpuFrameTimer>([gpuFactory, type, device] {
    return gpuFactory ? gpuFactory(type, device) : nullptr;
  }));
  std::atomic_store(&helper_, helper);
  return 1;
}

void ScreenshotSession::screenshot(const char* name) { screenshotSuccess(name); }

bool ScreenshotSession::screenshotSuccess(const char* name) {
  if (auto h = helper()) return h->request(name);
  char text[300];
  std::snprintf(text, sizeof text, "Screenshot failed : g_init = false !  file name %.200s\n", name ? name : "(null)");
  trace(text);
  return false;
}

// The GPU timer measures the engine's frame between the two events, not the
// screenshot steps: it starts after the copy and stops before the capture.
void ScreenshotSession::beginDraw() {
  if (auto h = helper()) h->beginDraw();
  if (auto t = std::atomic_load(&gpuTimer_)) t->frameBegin();
}

void ScreenshotSession::endDraw() {
  if (auto t = std::atomic_load(&gpuTimer_)) t->frameEnd();
  if (auto h = helper()) h->endDraw();
}

int ScreenshotSession::gpuFrameMicroseconds() const {
  auto t = std::atomic_load(&gpuTimer_);
  return t ? t->latestMicroseconds() : -1;
}

void ScreenshotSession::renderEvent(int eventId) {
  if (eventId == -1) return;  // the number of every event not set
  if (eventId == initEvent_.load())
    nativeInit();
  else if (eventId == beginEvent_.load())
    beginDraw();
  else if (eventId == endEvent_.load())
    endDraw();
}

ScreenshotSession& screenshots() {
  static ScreenshotSession* session = new ScreenshotSession();  // lives until the process ends
  return *session;
}

int gpuFrameMicroseconds() { return screenshots().gpuFrameMicroseconds(); }

}  // namespace zem::capture
