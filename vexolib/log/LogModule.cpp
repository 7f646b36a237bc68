#include "LogModule.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "LogText.h"
#include "base/Clock.h"
#include "base/Guard.h"

namespace vexolib::log {

namespace {
constexpr int32_t kTextRoom = kMaxLine - 1;  // prefix and message, before the "\n"

int32_t composePrefix(char* out, const char* timestamp, const char* category, int32_t level) {
  int n = snprintf(out, kMaxLine, "[%s] %s (%s): ", timestamp, category, levelName(level));
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return n > kTextRoom ? kTextRoom : n;  // a very long category name is cut like any line
}

int32_t finish(char* out, int32_t length) {
  out[length] = '\n';
  out[length + 1] = '\0';
  return length + 1;
}
}  // namespace

int32_t composeLine(char* out, const char* timestamp, const char* category, int32_t level, const char* format,
                    va_list args) {
  int32_t pre = composePrefix(out, timestamp, category, level);
  int32_t length = pre;
  if (pre < kTextRoom) {
    out[pre] = '\0';
    int m = vsnprintf(out + pre, static_cast<size_t>(kMaxLine - pre), format, args);
    if (m < 0) {
      // Whatever was formatted before the failure stays, within the limit.
      out[kTextRoom] = '\0';
      length = pre + static_cast<int32_t>(strnlen(out + pre, static_cast<size_t>(kTextRoom - pre)));
    } else {
      length = m > kTextRoom - pre ? kTextRoom : pre + m;
    }
  }
  return finish(out, length);
}

int32_t composeText(char* out, const char* timestamp, const char* category, int32_t level, const char* text) {
  int32_t pre = composePrefix(out, timestamp, category, level);
  size_t n = strnlen(text, static_cast<size_t>(kTextRoom - pre));
  memcpy(out + pre, text, n);
  return finish(out, pre + static_cast<int32_t>(n));
}

void currentTimestamp(char out[20]) {
  // Formatting local time is costly; lines within one second share the text.
  struct Cache {
    int64_t second = -1;
    char text[20];
  };
  thread_local Cache cache;
  int64_t now = vekt::base::wallSeconds();
  if (now != cache.second) {
    std::tm parts{};
    if (!vekt::base::localTime(now, parts) ||
        strftime(cache.text, sizeof cache.text, "%Y-%m-%d %H:%M:%S", &parts) == 0) {
      snprintf(cache.text, sizeof cache.text, "0000-00-00 00:00:00");
    }
    cache.second = now;
  }
  memcpy(out, cache.text, sizeof cache.text);
}

LogModule* LogModule::create(uint64_t generation) {
  auto* m = new LogModule(generation);
  m->level_ = 4;
  m->running_ = true;
  m->thread_.start([m] { m->flushLoop(); }, kFlushThreadStack);
  m->level_ = 5;
  return m;
}

LogModule::~LogModule() {
  for (int32_t i = 0; i < outputCount_.load(); ++i) delete outputs_[i].load();
}

void LogModule::shutdown() {
  running_ = false;
  wake_.post();  // a wake still pending from a writer ends the wait as well
  if (thread_.joinable()) {
    thread_.join();
  } else {
    // No flush thread could be started: write out what is pending here.
    flushAll(true);
  }
}

void LogModule::flushAll(bool force) {
  const uint32_t now = vekt::base::tickMs();
  const int32_t count = outputCount();
  for (int32_t i = 0; i < count; ++i) {
    ILogImpl* out = outputs_[i].load(std::memory_order_acquire);
    // Nothing thrown may end the thread (and with it the process).
    if (force || !out->immediate) vekt::base::guardedCall([&] { out->flush(force, now); });
    out->refillSpares();
  }
}

void LogModule::flushLoop() {
  while (running_) {
    flushAll(false);
    wake_.wait(static_cast<int>(kFlushIntervalMs));
  }
  // Everything still pending goes out before the outputs are deleted; an
  // immediate output normally has nothing left, but nothing may be lost.
  flushAll(true);
}

ILogImpl* LogModule::categoryOutput(int32_t category) const {
  if (static_cast<uint32_t>(category) >= static_cast<uint32_t>(kMaxCategories)) return nullptr;
  return categories_[category].output.load(std::memory_order_acquire);
}

void LogModule::printf(int32_t level, int32_t category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(level, category, format, args);
  va_end(args);
}

void LogModule::vprintf(int32_t level, int32_t category, const char* format, va_list args) {
  ILogImpl* out = categoryOutput(category);
  if (!out || !format || level > level_.load(std::memory_order_relaxed)) return;
  char stamp[20];
  currentTimestamp(stamp);
  {
    ILogImpl::LineWriter line(*out);
    line.commit(composeLine(line.room(), stamp, categories_[category].name.c_str(), level, format, args));
  }
  if (out->immediate) out->flush(true, vekt::base::tickMs());
}

void LogModule::print(int32_t level, int32_t category, const char* text) {
  ILogImpl* out = categoryOutput(category);
  if (!out || !text || level > level_.load(std::memory_order_relaxed)) return;
  char stamp[20];
  currentTimestamp(stamp);
  {
    ILogImpl::LineWriter line(*out);
    line.commit(composeText(line.room(), stamp, categories_[category].name.c_str(), level, text));
  }
  if (out->immediate) out->flush(true, vekt::base::tickMs());
}

int32_t LogModule::addCategory(const std::string& name, const std::u16string& path, bool flushImmediately,
                               bool keepOldFile) {
  for (int32_t i = 0; i < categoryCount_; ++i) {
    if (categories_[i].name == name) return i;
  }
  if (categoryCount_ >= kMaxCategories) return -1;
  int32_t index = categoryCount_;
  Category& entry = categories_[index];
  entry.name = name;
  const std::u16string& target = path.empty() ? defaultTarget_ : path;
  ILogImpl* output = nullptr;
  int32_t outputs = outputCount();
  for (int32_t i = 0; i < outputs && !output; ++i) {
    ILogImpl* candidate = outputs_[i].load(std::memory_order_relaxed);
    if (candidate->target() == target) output = candidate;
  }
  if (!output) {
    if (target == u"1") {
      output = new StdoutLog();
    } else if (target == u"0") {
      output = new NulLog();
    } else {
      output = new FileLog(target, keepOldFile);
    }
    output->immediate = flushImmediately;
    output->setRefillSignal(&wake_);
    outputs_[outputs].store(output, std::memory_order_relaxed);
    outputCount_.store(outputs + 1, std::memory_order_release);
  }
  entry.output.store(output, std::memory_order_release);
  categoryCount_ = index + 1;
  return index;
}

}  // namespace vexolib::log
