// Shared helpers of the log tests: a private temporary folder per test.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempDir.h"

namespace logtest {

using vekt::testsupport::readFile;
using vekt::testsupport::writeFile;

inline std::vector<std::string> splitCrlfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos) + "<no CRLF>");
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

inline std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Each test runs inside its own empty folder, which is also the current
// directory (relative paths land in it).
class TempDirTest : public vekt::testsupport::TempCwdTest {};

}  // namespace logtest
