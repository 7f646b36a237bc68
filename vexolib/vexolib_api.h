// Export decoration shared by the log and network halves of vexolib. The
// declarations themselves are the integrators' header sdk/include/vexolib.h,
// so the library and what game teams compile against cannot drift apart.
#pragma once

#if defined(_WIN32)
#define VEXOLIB_EXPORT __declspec(dllexport)
#else
#define VEXOLIB_EXPORT __attribute__((visibility("default")))
#endif
#define VEXOLIB_API extern "C" VEXOLIB_EXPORT

namespace vexolib::log {
struct LogAgent;
class LogModule;
}  // namespace vexolib::log
#define VEXOLIB_LOG_AGENT vexolib::log::LogAgent
#define VEXOLIB_LOG_MODULE vexolib::log::LogModule

#include "../sdk/include/vexolib.h"

static_assert(sizeof(vexolib_bool) == 1, "one-byte bool results");
