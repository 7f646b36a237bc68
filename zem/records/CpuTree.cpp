#include "CpuTree.h"

#include <map>

#include "Records.h"
#include "Speedscope.h"

namespace zem {

bool readCpuTree(const std::string& idBytes, const std::string& treeText, const std::string& key,
                 std::vector<CpuFrame>& out, std::string& error) {
  out.clear();
  std::vector<IdName> ids;
  std::vector<FrameBlock> frames;
  if (!readIdMap(idBytes, key, ids, error) || !readFrames(treeText, frames, error)) return false;
  std::map<long long, std::string> names;
  for (const IdName& r : ids) names[static_cast<long long>(r.id)] = r.name;
  for (const FrameBlock& f : frames) {
    CpuFrame cf;
    cf.frame = f.frame;
    std::vector<long long> open;  // node index per depth
    for (const auto& l : f.lines) {
      if (l.size() != 5 && l.size() != 7) {
        error = "not a tree line";
        return false;
      }
      const long long depth = l[0];
      if (depth < 0 || depth > static_cast<long long>(open.size()) || (cf.nodes.empty() != (depth == 0))) {
        error = "bad nesting";
        return false;
      }
      open.resize(static_cast<size_t>(depth));
      auto it = names.find(l[2]);
      CpuNode n;
      n.self = l[3] < 0 ? 0 : l[3];
      n.calls = l[4];
      n.parent = depth ? open.back() : -1;
      n.name = depth == 0 ? "frame " + std::to_string(f.frame) : it != names.end() ? it->second : std::to_string(l[2]);
      cf.nodes.push_back(std::move(n));
      open.push_back(static_cast<long long>(cf.nodes.size() - 1));
    }
    out.push_back(std::move(cf));
  }
  return true;
}

bool exportCpuSpeedscope(const std::string& idBytes, const std::string& treeText, const std::string& key,
                         std::string& json, std::string& error) {
  std::vector<CpuFrame> frames;
  if (!readCpuTree(idBytes, treeText, key, frames, error)) return false;
  SpeedscopeFile file("zem CPU tree");
  file.beginProfile("CPU", "microseconds");
  for (const CpuFrame& f : frames) {
    std::vector<std::vector<size_t>> stacks(f.nodes.size());
    for (size_t i = 0; i < f.nodes.size(); ++i) {
      const CpuNode& n = f.nodes[i];
      if (n.parent >= 0) stacks[i] = stacks[static_cast<size_t>(n.parent)];
      stacks[i].push_back(file.frame(n.name));
      file.addSample(stacks[i], n.self);
    }
  }
  json = file.json();
  return true;
}

}  // namespace zem
