// Exports of the log manager. Each runs its body through the export guard:
// nothing thrown inside (out of memory in a chunk, a string, a vector)
// crosses the export; the call returns its failure result instead.
#include "LogExports.h"

#include <cstdarg>

#include "LogManager.h"
#include "base/Guard.h"

namespace lg = vexolib::log;
using vekt::base::guardedCall;

namespace {
bool low(int32_t slot) { return (slot & 0xFF) != 0; }
}  // namespace

VEXOLIB_API lg::LogAgent* VEXOLIB_CALL LogManager_NewLogAgent() {
  return guardedCall<lg::LogAgent*>(nullptr, [] { return lg::newAgent(); });
}

VEXOLIB_API intptr_t VEXOLIB_CALL LogManager_Init(lg::LogAgent* agent) {
  return guardedCall<intptr_t>(agent ? -1 : 0, [&] { return lg::init(agent); });
}

VEXOLIB_API void VEXOLIB_CALL LogManager_SetCatagory(lg::LogAgent* agent, const char* name, const char* path,
                                                     int32_t flushImmediately, int32_t keepOldFile) {
  guardedCall([&] { lg::setCategory(agent, name, path, low(flushImmediately), low(keepOldFile)); });
}

VEXOLIB_API void VEXOLIB_CALL LogManager_SetLogModule(lg::LogAgent* agent, lg::LogModule* module) {
  guardedCall([&] { lg::setModule(agent, module); });
}

VEXOLIB_API void VEXOLIB_CALL LogManager_Stop(lg::LogAgent* agent) {
  guardedCall([&] { lg::stop(agent); });
}

VEXOLIB_API void VEXOLIB_CALL LogManager_Destroy() {
  guardedCall([] { lg::destroy(); });
}

VEXOLIB_API void VEXOLIB_CALL LogManager_printf3(lg::LogAgent* agent, int32_t level, int32_t category,
                                                 const char* format, ...) {
  va_list args;
  va_start(args, format);
  guardedCall([&] { lg::vprintTo(agent, level, category, format, args); });
  va_end(args);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_printf2(lg::LogAgent* agent, int32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  guardedCall([&] { lg::vprintOwn(agent, level, format, args); });
  va_end(args);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_print3(lg::LogAgent* agent, int32_t level, int32_t category,
                                                const char* text) {
  guardedCall([&] { lg::printTo(agent, level, category, text); });
}

VEXOLIB_API void VEXOLIB_CALL LogManager_print2(lg::LogAgent* agent, int32_t level, const char* text) {
  guardedCall([&] { lg::printOwn(agent, level, text); });
}

VEXOLIB_API void VEXOLIB_CALL LogManager_buff_printf(lg::LogAgent* agent, const char* format, ...) {
  va_list args;
  va_start(args, format);
  guardedCall([&] { lg::vbuffPrintf(agent, format, args); });
  va_end(args);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_commit_buff(lg::LogAgent* agent, int32_t level) {
  guardedCall([&] { lg::commitBuff(agent, level); });
}

VEXOLIB_API void VEXOLIB_CALL LogManager_clear_buff(lg::LogAgent* agent) {
  guardedCall([&] { lg::clearBuff(agent); });
}

VEXOLIB_API const char* VEXOLIB_CALL LogManager_get_log_buff(lg::LogAgent* agent, int32_t* length) {
  return guardedCall<const char*>("null", [&] { return lg::getLogBuff(agent, length); });
}
