// Reader of a Lua object dump: the ".lo" (counts by kind) and ".lk" (counts by
// reference name) files, with names from the Lua identifier file. Input is
// untrusted.
#pragma once
#include <map>
#include <string>

namespace zem {

struct LuaObjectCounts {
  long long frame = 0;
  std::map<std::string, long long> kinds;  // "table", "function", "thread", "userdata"
  std::map<std::string, long long> names;  // reference name (any bytes) -> references
};

// False with error when a file is malformed or names an identifier the
// identifier file lacks. key unscrambles a binary identifier file.
bool readLuaObjectCounts(const std::string& idBytes, const std::string& objects, const std::string& names,
                         const std::string& key, LuaObjectCounts& out, std::string& error);

// The counts as text: "kind,count" lines, then "name,count" lines.
std::string formatLuaObjectCounts(const LuaObjectCounts& counts);

}  // namespace zem
