#include "LuaObjects.h"

#include <cstring>

namespace zem {

namespace {
// Lua's type tags, the same in 5.1 to 5.3.
const int kNil = 0, kBoolean = 1, kNumber = 3, kString = 4, kTable = 5, kFunction = 6, kUserdata = 7, kThread = 8;
const int kStackGuard = 3000;
const int kStackRoom = 20;
const char* const kKindNames[6] = {"unused0", "table", "function", "unused3", "thread", "userdata"};
const int kKeyId = 2000;
const int kGlobals51 = -10002;

size_t hashPointer(uintptr_t p) {
  uint64_t x = p;
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  return static_cast<size_t>(x);
}

// A fixed text as a description.
struct Desc {
  const char* text;
  size_t length;
};
Desc literal(const char* text) { return {text, std::strlen(text)}; }
}  // namespace

bool PointerSet::insert(const void* p) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(p);
  if (v == 0) return true;  // never seen as an object address
  if ((count_ + 1) * 2 > slots_.size()) grow();
  const size_t mask = slots_.size() - 1;
  for (size_t i = hashPointer(v) & mask;; i = (i + 1) & mask) {
    if (slots_[i] == v) return false;
    if (slots_[i] == 0) {
      slots_[i] = v;
      ++count_;
      return true;
    }
  }
}

void PointerSet::grow() {
  std::vector<uintptr_t> old;
  old.swap(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
  const size_t mask = slots_.size() - 1;
  for (uintptr_t v : old) {
    if (!v) continue;
    size_t i = hashPointer(v) & mask;
    while (slots_[i]) i = (i + 1) & mask;
    slots_[i] = v;
  }
}

void PointerSet::clear() {
  std::vector<uintptr_t>().swap(slots_);
  count_ = 0;
}

LuaObjects::~LuaObjects() {
  int rc = 0;
  closeFile(idFile_, rc);
  closeDumpFiles();
}

void LuaObjects::closeDumpFiles() {
  int rc = 0;
  closeFile(objectsFile_, rc);
  closeFile(namesFile_, rc);
  list_.close();
}

bool LuaObjects::openIdFile(const char* path) {
  int rc = 0;
  closeFile(idFile_, rc);
  if (!path || !*path) return false;
  // Names are kept until they are on disk: the dumps refer to them.
  if (!idFile_.open(path, "wb", true)) return false;
  list_.newSession();
  if (records_.binary()) {
    records_.writeHeader(idFile_);
    records_.writeRecord(idFile_, 0, "Root", 4);
    records_.writeRecord(idFile_, 1100, "Memory", 6);
  } else {
    idFile_.print("0,Root\r\n1100,Memory\r\n");
  }
  // The header stays pending (and is written later) when the disk is full now.
  return idFile_.flush();
}

void LuaObjects::writeId(int id, const char* name, size_t length) {
  if (!idFile_) return;
  if (records_.binary()) {
    records_.writeRecord(idFile_, static_cast<uintptr_t>(id), name, length);
    return;
  }
  // Names are written whole, zero bytes included; only line breaks, which end
  // a text record, become spaces.
  std::string line = std::to_string(id) + ",";
  for (size_t i = 0; i < length; ++i) line += name[i] == '\r' || name[i] == '\n' ? ' ' : name[i];
  line += "\r\n";
  idFile_.append(line.data(), line.size());
}

void LuaObjects::writeIdOnce(int id, const char* name, size_t length) {
  if (written_.insert(id).second) writeId(id, name, length);
}

int LuaObjects::nameId(const char* desc, size_t length) {
  auto it = nameIds_.find(std::string(desc, length));
  if (it != nameIds_.end()) return it->second;
  const int id = nextNameId_++;
  nameIds_.emplace(std::string(desc, length), id);
  writeIdOnce(id, desc, length);
  return id;
}

void LuaObjects::openDumpFiles(const char* path) {
  closeDumpFiles();
  const std::string base(path);
  objectsFile_.open((base + ".lo").c_str(), "wb");
  namesFile_.open((base + ".lk").c_str(), "wb");
}

void LuaObjects::dump(LuaState* L, const char* path, bool names, int frame) {
  namesFlag_ = names;
  openDumpFiles(path);
  // 5.1 keeps the globals apart from the registry: the list names them, so that
  // paths through them start there and not at whatever reached them first.
  const void* globals = nullptr;
  if (version_ == LuaVersion::k51) {
    api_.lua_pushvalue(L, kGlobals51);
    globals = api_.lua_topointer(L, -1);
    pop(L);
  }
  list_.open(std::string(path) + ".lr", frame, version_ == LuaVersion::k52 ? "52" : "51", globals);
  for (uint32_t& c : typeCount_) c = 0;
  nameCount_.clear();
  for (int code = 0; code < 6; ++code) writeIdOnce(code + 100, kKindNames[code], std::strlen(kKindNames[code]));
  writeIdOnce(kKeyId, "key", 3);
  visited_.clear();
  api_.lua_pushvalue(L, luaRegistryIndex(version_));
  const Desc registry = literal("[registry]");
  markTable(L, registry.text, registry.length);
  visitedPeak_ = visited_.size();
  visited_.clear();
  list_.finish();
  writeCounts(frame);
  closeDumpFiles();
  idFile_.flush();
}

void LuaObjects::writeCounts(int frame) {
  if (objectsFile_) {
    objectsFile_.print("#%d\r\n", frame);
    for (int code : {1, 2, 4, 5}) objectsFile_.print("1,%d,0,%u\r\n", code + 100, typeCount_[code]);
  }
  if (namesFile_) {
    namesFile_.print("#%d\r\n", frame);
    namesFile_.print("1,2000,0,0\r\n");
    for (const auto& [id, count] : nameCount_) namesFile_.print("2,%d,0,%d\r\n", id, static_cast<int>(count));
  }
}

bool LuaObjects::readObject(LuaState* L, int code, const char* desc, size_t length) {
  typeCount_[code] += 1;
  if (namesFlag_ && length > 0) nameCount_[nameId(desc, length)] += 1;
  const void* p = api_.lua_topointer(L, -1);
  if (!visited_.insert(p)) {
    pop(L);
    return false;
  }
  list_.enter(p, code, desc, length);
  return true;
}

void LuaObjects::markObject(LuaState* L, const char* desc, size_t length) {
  // lua_checkstack reports a stack that cannot grow instead of raising.
  if (!api_.lua_checkstack(L, kStackRoom) || api_.lua_gettop(L) > kStackGuard) {
    pop(L);
    return;
  }
  switch (api_.lua_type(L, -1)) {
    case kTable:
      markTable(L, desc, length);
      break;
    case kFunction:
      markFunction(L, desc, length);
      break;
    case kUserdata:
      markUserdata(L, desc, length);
      break;
    case kThread:
      markThread(L, desc, length);
      break;
    default:
      pop(L);
  }
}

void LuaObjects::markTable(LuaState* L, const char* desc, size_t length) {
  if (!readObject(L, 1, desc, length)) return;
  bool weakKeys = false, weakValues = false;
  if (api_.lua_getmetatable(L, -1)) {
    api_.lua_pushlstring(L, "__mode", 6);
    api_.lua_rawget(L, -2);
    if (api_.lua_type(L, -1) == kString) {
      size_t n = 0;
      const char* mode = api_.lua_tolstring(L, -1, &n);
      weakKeys = mode && std::memchr(mode, 'k', n) != nullptr;
      weakValues = mode && std::memchr(mode, 'v', n) != nullptr;
    }
    pop(L);
    if (api_.lua_checkstack(L, kStackRoom)) {
      const Desc d = literal("[metatable]");
      markTable(L, d.text, d.length);
    } else {
      pop(L);
    }
  }
  api_.lua_pushnil(L);
  while (api_.lua_next(L, -2)) {
    list_.entry();
    if (weakValues) {
      pop(L);
    } else {
      // The key's text; a number key is formatted, never converted in place
      // (that would upset lua_next).
      char text[96];
      const char* keyDesc = text;
      size_t keyLength = 0;
      switch (api_.lua_type(L, -2)) {
        case kString:
          keyDesc = api_.lua_tolstring(L, -2, &keyLength);
          if (!keyDesc) keyDesc = "";
          break;
        case kNumber: {
          const double v = api_.lua_tonumberx ? api_.lua_tonumberx(L, -2, nullptr) : api_.lua_tonumber(L, -2);
          keyLength = static_cast<size_t>(std::snprintf(text, sizeof text, "[%lg]", v));
          break;
        }
        case kBoolean:
          keyLength = static_cast<size_t>(
              std::snprintf(text, sizeof text, "[%s]", api_.lua_toboolean(L, -2) ? "true" : "false"));
          break;
        case kNil:
          keyLength = static_cast<size_t>(std::snprintf(text, sizeof text, "[nil]"));
          break;
        default: {
          const char* typeName = api_.lua_typename(L, api_.lua_type(L, -2));
          keyLength = static_cast<size_t>(
              std::snprintf(text, sizeof text, "[%s:%p]", typeName ? typeName : "?", api_.lua_topointer(L, -2)));
        }
      }
      if (keyLength >= sizeof text && keyDesc == text) keyLength = sizeof text - 1;
      markObject(L, keyDesc, keyLength);
    }
    if (!weakKeys) {
      api_.lua_pushvalue(L, -1);
      const Desc d = literal("[key]");
      markObject(L, d.text, d.length);
    }
  }
  pop(L);
  list_.leave();
}

void LuaObjects::markEnvironment(LuaState* L, const char* desc) {
  if (version_ == LuaVersion::k52) return;  // 5.2/5.3 have no environments to walk
  api_.lua_getfenv(L, -1);
  if (api_.lua_type(L, -1) == kTable) {
    const Desc d = literal(desc);
    markTable(L, d.text, d.length);
  } else {
    pop(L);
  }
}

void LuaObjects::markFunction(LuaState* L, const char* desc, size_t length) {
  if (!readObject(L, 2, desc, length)) return;
  markEnvironment(L, "[environment]");
  for (int i = 1;; ++i) {
    const char* name = api_.lua_getupvalue(L, -1, i);
    if (!name) break;
    list_.entry();
    const Desc d = *name ? literal(name) : literal("[upvalue]");
    markObject(L, d.text, d.length);
  }
  pop(L);
  list_.leave();
}

void LuaObjects::markUserdata(LuaState* L, const char* desc, size_t length) {
  if (!readObject(L, 5, desc, length)) return;
  if (api_.lua_getmetatable(L, -1)) {
    const Desc d = literal("[metatable]");
    markTable(L, d.text, d.length);
  }
  markEnvironment(L, "[uservalue]");
  pop(L);
  list_.leave();
}

void LuaObjects::markThread(LuaState* L, const char* desc, size_t length) {
  if (!readObject(L, 4, desc, length)) return;
  LuaState* cL = api_.lua_tothread(L, -1);
  int level = 1;
  if (cL && cL != L) {
    level = 0;
    const int top = api_.lua_gettop(cL);
    for (int i = 1; i <= top; ++i) {
      if (!api_.lua_checkstack(cL, kStackRoom)) break;
      api_.lua_pushvalue(cL, i);
      char text[32];
      const int n = std::snprintf(text, sizeof text, "[%d]", i);
      markObject(cL, text, static_cast<size_t>(n));
    }
  }
  LuaDebugRecord ar{};
  while (cL && api_.lua_getstack(cL, level, &ar)) {
    api_.lua_getinfo(cL, "Sl", &ar);
    const LuaRecordView v = viewOf(&ar, version_);
    const int line = version_ == LuaVersion::k52 ? ar.v52.currentline : ar.v51.currentline;
    for (int index = 1; api_.lua_checkstack(cL, kStackRoom); ++index) {
      const char* name = api_.lua_getlocal(cL, &ar, index);
      if (!name) break;
      char text[128];
      int n = std::snprintf(text, sizeof text, "%s : %s:%d", name, v.shortSrc, line);
      if (n < 0) n = 0;
      if (static_cast<size_t>(n) >= sizeof text) n = sizeof text - 1;
      markObject(cL, text, static_cast<size_t>(n));
    }
    ++level;
  }
  pop(L);
  list_.leave();
}

}  // namespace zem
