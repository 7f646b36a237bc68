// Portable part of the file calls: folder chains and standard output.
#include "File.h"

namespace vekt::base {

bool makeDirectories(const std::u16string& path) {
  if (path.empty()) return false;
  if (isDirectory(path)) return true;
  // Each prefix that ends before a separator, then the whole path; the roots
  // ("/", "C:", "\\server\share") are never created, only tested.
  for (size_t pos = path.find_first_of(u"/\\", 1); pos != std::u16string::npos;
       pos = path.find_first_of(u"/\\", pos + 1)) {
    const std::u16string prefix = path.substr(0, pos);
    if (prefix.empty() || prefix.back() == u'/' || prefix.back() == u'\\' || prefix.back() == u':') continue;
    if (!isDirectory(prefix)) makeDirectory(prefix);
  }
  if (!isDirectory(path)) makeDirectory(path);
  return isDirectory(path);
}

bool writeAll(int fd, const char* data, size_t size) { return writePart(fd, data, size) == size; }

void writeStdout(const char* data, size_t size) {
  std::fwrite(data, 1, size, stdout);
  std::fflush(stdout);
}

}  // namespace vekt::base
