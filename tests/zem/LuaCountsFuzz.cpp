// Reader of Lua object dumps: any bytes must give a result, never a crash.
// The input holds the identifier file, the ".lo" and the ".lk" file, parted
// by "~~" lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "records/LuaCounts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string parts[3];
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t cut = i < 2 ? bytes.find("\n~~\n", start) : std::string::npos;
    parts[i] = bytes.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
    if (cut == std::string::npos) break;
    start = cut + 4;
  }
  zem::LuaObjectCounts counts;
  std::string error;
  if (zem::readLuaObjectCounts(parts[0], parts[1], parts[2], "", counts, error)) zem::formatLuaObjectCounts(counts);
  zem::readLuaObjectCounts(parts[0], parts[1], parts[2], "k", counts, error);
  return 0;
}
