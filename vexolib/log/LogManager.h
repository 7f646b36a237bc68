// The game-facing operations behind the LogManager_ exports: agents, the
// one module of the process, and the agents' composition buffers.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>

#include "LogModule.h"

namespace vexolib::log {

constexpr int32_t kAgentStep = 4096;          // composition buffer growth
constexpr int32_t kCommitLimit = 3840;        // longest buffer commit_buff writes
constexpr int32_t kAgentBufferMax = 1 << 24;  // an append that would pass this is refused
constexpr size_t kMaxPathUnits = 259;         // UTF-16 units of a category path

struct LogAgent {
  uint32_t magic;
  LogModule* module = nullptr;
  uint64_t generation = 0;  // tells a module from a later one at the same address
  int32_t category = -1;
  std::string name;
  std::u16string path;
  bool flushImmediately = false;
  char* buffer = nullptr;
  int32_t length = 0;
  int32_t capacity = 0;
};

LogAgent* newAgent();
intptr_t init(LogAgent* agent);
void setCategory(LogAgent* agent, const char* name, const char* path, bool flushImmediately, bool keepOldFile);
void setModule(LogAgent* agent, LogModule* module);
void stop(LogAgent* agent);
void destroy();
void vprintTo(LogAgent* agent, int32_t level, int32_t category, const char* format, va_list args);
void vprintOwn(LogAgent* agent, int32_t level, const char* format, va_list args);
void printTo(LogAgent* agent, int32_t level, int32_t category, const char* text);
void printOwn(LogAgent* agent, int32_t level, const char* text);
void vbuffPrintf(LogAgent* agent, const char* format, va_list args);
void commitBuff(LogAgent* agent, int32_t level);
void clearBuff(LogAgent* agent);
const char* getLogBuff(LogAgent* agent, int32_t* length);

// The live module, or null (for tests and the benchmark).
LogModule* currentModule();

}  // namespace vexolib::log
