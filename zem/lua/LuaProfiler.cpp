#include "LuaProfiler.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "Exports.h"
#include "session/Profiler.h"

namespace zem {

namespace {

// The profiler whose hook is installed; one per process in a game.
std::atomic<LuaProfiler*> g_lua{nullptr};

void luaHook(LuaState* L, LuaDebugRecord* ar) {
  // Nothing may be thrown into Lua's C frames.
  if (LuaProfiler* p = g_lua.load()) guardedCall([&] { p->onHook(L, ar); });
}

const int kCallEvent = 0, kTailCallEvent52 = 4;
const int kHookCallAndReturn = 3;
const int kGcCount = 3;

bool beginsWith(const char* text, const char* prefix) {
  return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}
bool empty(const char* text) { return !text || !*text; }

}  // namespace

LuaProfiler::LuaProfiler(Profiler& session) : session_(session), objects_(api_, session.records()) {}

LuaProfiler::~LuaProfiler() {
  LuaProfiler* self = this;
  g_lua.compare_exchange_strong(self, nullptr);
}

// ---- binding ----

bool LuaProfiler::bind(const char* module) {
  bindTried_ = true;
  if (!module_.open(module)) return false;
  missing_ = bindApi(module_, api_);
  version_ = luaVersionOf(api_);
  // Every function the hook and the dump call, whatever the version.
  const bool complete =
      api_.lua_sethook && api_.lua_getinfo && api_.lua_getstack && api_.lua_gc && api_.lua_type && api_.lua_typename &&
      api_.lua_topointer && api_.lua_tothread && api_.lua_tolstring && (api_.lua_tonumber || api_.lua_tonumberx) &&
      api_.lua_toboolean && api_.lua_gettop && api_.lua_settop && api_.lua_pushvalue && api_.lua_pushnil &&
      api_.lua_pushlstring && api_.lua_pushthread && api_.lua_next && api_.lua_rawget && api_.lua_getmetatable &&
      api_.lua_getupvalue && api_.lua_getlocal && api_.lua_setfield && api_.lua_checkstack && api_.luaL_error;
  if (version_ == LuaVersion::kNone || !complete) {
    version_ = LuaVersion::kNone;
    api_ = LuaApi{};
    return false;
  }
  objects_.setVersion(version_);
  bound_ = true;
  return true;
}

bool LuaProfiler::start(const char* module, bool samples, bool direct) {
  if (!bindTried_) bind(module);
  if (bound_) started_ = true;
  mode_ = direct ? kDirect : samples ? kSamples : kOff;
  return started_;
}

void LuaProfiler::stop() {
  if (!started_) return;
  started_ = false;
  int rc = 0;
  objects_.closeIdFile(rc);
}

void LuaProfiler::doLuaHook(LuaState* L, bool on) {
  if (!started_ || mode_ == kOff || !L) return;
  g_lua.store(this);
  api_.lua_sethook(L, luaHook, on ? kHookCallAndReturn : 0, 0);
}

void LuaProfiler::addLuaMarker() {
  if (!started_ || mode_ == kOff) return;
  session_.logCurrentNodeMarker();
}

int LuaProfiler::luaMemory(LuaState* L) {
  if (!bound_ || !L) return -1;
  return api_.lua_gc(L, kGcCount, 0);
}

bool LuaProfiler::frameAt(LuaState* L, int level, LuaDebugRecord& ar) const {
  return bound_ && api_.lua_getstack(L, level, &ar) != 0;
}

bool LuaProfiler::isMainThread(LuaState* L) const {
  const bool main = api_.lua_pushthread(L) == 1;
  api_.lua_settop(L, -2);
  return main;
}

// ---- function records ----

LuaProfiler::FunctionRecord* LuaProfiler::functionRecord(LuaState* L, LuaDebugRecord* ar) {
  // The function first: a cached one (C functions and main chunks are cached
  // as none) costs no "S" query, whose source text Lua formats every time.
  api_.lua_getinfo(L, "f", ar);
  const void* key = api_.lua_topointer(L, -1);
  api_.lua_settop(L, -2);
  auto it = cache_.find(key);
  if (it != cache_.end()) return it->second;
  FunctionRecord* rec = nullptr;
  api_.lua_getinfo(L, "S", ar);
  if (beginsWith(viewOf(ar, version_).what, "Lua") && api_.lua_getinfo(L, "n", ar)) {
    const LuaRecordView v = viewOf(ar, version_);
    const bool skipped = v.line == -1 || beginsWith(v.name, "__index") || beginsWith(v.name, "__newindex") ||
                         (empty(v.name) && empty(v.shortSrc));
    if (!skipped) rec = newRecord(v);
  }
  cache_.emplace(key, rec);
  return rec;
}

LuaProfiler::FunctionRecord* LuaProfiler::newRecord(const LuaRecordView& v) {
  std::string name = empty(v.name) ? "unknown" : v.name;
  if (name.size() >= static_cast<size_t>(kMaxNameBytes) + 1) name.resize(kMaxNameBytes);
  name += '@';
  if (empty(v.shortSrc)) {
    name += "unknown:-1";
  } else {
    char line[16];
    std::snprintf(line, sizeof line, "%d", v.line);
    name.append(v.shortSrc).append(":").append(line);
  }
  records_.push_back(FunctionRecord{std::move(name), 0});
  return &records_.back();
}

// ---- the Lua call stack ----

size_t LuaProfiler::position(Key id, LuaState* L) const {
  for (size_t i = stack_.size(); i > 0; --i)
    if (stack_[i - 1].id == id && stack_[i - 1].state == L) return i;
  return stack_.size() + 1;
}

// How many entries stay below a call on L: up to its nearest recorded caller
// from firstLevel up. A coroutine's first function has no caller on its own
// stack: the entries of the states below it (the one that resumed it) stay.
size_t LuaProfiler::resyncKeep(LuaState* L, int firstLevel) {
  LuaDebugRecord ar{};
  for (int level = firstLevel; api_.lua_getstack(L, level, &ar); ++level)
    if (FunctionRecord* rec = functionRecord(L, &ar)) {
      if (!rec->sampleId) rec->sampleId = session_.intern(rec->displayName.c_str());
      return position(rec->sampleId, L);
    }
  if (stack_.empty() || isMainThread(L)) return 0;
  for (size_t i = stack_.size(); i > 0; --i)
    if (stack_[i - 1].state != L) return i;
  return 0;
}

int32_t LuaProfiler::memoryDelta(LuaState* L) {
  const int32_t now = api_.lua_gc(L, kGcCount, 0);
  const int32_t delta = lastMemKB_ == 0 ? 0 : now - lastMemKB_;
  lastMemKB_ = now;
  return delta;
}

ThreadContext& LuaProfiler::chargeCurrent(LuaState* L, uint32_t time) {
  const int32_t delta = memoryDelta(L);
  ThreadContext& c = *session_.mainContext();
  if (c.current) {
    c.current->total += static_cast<uint32_t>(delta > 0 ? delta : 0);
    c.current->extra1 += time;
  }
  return c;
}

void LuaProfiler::popAccounting(LuaState* L, uint32_t time) {
  if (mode_ == kDirect) {
    ThreadContext& c = chargeCurrent(L, time);
    if (c.current) session_.samples().moveUp(c);
  } else if (mode_ == kSamples) {
    session_.popSample();
  }
}

void LuaProfiler::onReturn(LuaState* L, Key id, uint32_t elapsed) {
  if (stack_.empty() || position(id, L) > stack_.size()) return;
  while (!stack_.empty()) {
    const size_t pos = stack_.size();
    const Entry top = stack_.back();
    stack_.pop_back();
    if (pos <= kRecordedEntries) {
      popAccounting(L, elapsed);
      elapsed = 0;
    }
    if (top.id == id && top.state == L) break;
  }
}

void LuaProfiler::onCall(LuaState* L, FunctionRecord& rec, uint32_t elapsed, bool tailCall) {
  // A 5.2/5.3 tail-call event comes while the frame it replaces is still
  // level 1: that frame ends here, so the walk starts at its caller.
  const size_t keep = resyncKeep(L, tailCall ? 2 : 1);
  while (stack_.size() > keep) {
    // Stale entries get no time, except the frame a tail call replaces: the
    // time since the last event was its own.
    if (stack_.size() <= kRecordedEntries) {
      popAccounting(L, tailCall ? elapsed : 0);
      if (tailCall) elapsed = 0;
    }
    stack_.pop_back();
  }
  stack_.push_back(Entry{rec.sampleId, L});
  if (stack_.size() > kRecordedEntries) return;
  if (mode_ == kDirect) {
    ThreadContext& c = chargeCurrent(L, elapsed);
    MonoMethodCallNode& t = c.pushTemplate;
    t.key = rec.sampleId;
    t.isSample = true;
    t.total = t.calls = t.extra1 = t.extra2 = 0;
    MonoMethodCallNode* child = addChild(c.current ? c.current : &c.cpuTree.root, t, false);
    c.current = child;
    child->calls += 1;
  } else if (mode_ == kSamples) {
    session_.pushSample(rec.displayName.c_str());
  }
}

void LuaProfiler::onHook(LuaState* L, LuaDebugRecord* ar) {
  if (!L || !ar || !session_.onMain() || !bound_) return;
  const uint32_t elapsed = mode_ == kDirect ? session_.samples().elapsedSinceStamp() : 0;
  FunctionRecord* rec = functionRecord(L, ar);
  if (!rec) return;
  if (!rec->sampleId) rec->sampleId = session_.intern(rec->displayName.c_str());
  const int event = viewOf(ar, version_).event;
  // A 5.2/5.3 tail call is a call that also closes the frame it replaces.
  // (5.1 reports a tail call as a plain call from that frame.)
  const bool tailCall = version_ == LuaVersion::k52 && event == kTailCallEvent52;
  if (event == kCallEvent || tailCall)
    onCall(L, *rec, elapsed, tailCall);
  else
    onReturn(L, rec->sampleId, elapsed);
  // Sample pushes and pops stamp the clock themselves.
  if (mode_ == kDirect) session_.samples().restartClock();
}

// ---- object dump ----

LuaProfiler::DumpStart LuaProfiler::beginDump(LuaState* L, const char* path) {
  if (!bound_ || !L || !path || !*path || !objects_.idFileOpen()) return DumpStart::kNothing;
  return isMainThread(L) ? DumpStart::kDump : DumpStart::kRaise;
}

void LuaProfiler::raiseNotMainThread(LuaState* L) const { api_.luaL_error(L, "Must require in main thread"); }

void LuaProfiler::dump(LuaState* L, const char* path, bool names) {
  // registerMainThread, before any file is open: it may raise when Lua is out of memory.
  api_.lua_pushthread(L);
  api_.lua_setfield(L, luaRegistryIndex(version_), "mainthread");
  const int top = api_.lua_gettop(L);
  try {
    objects_.dump(L, path, names, session_.currentFrame());
  } catch (...) {
    api_.lua_settop(L, top);
    objects_.closeDumpFiles();
    throw;
  }
}

}  // namespace zem
