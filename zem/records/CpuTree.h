// A CPU tree file read into nodes with their names, for the exports.
#pragma once
#include <string>
#include <vector>

namespace zem {

struct CpuNode {
  long long self = 0, calls = 0;
  long long parent = -1;  // index in the frame's nodes; -1 for the frame's root
  std::string name;       // "frame N" for the root
};
struct CpuFrame {
  long long frame = 0;
  std::vector<CpuNode> nodes;  // a parent always comes before its children
};

// False with error for malformed input; names come from the identifier file
// (key unscrambles a binary one), unknown keys are shown as numbers.
bool readCpuTree(const std::string& idBytes, const std::string& treeText, const std::string& key,
                 std::vector<CpuFrame>& out, std::string& error);

// The CPU tree as a speedscope profile: one sample per node, the stack from
// the frame down to it, weighted by its own time in microseconds.
bool exportCpuSpeedscope(const std::string& idBytes, const std::string& treeText, const std::string& key,
                         std::string& json, std::string& error);

}  // namespace zem
