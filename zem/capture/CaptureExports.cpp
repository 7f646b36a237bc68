// Exports of the screenshot room: the engine's device, the settings, requests
// and the render events that drive the screenshot steps.
#include "Exports.h"
#include "capture/ScreenshotSession.h"
#include "session/Profiler.h"

using zem::guardedCall;
using zem::capture::screenshots;

ZEM_API void UnitySetGraphicsDevice(void* device, int type, int) {
  guardedCall([&] {
    screenshots().setGraphicsDevice(device, type);
    zem::session().setGpuTimeFunction(zem::capture::gpuFrameMicroseconds);
  });
}
ZEM_API void UnityRenderEvent(int eventId) {
  guardedCall([&] { screenshots().renderEvent(eventId); });
}
ZEM_API void Setups(int width, int height, int ignored1, int ignored2, int sliceCount, const char* directory) {
  guardedCall([&] { screenshots().setups(width, height, ignored1, ignored2, sliceCount, directory); });
}
ZEM_API void SetEventId(int init, int beginDraw, int endDraw, int ignored, int fallback) {
  guardedCall([&] { screenshots().setEventIds(init, beginDraw, endDraw, ignored, fallback); });
}
ZEM_API int NativeInit() {
  return guardedCall(0, [&] { return screenshots().nativeInit(); });
}
ZEM_API void BeginDraw() {
  guardedCall([&] { screenshots().beginDraw(); });
}
ZEM_API void EndDraw() {
  guardedCall([&] { screenshots().endDraw(); });
}
ZEM_API void Screenshot(const char* name) {
  guardedCall([&] { screenshots().screenshot(name); });
}
ZEM_API int32_t ScreenshotSuccess(const char* name) {
  return guardedCall<int32_t>(0, [&] { return screenshots().screenshotSuccess(name); });
}
