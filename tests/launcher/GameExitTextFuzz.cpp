// Launch texts from the outside: the game-exit decision never crashes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "GameLoader.h"
#include "Logger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    // A folder that cannot be written and no fallback: the log stays off.
    vekt::Logger::initializePathDir("/nonexistent-vekt-fuzz-log/");
    return true;
  }();
  (void)quiet;
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  vekt::IsGameExitText(text);
  vekt::IsGameExitText(std::wstring(data, data + size));
  return 0;
}
