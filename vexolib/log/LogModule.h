// The process-wide log module: up to 32 named categories over up to 32
// outputs, a level threshold and the flush thread.
#pragma once
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "LogImpl.h"
#include "base/Semaphore.h"
#include "base/Thread.h"

namespace vexolib::log {

constexpr int32_t kMaxCategories = 32;
constexpr int32_t kMaxLine = 4095;  // bytes of a line including its "\n"
constexpr size_t kFlushThreadStack = 102400;
constexpr uint32_t kFlushIntervalMs = 100;

// Composes one line into out (at least kMaxLine + 1 bytes): prefix, message
// cut at kMaxLine - 1 bytes, then "\n" and a NUL. Returns the line's length.
int32_t composeLine(char* out, const char* timestamp, const char* category, int32_t level, const char* format,
                    va_list args);
int32_t composeText(char* out, const char* timestamp, const char* category, int32_t level, const char* text);
// Timestamp of the current second, "%Y-%m-%d %H:%M:%S".
void currentTimestamp(char out[20]);

class LogModule final {
 public:
  // Creates a module with its flush thread running.
  static LogModule* create(uint64_t generation);
  // Stops the flush thread after it has written everything out and deletes the outputs.
  void shutdown();
  ~LogModule();

  virtual void printf(int32_t level, int32_t category, const char* format, ...);
  virtual void vprintf(int32_t level, int32_t category, const char* format, va_list args);
  virtual void print(int32_t level, int32_t category, const char* text);
  virtual void setLevel(int32_t level) { level_.store(level, std::memory_order_relaxed); }
  virtual int32_t getLevel() { return level_.load(std::memory_order_relaxed); }
  // Registers a category (or finds it by name); -1 when the table is full.
  // Callers serialise registrations.
  virtual int32_t addCategory(const std::string& name, const std::u16string& path, bool flushImmediately,
                              bool keepOldFile);

  uint64_t generation() const { return generation_; }
  int32_t categoryCount() const { return categoryCount_; }
  int32_t outputCount() const { return outputCount_.load(std::memory_order_acquire); }
  ILogImpl* categoryOutput(int32_t category) const;
  bool flushThreadRunning() const { return thread_.joinable(); }

 private:
  explicit LogModule(uint64_t generation) : generation_(generation) {}
  void flushLoop();
  void flushAll(bool force);

  struct Category {
    std::string name;
    std::atomic<ILogImpl*> output{nullptr};
  };

  std::atomic<ILogImpl*> outputs_[kMaxCategories] = {};
  std::atomic<int32_t> outputCount_{0};
  std::atomic<int32_t> level_{4};
  Category categories_[kMaxCategories];
  int32_t categoryCount_ = 0;
  std::u16string defaultTarget_ = u"1";
  vekt::base::Thread thread_;
  std::atomic<bool> running_{false};
  vekt::base::Semaphore wake_{0, 1};
  uint64_t generation_;
};

}  // namespace vexolib::log
