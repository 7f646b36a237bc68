#include <cstdio>
#include <map>

#include "Records.h"

namespace zem {

namespace {
struct TraceNode {
  long long key, self, calls, inclusive = 0, start = 0;
  long long parent;
  std::string name;
};

void appendJsonString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}
}  // namespace

bool exportTrace(const std::string& idBytes, const std::string& treeText, const std::string& key, std::string& json,
                 std::string& error) {
  std::vector<IdName> ids;
  std::vector<FrameBlock> frames;
  if (!readIdMap(idBytes, key, ids, error) || !readFrames(treeText, frames, error)) return false;
  std::map<long long, std::string> names;
  for (const IdName& r : ids) names[static_cast<long long>(r.id)] = r.name;

  json = "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[";
  bool first = true;
  long long frameStart = 0;
  for (const FrameBlock& f : frames) {
    std::vector<TraceNode> nodes;
    std::vector<long long> open;  // node index per depth
    for (const auto& l : f.lines) {
      if (l.size() != 5 && l.size() != 7) {
        error = "not a tree line";
        return false;
      }
      const long long depth = l[0];
      if (depth < 0 || depth > static_cast<long long>(open.size()) || (nodes.empty() != (depth == 0))) {
        error = "bad nesting";
        return false;
      }
      open.resize(static_cast<size_t>(depth));
      auto it = names.find(l[2]);
      nodes.push_back({l[2], l[3] < 0 ? 0 : l[3], l[4], 0, 0, depth ? open.back() : -1,
                       it != names.end() ? it->second : std::to_string(l[2])});
      open.push_back(static_cast<long long>(nodes.size() - 1));
    }
    // Durations bottom-up (children follow their parent), then start times top-down.
    for (size_t i = nodes.size(); i-- > 0;) {
      nodes[i].inclusive += nodes[i].self;
      if (nodes[i].parent >= 0) nodes[static_cast<size_t>(nodes[i].parent)].inclusive += nodes[i].inclusive;
    }
    std::vector<long long> cursor(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
      TraceNode& n = nodes[i];
      n.start = n.parent < 0 ? frameStart : cursor[static_cast<size_t>(n.parent)];
      if (n.parent >= 0) cursor[static_cast<size_t>(n.parent)] += n.inclusive;
      cursor[i] = n.start + n.self;
      std::string name = n.parent < 0 ? "frame " + std::to_string(f.frame) : n.name;
      json += first ? "" : ",";
      first = false;
      json += "{\"name\":";
      appendJsonString(json, name);
      json += ",\"cat\":\"zem\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":" + std::to_string(n.start) +
              ",\"dur\":" + std::to_string(n.inclusive) + ",\"args\":{\"calls\":" + std::to_string(n.calls) + "}}";
    }
    if (!nodes.empty()) frameStart += nodes[0].inclusive;
  }
  json += "]}\n";
  return true;
}

}  // namespace zem
