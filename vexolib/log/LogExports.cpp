// Exports of the log manager. No exception crosses them: a failure inside
// (out of memory) leaves the call without effect.
#include "LogExports.h"

#include <cstdarg>

#include "LogManager.h"

namespace lg = vexolib::log;

namespace {
bool low(int32_t slot) { return (slot & 0xFF) != 0; }
}  // namespace

VEXOLIB_API lg::LogAgent* VEXOLIB_CALL LogManager_NewLogAgent() { return lg::newAgent(); }

VEXOLIB_API intptr_t VEXOLIB_CALL LogManager_Init(lg::LogAgent* agent) {
  try {
    return lg::init(agent);
  } catch (...) {
    return agent ? -1 : 0;
  }
}

VEXOLIB_API void VEXOLIB_CALL LogManager_SetCatagory(lg::LogAgent* agent, const char* name, const char* path,
                                                     int32_t flushImmediately, int32_t keepOldFile) {
  try {
    lg::setCategory(agent, name, path, low(flushImmediately), low(keepOldFile));
  } catch (...) {
  }
}

VEXOLIB_API void VEXOLIB_CALL LogManager_SetLogModule(lg::LogAgent* agent, lg::LogModule* module) {
  try {
    lg::setModule(agent, module);
  } catch (...) {
  }
}

VEXOLIB_API void VEXOLIB_CALL LogManager_Stop(lg::LogAgent* agent) { lg::stop(agent); }

VEXOLIB_API void VEXOLIB_CALL LogManager_Destroy() {
  try {
    lg::destroy();
  } catch (...) {
  }
}

VEXOLIB_API void VEXOLIB_CALL LogManager_printf3(lg::LogAgent* agent, int32_t level, int32_t category,
                                                 const char* format, ...) {
  va_list args;
  va_start(args, format);
  lg::vprintTo(agent, level, category, format, args);
  va_end(args);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_printf2(lg::LogAgent* agent, int32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  lg::vprintOwn(agent, level, format, args);
  va_end(args);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_print3(lg::LogAgent* agent, int32_t level, int32_t category,
                                                const char* text) {
  lg::printTo(agent, level, category, text);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_print2(lg::LogAgent* agent, int32_t level, const char* text) {
  lg::printOwn(agent, level, text);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_buff_printf(lg::LogAgent* agent, const char* format, ...) {
  va_list args;
  va_start(args, format);
  lg::vbuffPrintf(agent, format, args);
  va_end(args);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_commit_buff(lg::LogAgent* agent, int32_t level) {
  lg::commitBuff(agent, level);
}

VEXOLIB_API void VEXOLIB_CALL LogManager_clear_buff(lg::LogAgent* agent) { lg::clearBuff(agent); }

VEXOLIB_API const char* VEXOLIB_CALL LogManager_get_log_buff(lg::LogAgent* agent, int32_t* length) {
  return lg::getLogBuff(agent, length);
}
