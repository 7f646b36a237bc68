// Opens arbitrary bytes as a skin package and reads every name it may hold.
#include <cstddef>
#include <cstdint>
#include <string>

#include "UIZip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VantorUI::CZipPackage package;
  if (!package.OpenMemory(data, size, L"fuzz")) return 0;
  std::vector<uint8_t> bytes;
  std::string error;
  for (const char* name : {"GameLoader.xml", "a", "shadow.png", ""}) package.Read(name, bytes, error);
  // Names present in the directory: try each distinct short name found in the input.
  for (size_t i = 0; i + 46 <= size && i < 4096; ++i) {
    if (data[i] == 0x50 && data[i + 1] == 0x4b && data[i + 2] == 1 && data[i + 3] == 2) {
      const size_t len = data[i + 28] | (data[i + 29] << 8);
      if (i + 46 + len <= size)
        package.Read(std::string(reinterpret_cast<const char*>(data + i + 46), len), bytes, error);
    }
  }
  return 0;
}
