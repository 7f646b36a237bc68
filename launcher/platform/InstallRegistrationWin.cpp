// Windows side of the install registration: the uninstall key and the shortcut.
#include <windows.h>
#include <shlwapi.h>

#include "Common.h"
#include "InstallRegistration.h"

namespace vekt {

bool ReadUninstallValue(const std::wstring& gameId, const std::wstring& name, std::wstring& value) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, UninstallKeyPath(gameId).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  wchar_t buffer[kRegistryTextUnits] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  // The stored text need not end with a NUL: take only what was returned.
  size_t units = size / sizeof(wchar_t);
  while (units > 0 && buffer[units - 1] == L'\0') --units;
  if (units >= kRegistryTextUnits) return false;  // no room left for the NUL: too long
  value.assign(buffer, units);
  value.resize(wcslen(value.c_str()));
  return true;
}

std::wstring GetInstallDir(const std::wstring& gameId) {
  std::wstring icon;
  if (!ReadUninstallValue(gameId, L"DisplayIcon", icon)) return std::wstring();
  return InstallDirFromDisplayIcon(icon);
}

std::wstring GetBagFileParam(const std::wstring& gameId) {
  std::wstring value;
  return ReadUninstallValue(gameId, L"FileParam", value) ? value : std::wstring();
}

bool DeleteDesktopShortcut() {
  const std::wstring link = DesktopShortcutPath(GetDesktopDir());
  return DeleteFileW(link.c_str()) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool CreateDesktopShortcut(const std::wstring& gameDir, const std::wstring& source) {
  if (source == L"OC") return false;
  const std::wstring target = LauncherPathIn(gameDir);
  return CreateShortcut(DesktopShortcutPath(GetDesktopDir()), target, target);
}

bool WriteUninstallValues(const std::wstring& gameDir) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool written = true;
  for (const auto& value : UninstallValues(gameDir)) {
    const DWORD bytes = static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(key, value.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second.c_str()),
                       bytes) != ERROR_SUCCESS) {
      written = false;
      break;
    }
  }
  RegCloseKey(key);
  return written;
}

void RegisterUninstall(const std::wstring& gameDir, const std::wstring& source) {
  DeleteDesktopShortcut();
  HKEY uninstall = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &uninstall, nullptr) ==
      ERROR_SUCCESS) {
    SHDeleteKeyW(uninstall, kGameId);
    RegCloseKey(uninstall);
  }
  CreateDesktopShortcut(gameDir, source);
  WriteUninstallValues(gameDir);
}

}  // namespace vekt
