// Comparing snapshots and exporting them: any bytes must give a result, never
// a crash or a hang. The input holds up to four parts parted by "~~" lines:
// two Lua object lists (or two object maps, an allocation tree and an
// identifier file; or an identifier file and a CPU tree).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzParts.h"
#include "records/CpuTree.h"
#include "records/LuaObjectDiff.h"
#include "records/ObjectMapDiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> parts = fuzzParts(bytes, 4);
  std::string error, json;
  zem::LuaObjectList a, b;
  const bool readA = zem::readLuaObjectList(parts[0], "", a, error);
  const bool readB = zem::readLuaObjectList(parts[1], "k", b, error);
  if (readA && readB) {
    zem::LuaObjectDiff diff;
    if (zem::diffLuaObjects(a, b, diff, error)) {
      zem::formatLuaObjectDiff(diff);
      zem::growthSpeedscope("fuzz", diff.added);
    }
    zem::diffLuaObjects(a, a, diff, error);
  }
  zem::ObjectMapDiff maps;
  if (zem::diffObjectMaps(parts[0], parts[1], parts[2], parts[3], "", maps, error)) {
    zem::formatObjectMapDiff(maps);
    zem::growthSpeedscope("fuzz", maps.grown);
  }
  zem::exportCpuSpeedscope(parts[0], parts[1], "", json, error);
  return 0;
}
