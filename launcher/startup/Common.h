// Text conversion, folders, processes and shortcut files used across the launcher.
#pragma once

#include <cstdint>
#include <string>

namespace vekt {

constexpr unsigned kCodePageAnsi = 0;  // CP_ACP
constexpr unsigned kCodePageUtf8 = 65001;

// Conversions between the launcher's UTF-16 text and byte strings in the ANSI
// code page or UTF-8; like the system calls they stop at an embedded NUL.
std::wstring AnsiToWide(const std::string& text);
std::wstring MultiToWide(const std::string& text, unsigned codePage);
std::string WideToMulti(const std::wstring& text, unsigned codePage);

// Replaces every occurrence of from (not empty); inserted text is not searched again.
template <class String>
String& ReplaceAll(String& text, const String& from, const String& to) {
  if (from.empty()) return text;
  for (typename String::size_type pos = text.find(from); pos != String::npos; pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
  return text;
}
inline std::wstring& ReplaceAll(std::wstring& text, const wchar_t* from, const wchar_t* to) {
  return ReplaceAll(text, std::wstring(from), std::wstring(to));
}

// The part of a path before its last "\" (the path itself when it has none).
std::wstring DirectoryOf(const std::wstring& path);

std::wstring GetModuleDir();
std::wstring GetDesktopDir();
std::wstring GetProgramFilesX86Dir();
std::wstring GetLocalAppDataDir();

int32_t GetProcessIdByName(const std::wstring& name);
bool KillProcess(int32_t pid);
bool CreateShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& icon);

}  // namespace vekt
