// Command lines and JSON texts from the outside: split, build and parse them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "LaunchParams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring line;
  line.reserve(size / 2 + 1);
  for (size_t i = 0; i + 1 < size; i += 2) line.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  std::wstring json;
  if (vekt::CmdJsonFromArgs(vekt::SplitCommandLine(line), json)) {
    vekt::LaunchParams params;
    vekt::ParseCmdJson(json, params);
  }
  vekt::LaunchParams direct;
  vekt::ParseCmdJson(std::wstring(data, data + size), direct);
  return 0;
}
