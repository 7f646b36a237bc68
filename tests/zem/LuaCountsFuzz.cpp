// Reader of Lua object dumps: any bytes must give a result, never a crash.
// The input holds the identifier file, the ".lo" and the ".lk" file, parted
// by "~~" lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzParts.h"
#include "records/LuaCounts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> parts = fuzzParts(bytes, 3);
  zem::LuaObjectCounts counts;
  std::string error;
  if (zem::readLuaObjectCounts(parts[0], parts[1], parts[2], "", counts, error)) zem::formatLuaObjectCounts(counts);
  zem::readLuaObjectCounts(parts[0], parts[1], parts[2], "k", counts, error);
  return 0;
}
