#include "ObjectMapDiff.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "Records.h"

namespace zem {

namespace {
std::string table(const char* title, const std::vector<GrowthGroup>& groups) {
  long long count = 0, bytes = 0;
  for (const GrowthGroup& g : groups) {
    count += g.count;
    bytes += g.bytes;
  }
  std::string out = std::string(title) + ": " + std::to_string(count) + ", " + std::to_string(bytes) + " bytes\n";
  char buf[96];
  for (const GrowthGroup& g : groups) {
    std::snprintf(buf, sizeof buf, "%12lld %9lld  ", g.bytes, g.count);
    out += buf + g.kind + "  " + pathText(g.path) + "\n";
  }
  return out;
}
}  // namespace

bool diffObjectMaps(const std::string& mapBefore, const std::string& mapAfter, const std::string& treeText,
                    const std::string& idBytes, const std::string& key, ObjectMapDiff& out, std::string& error) {
  out = ObjectMapDiff{};
  ObjectMap a, b;
  if (!readObjectMap(mapBefore, a, error)) {
    error = "first map: " + error;
    return false;
  }
  if (!readObjectMap(mapAfter, b, error)) {
    error = "second map: " + error;
    return false;
  }
  std::vector<IdName> ids;
  std::vector<FrameBlock> blocks;
  if (!readIdMap(idBytes, key, ids, error)) {
    error = "identifier file: " + error;
    return false;
  }
  if (!readFrames(treeText, blocks, error)) {
    error = "allocation tree: " + error;
    return false;
  }
  std::map<uint64_t, std::string> names;
  for (const IdName& r : ids) names[r.id] = r.name;
  // Node identifier -> call path, outermost first; one block per context.
  std::map<uint64_t, std::vector<std::string>> pathOf;
  for (const FrameBlock& f : blocks) {
    std::vector<std::string> open;
    for (const auto& l : f.lines) {
      if (l.size() != 7 || l[0] < 0 || l[0] > static_cast<long long>(open.size()) || (l[0] == 0) != open.empty() ||
          l[1] < 0) {
        error = "allocation tree: not a cumulative tree line";
        return false;
      }
      open.resize(static_cast<size_t>(l[0]));
      auto it = names.find(static_cast<uint64_t>(l[2]));
      if (l[0] > 0)
        open.push_back(it != names.end() ? it->second : std::to_string(l[2]));
      else
        open.push_back("");
      std::vector<std::string> path(open.begin() + 1, open.end());
      if (path.empty()) path.push_back("(no managed frame)");
      if (!pathOf.emplace(static_cast<uint64_t>(l[1]), std::move(path)).second) {
        error = "allocation tree: a node identifier appears twice";
        return false;
      }
    }
  }
  std::map<std::pair<uint64_t, std::string>, std::pair<long long, long long>> delta;
  for (const ObjectGroup& g : b.groups) {
    auto& d = delta[{g.leaf, g.className}];
    d.first += g.count;
    d.second += g.bytes;
  }
  for (const ObjectGroup& g : a.groups) {
    auto& d = delta[{g.leaf, g.className}];
    d.first -= g.count;
    d.second -= g.bytes;
  }
  for (const auto& [k, d] : delta) {
    if (d.first == 0 && d.second == 0) continue;
    auto p = pathOf.find(k.first);
    if (p == pathOf.end()) {
      error = "an object map names call path " + std::to_string(k.first) +
              ", which the allocation tree lacks (take the tree with or after the second map, in the same run)";
      return false;
    }
    if (d.first > 0 || (d.first == 0 && d.second > 0))
      out.grown.push_back({k.second, p->second, d.first, d.second});
    else
      out.shrunk.push_back({k.second, p->second, -d.first, -d.second});
  }
  sortGroups(out.grown);
  sortGroups(out.shrunk);
  return true;
}

std::string formatObjectMapDiff(const ObjectMapDiff& diff) {
  return table("more live objects", diff.grown) + table("fewer live objects", diff.shrunk);
}

}  // namespace zem
