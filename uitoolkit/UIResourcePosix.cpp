#include <cstdio>

#include "UIResource.h"
#include "UIText.h"

namespace VantorUI {

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, size_t limit) {
  bytes.clear();
  FILE* f = std::fopen(WideToUtf8(path).c_str(), "rb");
  if (!f) return false;
  uint8_t chunk[65536];
  size_t got;
  bool ok = true;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    if (bytes.size() + got > limit) {
      ok = false;
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  if (!ok) bytes.clear();
  return ok;
}

}  // namespace VantorUI
