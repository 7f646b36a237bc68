// The ANSI code page on Windows: the system's CP_ACP.
#include <windows.h>

#include <climits>

#include "Text.h"

namespace vekt::base {

std::u16string ansiToUtf16(std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::u16string();
  const int n = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), n, nullptr, 0);
  if (size <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), n, reinterpret_cast<wchar_t*>(&out[0]), size);
  return out;
}

std::string utf16ToAnsi(std::u16string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int n = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, n, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, n, &out[0], size, nullptr, nullptr);
  return out;
}

}  // namespace vekt::base
