#include "LogManager.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "LogText.h"
#include "base/Mutex.h"

namespace vexolib::log {

namespace {
constexpr uint32_t kAgentMagic = 0x4C6F6741;  // "LogA"
constexpr uint32_t kDeadMagic = 0xDEADA6E7;

// Module creation, deletion and registration are rare: one lock keeps
// concurrent callers from creating two modules or racing on the table.
vekt::base::Mutex g_life;
std::atomic<LogModule*> g_module{nullptr};
uint64_t g_generation = 0;

bool live(const LogAgent* agent) { return agent && agent->magic == kAgentMagic; }

// The agent's module when it is still the live one; an agent left over from a
// destroyed module gets null.
LogModule* moduleOf(const LogAgent* agent) {
  LogModule* m = g_module.load(std::memory_order_acquire);
  if (!m || m != agent->module || m->generation() != agent->generation) return nullptr;
  return m;
}
}  // namespace

LogModule* currentModule() { return g_module.load(std::memory_order_acquire); }

LogAgent* newAgent() {
  auto* agent = new (std::nothrow) LogAgent();
  if (agent) agent->magic = kAgentMagic;
  return agent;
}

intptr_t init(LogAgent* agent) {
  std::lock_guard<vekt::base::Mutex> guard(g_life);
  LogModule* m = g_module.load(std::memory_order_relaxed);
  if (!m) {
    m = LogModule::create(++g_generation);
    g_module.store(m, std::memory_order_release);
  }
  if (!agent) return reinterpret_cast<intptr_t>(m);
  if (!live(agent)) return -1;
  agent->module = m;
  agent->generation = m->generation();
  if (agent->name.empty()) return 0;
  agent->category = m->addCategory(agent->name, agent->path, agent->flushImmediately, true);
  return agent->category;
}

void setCategory(LogAgent* agent, const char* name, const char* path, bool flushImmediately, bool keepOldFile) {
  if (!live(agent) || !name || !path) return;
  std::u16string wide = utf8ToUtf16(path, strlen(path));
  // A longer path would have to be cut, and a cut path names another file.
  if (wide.size() > kMaxPathUnits) return;
  agent->name = name;
  agent->path = std::move(wide);
  agent->flushImmediately = flushImmediately;
  std::lock_guard<vekt::base::Mutex> guard(g_life);
  LogModule* m = moduleOf(agent);
  if (m && !agent->name.empty()) {
    agent->category = m->addCategory(agent->name, agent->path, flushImmediately, keepOldFile);
  }
}

void setModule(LogAgent* agent, LogModule* module) {
  if (!live(agent) || !module) return;
  std::lock_guard<vekt::base::Mutex> guard(g_life);
  // Only the live module's handle is accepted.
  if (module != g_module.load(std::memory_order_relaxed)) return;
  agent->module = module;
  agent->generation = module->generation();
  if (!agent->name.empty()) {
    agent->category = module->addCategory(agent->name, agent->path, agent->flushImmediately, true);
  }
}

void stop(LogAgent* agent) {
  if (!live(agent)) return;
  agent->magic = kDeadMagic;
  delete[] agent->buffer;
  delete agent;
}

void destroy() {
  std::lock_guard<vekt::base::Mutex> guard(g_life);
  LogModule* m = g_module.exchange(nullptr, std::memory_order_acq_rel);
  if (!m) return;
  m->shutdown();
  delete m;
}

void vprintTo(LogAgent* agent, int32_t level, int32_t category, const char* format, va_list args) {
  if (!live(agent) || !format) return;
  if (LogModule* m = moduleOf(agent)) m->vprintf(level, category, format, args);
}

void vprintOwn(LogAgent* agent, int32_t level, const char* format, va_list args) {
  if (!live(agent) || !format) return;
  if (LogModule* m = moduleOf(agent)) m->vprintf(level, agent->category, format, args);
}

void printTo(LogAgent* agent, int32_t level, int32_t category, const char* text) {
  if (!live(agent) || !text) return;
  if (LogModule* m = moduleOf(agent)) m->print(level, category, text);
}

void printOwn(LogAgent* agent, int32_t level, const char* text) {
  if (!live(agent) || !text) return;
  if (LogModule* m = moduleOf(agent)) m->print(level, agent->category, text);
}

void vbuffPrintf(LogAgent* agent, const char* format, va_list args) {
  if (!live(agent) || !format) return;
  va_list measure;
  va_copy(measure, args);
  int need = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (need < 0 || need >= kAgentBufferMax - agent->length) return;
  int32_t room = agent->capacity - agent->length;
  if (room < kAgentStep || room <= need) {
    // Grow in 4096-byte steps until the whole text fits with its NUL.
    int32_t capacity = agent->capacity + kAgentStep;
    while (capacity - agent->length <= need) capacity += kAgentStep;
    char* grown = new (std::nothrow) char[static_cast<size_t>(capacity)];
    if (!grown) return;
    if (agent->buffer) memcpy(grown, agent->buffer, static_cast<size_t>(agent->length) + 1);
    delete[] agent->buffer;
    agent->buffer = grown;
    agent->capacity = capacity;
    agent->buffer[agent->length] = '\0';
  }
  vsnprintf(agent->buffer + agent->length, static_cast<size_t>(agent->capacity - agent->length), format, args);
  agent->length += need;
}

void commitBuff(LogAgent* agent, int32_t level) {
  if (!live(agent) || !agent->buffer) return;
  LogModule* m = moduleOf(agent);
  if (agent->length > kCommitLimit) {
    if (m) m->printf(1, agent->category, "LogAgent::commit_buff ERROR cur_buff_length:%d too large.", agent->length);
  } else if (m) {
    m->print(level, agent->category, agent->buffer);
  }
  agent->buffer[0] = '\0';
  agent->length = 0;
}

void clearBuff(LogAgent* agent) {
  if (!live(agent)) return;
  agent->length = 0;
  if (agent->buffer) agent->buffer[0] = '\0';
}

const char* getLogBuff(LogAgent* agent, int32_t* length) {
  if (!live(agent)) return "null";
  if (length) *length = agent->length;
  return agent->buffer;
}

}  // namespace vexolib::log
