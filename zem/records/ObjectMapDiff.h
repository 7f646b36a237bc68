// Two managed object maps (DumpObjectMap) of one run compared, with the
// allocation call paths read from a cumulative allocation tree (DumpCallTree,
// taken with or after the second map) and the tree identifier file. A map
// holds live objects counted per (call path, class), not the objects
// themselves, so the result is each group's change: an object freed and
// another allocated in the same group cancel out.
#pragma once
#include <string>
#include <vector>

#include "LuaObjectDiff.h"

namespace zem {

struct ObjectMapDiff {
  std::vector<GrowthGroup> grown;   // more live objects in the second map, largest growth first
  std::vector<GrowthGroup> shrunk;  // fewer: count and bytes are the number gone
};

bool diffObjectMaps(const std::string& mapBefore, const std::string& mapAfter, const std::string& treeText,
                    const std::string& idBytes, const std::string& key, ObjectMapDiff& out, std::string& error);

std::string formatObjectMapDiff(const ObjectMapDiff& diff);

}  // namespace zem
