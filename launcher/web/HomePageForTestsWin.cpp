#include <windows.h>

#include "GameStart.h"
#include "HomePageChoice.h"

namespace vekt {

std::wstring ConfiguredHomePage() {
  wchar_t value[2048] = {};
  const DWORD length = GetEnvironmentVariableW(kTestHomePageVariable, value, 2048);
  if (length > 0 && length < 2048) return std::wstring(value, length);
  return HomePageBase();
}

}  // namespace vekt
