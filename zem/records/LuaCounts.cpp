#include "LuaCounts.h"

#include <vector>

#include "Records.h"

namespace zem {

namespace {
// The one "#frame" block of a dump file, every line "type,id,0,count".
bool readBlock(const std::string& text, const char* what, FrameBlock& block, std::string& error) {
  std::vector<FrameBlock> blocks;
  if (!readFrames(text, blocks, error)) {
    error = std::string(what) + ": " + error;
    return false;
  }
  if (blocks.size() != 1) {
    error = std::string(what) + ": not one frame block";
    return false;
  }
  for (const auto& l : blocks[0].lines)
    if (l.size() != 4 || l[2] != 0 || l[3] < 0) {
      error = std::string(what) + ": bad count line";
      return false;
    }
  block = std::move(blocks[0]);
  return true;
}
}  // namespace

bool readLuaObjectCounts(const std::string& idBytes, const std::string& objects, const std::string& names,
                         const std::string& key, LuaObjectCounts& out, std::string& error) {
  out = LuaObjectCounts{};
  std::vector<IdName> ids;
  if (!readIdMap(idBytes, key, ids, error)) return false;
  std::map<long long, std::string> nameOf;
  for (const IdName& i : ids) nameOf[static_cast<long long>(i.id)] = i.name;
  FrameBlock lo, lk;
  if (!readBlock(objects, "objects", lo, error) || !readBlock(names, "names", lk, error)) return false;
  if (lo.frame != lk.frame) {
    error = "the two files are of different frames";
    return false;
  }
  out.frame = lo.frame;
  for (const auto& l : lo.lines) {
    auto it = nameOf.find(l[1]);
    if (l[0] != 1 || l[1] < 100 || l[1] > 105 || it == nameOf.end()) {
      error = "objects: unknown kind";
      return false;
    }
    out.kinds[it->second] = l[3];
  }
  if (lk.lines.empty() || lk.lines[0] != std::vector<long long>{1, 2000, 0, 0}) {
    error = "names: no key line";
    return false;
  }
  for (size_t i = 1; i < lk.lines.size(); ++i) {
    const auto& l = lk.lines[i];
    auto it = nameOf.find(l[1]);
    if (l[0] != 2 || it == nameOf.end()) {
      error = "names: unknown name";
      return false;
    }
    out.names[it->second] += l[3];
  }
  return true;
}

std::string formatLuaObjectCounts(const LuaObjectCounts& counts) {
  std::string text = "frame " + std::to_string(counts.frame) + "\n";
  for (const auto& [kind, n] : counts.kinds) text += kind + "," + std::to_string(n) + "\n";
  for (const auto& [name, n] : counts.names) {
    std::string shown;
    for (char c : name) shown += (c == '\0') ? std::string("\\0") : std::string(1, c);
    text += shown + "," + std::to_string(n) + "\n";
  }
  return text;
}

}  // namespace zem
