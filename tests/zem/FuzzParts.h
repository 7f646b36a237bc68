// Fuzz inputs that carry several files: the parts between "~~" lines.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

inline std::vector<std::string> fuzzParts(const std::string& bytes, size_t count) {
  std::vector<std::string> parts(count);
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t cut = i + 1 < count ? bytes.find("\n~~\n", start) : std::string::npos;
    parts[i] = bytes.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
    if (cut == std::string::npos) break;
    start = cut + 4;
  }
  return parts;
}
