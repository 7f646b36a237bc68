#include <vector>

#include "CpuTree.h"
#include "JsonText.h"
#include "Records.h"

namespace zem {

bool exportTrace(const std::string& idBytes, const std::string& treeText, const std::string& key, std::string& json,
                 std::string& error) {
  std::vector<CpuFrame> frames;
  if (!readCpuTree(idBytes, treeText, key, frames, error)) return false;
  json = "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[";
  bool first = true;
  long long frameStart = 0;
  for (const CpuFrame& f : frames) {
    const std::vector<CpuNode>& nodes = f.nodes;
    std::vector<long long> inclusive(nodes.size(), 0), start(nodes.size(), 0);
    // Durations bottom-up (children follow their parent), then start times top-down.
    for (size_t i = nodes.size(); i-- > 0;) {
      inclusive[i] += nodes[i].self;
      if (nodes[i].parent >= 0) inclusive[static_cast<size_t>(nodes[i].parent)] += inclusive[i];
    }
    std::vector<long long> cursor(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
      const CpuNode& n = nodes[i];
      start[i] = n.parent < 0 ? frameStart : cursor[static_cast<size_t>(n.parent)];
      if (n.parent >= 0) cursor[static_cast<size_t>(n.parent)] += inclusive[i];
      cursor[i] = start[i] + n.self;
      json += first ? "" : ",";
      first = false;
      json += "{\"name\":";
      appendJsonString(json, n.name);
      json += ",\"cat\":\"zem\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":" + std::to_string(start[i]) +
              ",\"dur\":" + std::to_string(inclusive[i]) + ",\"args\":{\"calls\":" + std::to_string(n.calls) + "}}";
    }
    if (!nodes.empty()) frameStart += inclusive[0];
  }
  json += "]}\n";
  return true;
}

}  // namespace zem
