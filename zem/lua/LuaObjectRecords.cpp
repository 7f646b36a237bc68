#include "LuaObjectRecords.h"

#include <chrono>

#include "records/RecordWriter.h"

namespace zem {

namespace {
// What the C API lets the dump know of sizes: a fixed part per kind plus a
// part per table entry or upvalue, in pointer-sized words of a typical build.
size_t estimatedBytes(int kind, size_t entries) {
  const size_t word = sizeof(void*);
  switch (kind) {
    case 1:
      return 7 * word + 4 * word * entries;
    case 2:
      return 4 * word + 2 * word * entries;
    case 4:
      return 25 * word;
    default:
      return 5 * word;
  }
}
}  // namespace

void LuaObjectRecords::newSession() {
  static uint64_t counter = 0;
  const uint64_t now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const uint64_t wall = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  uint64_t x = now ^ (wall * 0x9e3779b97f4a7c15ULL) ^ (reinterpret_cast<uintptr_t>(this) << 7) ^ ++counter;
  x ^= x >> 31;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 29;
  session_ = x ? x : 1;
}

bool LuaObjectRecords::open(const std::string& path, int frame, const char* luaVersion, const void* globals) {
  close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  std::fprintf(file_, "#%d\r\nlua,%s,%016llx,%u\r\n", frame, luaVersion, static_cast<unsigned long long>(session_),
               static_cast<unsigned>(sizeof(void*)));
  if (globals) std::fprintf(file_, "g,%llx\r\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(globals)));
  return true;
}

void LuaObjectRecords::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  stack_.clear();
  names_.clear();
  objects_ = 0;
}

size_t LuaObjectRecords::nameIndex(const char* desc, size_t length) {
  std::string name(desc, length);
  auto it = names_.find(name);
  if (it != names_.end()) return it->second;
  const size_t index = names_.size();
  names_.emplace(name, index);
  if (records_.binary()) {
    // Names are what a key hides; numbers are not.
    std::string hidden = name;
    records_.scramble(hidden);
    std::fprintf(file_, "x,%zu,", index);
    for (unsigned char c : hidden) std::fprintf(file_, "%02x", c);
  } else {
    std::fprintf(file_, "n,%zu,", index);
    for (char c : name) {
      if (c == '\\')
        std::fputs("\\\\", file_);
      else if (c == '\r')
        std::fputs("\\r", file_);
      else if (c == '\n')
        std::fputs("\\n", file_);
      else
        std::fputc(c, file_);
    }
  }
  std::fputs("\r\n", file_);
  return index;
}

void LuaObjectRecords::enter(const void* object, int kind, const char* desc, size_t length) {
  if (!file_) return;
  const uintptr_t parent = stack_.empty() ? 0 : stack_.back().address;
  stack_.push_back(Pending{reinterpret_cast<uintptr_t>(object), parent, kind, nameIndex(desc, length), 0});
}

void LuaObjectRecords::leave() {
  if (!file_ || stack_.empty()) return;
  const Pending p = stack_.back();
  stack_.pop_back();
  std::fprintf(file_, "o,%llx,%d,%zu,%llx,%zu\r\n", static_cast<unsigned long long>(p.address), p.kind,
               estimatedBytes(p.kind, p.entries), static_cast<unsigned long long>(p.parent), p.name);
  ++objects_;
}

void LuaObjectRecords::finish() {
  if (!file_) return;
  std::fprintf(file_, "end,%zu\r\n", objects_);
  close();
}

}  // namespace zem
