// Paths for the Windows test hosts: the build hands them Unix paths, which
// Wine reaches through its Z: drive.
#pragma once
#include <windows.h>

#include <string>

namespace winpath {

inline std::wstring widen(const char* s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, &w[0], n);
  return w;
}

inline std::wstring fromBuild(const wchar_t* arg) {
  std::wstring p(arg);
  if (!p.empty() && p[0] == L'/') p = L"Z:" + p;
  for (auto& c : p) {
    if (c == L'/') c = L'\\';
  }
  return p;
}

inline std::wstring fromBuild(const char* arg) { return fromBuild(widen(arg).c_str()); }

}  // namespace winpath
