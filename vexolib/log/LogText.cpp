// Path pieces and level names of the log core.
#include "LogText.h"

namespace vexolib::log {

void splitStemExtension(const std::u16string& path, std::u16string& stem, std::u16string& extension) {
  size_t sep = path.find_last_of(u"/\\");
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos || (sep != std::u16string::npos && dot < sep)) {
    stem = path;
    extension.clear();
    return;
  }
  stem = path.substr(0, dot);
  extension = path.substr(dot + 1);
}

const char* levelName(int32_t level) {
  static const char* const names[] = {"Critical", "Error", "Maintance", "Warning", "Info", "Debug"};
  uint32_t u = static_cast<uint32_t>(level);
  return u < 6 ? names[u] : "Unknown";
}

}  // namespace vexolib::log
