// Two Lua object lists (".lr" files of one process) compared: the objects of
// the second that the first lacks, grouped by kind and by the reference path
// that first reached them from the registry; the freed ones as a total.
//
// An object is the same in both when address, kind and size agree. Objects
// that keep their address and kind but not their size are counted apart: a
// table or closure that gained or lost entries, or a freed object whose
// address went to a new one of the same kind; the lists cannot tell these two
// apart. A freed object whose address was reused by a new object of the same
// kind and size looks unchanged and is counted in neither. Sizes are
// estimates from what the C API shows (entries and upvalues), not allocator
// bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zem {

struct LuaObjectList {
  struct Object {
    uint64_t address = 0, parent = 0;
    uint32_t size = 0, name = 0;
    int kind = 0;
  };
  long long frame = 0;
  std::string version, session;
  uint64_t globals = 0;  // 5.1's globals table, when listed
  std::vector<std::string> names;
  std::vector<Object> objects;
};

// False with error for malformed or cut-off input; key unscrambles names
// written with one.
bool readLuaObjectList(const std::string& text, const std::string& key, LuaObjectList& out, std::string& error);

struct GrowthGroup {
  std::string kind;               // "table", "function", "thread", "userdata", or a managed class
  std::vector<std::string> path;  // outermost first
  long long count = 0, bytes = 0;
};

struct LuaObjectDiff {
  std::vector<GrowthGroup> added;  // sorted by bytes, largest first
  long long addedCount = 0, addedBytes = 0;
  long long resizedCount = 0, resizedBytes = 0;  // same address and kind, other size (bytes as in the second)
  long long freedCount = 0, freedBytes = 0;
};

// False with error when the lists cannot be compared (another Lua version,
// another identifier file, a broken reference chain).
bool diffLuaObjects(const LuaObjectList& before, const LuaObjectList& after, LuaObjectDiff& out, std::string& error);

std::string formatLuaObjectDiff(const LuaObjectDiff& diff);

// Groups as a speedscope profile: the path (then the kind) as the stack, bytes as the weight.
std::string growthSpeedscope(const std::string& title, const std::vector<GrowthGroup>& groups);

// Largest bytes first, then largest count, then by kind and path.
void sortGroups(std::vector<GrowthGroup>& groups);

// The group's path as one line, "a > b > c".
std::string pathText(const std::vector<std::string>& path);

}  // namespace zem
