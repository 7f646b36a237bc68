// Fuzzes what arrives from outside the tool: copy-data messages (code and
// bytes, read only within their count) and command lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ToolCore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  if (mode & 1) {
    std::uint64_t code = vistrel::kNavigateCode + (mode >> 1) % 4;  // 100..103
    // A copy of exactly `size` bytes, so the sanitizer sees any read past it.
    std::vector<uint8_t> copy(data, data + size);
    const auto request = vistrel::decodeCopyData(code, copy.empty() ? nullptr : copy.data(), copy.size());
    if (request.action == vistrel::CopyDataAction::Navigate &&
        (request.address.empty() || request.address.size() >= size ||
         request.address.find(L'\0') != std::wstring::npos)) {
      __builtin_trap();
    }
  } else {
    std::vector<std::wstring> commandLine(1, L"Vistrel.exe");
    std::wstring current;
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == '\n') {
        commandLine.push_back(current);
        current.clear();
      } else {
        current += static_cast<wchar_t>(data[i]);
      }
    }
    commandLine.push_back(current);
    const auto args = vistrel::readToolArguments(commandLine);
    if (args.has_value() != (commandLine.size() == vistrel::kCommandLineEntries)) __builtin_trap();
    vistrel::centreOnOwner({args ? args->width : 0, args ? args->height : 0},
                           {args ? args->owner : 0, args ? args->height : 0});
  }
  return 0;
}
