// The LogManager_ exports of vexolib: C linkage, C calling convention.
// A bool argument is taken from the low byte of its 32-bit slot.
#pragma once
#include <cstdint>

#include "../vexolib_api.h"

namespace vexolib::log {
struct LogAgent;
class LogModule;
}  // namespace vexolib::log

VEXOLIB_API vexolib::log::LogAgent* VEXOLIB_CALL LogManager_NewLogAgent();
// The module handle for a null agent, else the agent's category index (0 for
// an agent without a name, -1 when the table is full or the agent is invalid).
// 32 bits wide in the shipped 32-bit library, pointer wide elsewhere.
VEXOLIB_API intptr_t VEXOLIB_CALL LogManager_Init(vexolib::log::LogAgent* agent);
VEXOLIB_API void VEXOLIB_CALL LogManager_SetCatagory(vexolib::log::LogAgent* agent, const char* name, const char* path,
                                                     int32_t flushImmediately, int32_t keepOldFile);
VEXOLIB_API void VEXOLIB_CALL LogManager_SetLogModule(vexolib::log::LogAgent* agent, vexolib::log::LogModule* module);
VEXOLIB_API void VEXOLIB_CALL LogManager_Stop(vexolib::log::LogAgent* agent);
VEXOLIB_API void VEXOLIB_CALL LogManager_Destroy();
VEXOLIB_API void VEXOLIB_CALL LogManager_printf3(vexolib::log::LogAgent* agent, int32_t level, int32_t category,
                                                 const char* format, ...);
VEXOLIB_API void VEXOLIB_CALL LogManager_printf2(vexolib::log::LogAgent* agent, int32_t level, const char* format, ...);
VEXOLIB_API void VEXOLIB_CALL LogManager_print3(vexolib::log::LogAgent* agent, int32_t level, int32_t category,
                                                const char* text);
VEXOLIB_API void VEXOLIB_CALL LogManager_print2(vexolib::log::LogAgent* agent, int32_t level, const char* text);
VEXOLIB_API void VEXOLIB_CALL LogManager_buff_printf(vexolib::log::LogAgent* agent, const char* format, ...);
VEXOLIB_API void VEXOLIB_CALL LogManager_commit_buff(vexolib::log::LogAgent* agent, int32_t level);
VEXOLIB_API void VEXOLIB_CALL LogManager_clear_buff(vexolib::log::LogAgent* agent);
VEXOLIB_API const char* VEXOLIB_CALL LogManager_get_log_buff(vexolib::log::LogAgent* agent, int32_t* length);
