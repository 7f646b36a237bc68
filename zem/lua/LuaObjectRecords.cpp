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
// Numbers formatted here rather than by printf: the same digits from every C
// runtime the plug-in is built with.
void appendNumber(std::string& out, uint64_t v, unsigned base) {
  char digits[24];
  size_t n = 0;
  do {
    digits[n++] = "0123456789abcdef"[v % base];
    v /= base;
  } while (v);
  while (n) out += digits[--n];
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
  std::string head = "#" + std::to_string(frame) + "\r\nlua," + luaVersion + ",";
  std::string session;
  appendNumber(session, session_, 16);
  head += std::string(16 - session.size(), '0') + session + "," + std::to_string(sizeof(void*)) + "\r\n";
  if (globals) {
    head += "g,";
    appendNumber(head, reinterpret_cast<uintptr_t>(globals), 16);
    head += "\r\n";
  }
  std::fputs(head.c_str(), file_);
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
    std::fputs(("x," + std::to_string(index) + ",").c_str(), file_);
    for (unsigned char c : hidden) std::fprintf(file_, "%02x", c);
  } else {
    std::fputs(("n," + std::to_string(index) + ",").c_str(), file_);
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
  line_ = "o,";
  appendNumber(line_, p.address, 16);
  line_ += ',';
  appendNumber(line_, static_cast<uint64_t>(p.kind), 10);
  line_ += ',';
  appendNumber(line_, estimatedBytes(p.kind, p.entries), 10);
  line_ += ',';
  appendNumber(line_, p.parent, 16);
  line_ += ',';
  appendNumber(line_, p.name, 10);
  line_ += "\r\n";
  std::fwrite(line_.data(), 1, line_.size(), file_);
  ++objects_;
}

void LuaObjectRecords::finish() {
  if (!file_) return;
  std::fputs(("end," + std::to_string(objects_) + "\r\n").c_str(), file_);
  close();
}

}  // namespace zem
