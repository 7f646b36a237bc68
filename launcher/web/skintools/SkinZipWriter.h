// Writes ZIP archives with stored and deflated entries: the skin packer's
// output format, also used by tests to build packages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vekt::skin {

struct ZipInput {
  std::string name;
  std::vector<uint8_t> data;
  bool deflate = true;
};

// Empty on failure (a deflate error or a file too large for the format).
std::vector<uint8_t> WriteZip(const std::vector<ZipInput>& files);

}  // namespace vekt::skin
