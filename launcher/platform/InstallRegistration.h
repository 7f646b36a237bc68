// Registration of the game in the current user's list of installed programs,
// and the desktop shortcut to the launcher.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vekt {

constexpr const wchar_t* kGameId = L"vekt";
constexpr const wchar_t* kUninstallRoot = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kGameDisplayName = "Tarnveil";  // ANSI code page
constexpr const wchar_t* kGameDisplayVersion = L"3.8.3.4";
constexpr const wchar_t* kShortcutExtension = L".lnk";
// Registry texts are read into 520 bytes: 259 characters and the terminating NUL.
constexpr size_t kRegistryTextUnits = 260;

// "Software\...\Uninstall\<gameId>" below HKEY_CURRENT_USER.
std::wstring UninstallKeyPath(const std::wstring& gameId);
// gameDir "\vekt_main.exe": the launcher in the game directory.
std::wstring LauncherPathIn(const std::wstring& gameDir);
// The values of the uninstall key in the order they are written.
std::vector<std::pair<std::wstring, std::wstring>> UninstallValues(const std::wstring& gameDir);
// "DisplayIcon" to the game directory: "/" turned into "\", cut after the last
// "\" (kept); a text without any "\" is the directory as it is.
std::wstring InstallDirFromDisplayIcon(std::wstring displayIcon);
// desktopDir "\Tarnveil.lnk".
std::wstring DesktopShortcutPath(const std::wstring& desktopDir);

// Registry and desktop (Windows; the host has neither and reports nothing).
std::wstring GetInstallDir(const std::wstring& gameId);
std::wstring GetBagFileParam(const std::wstring& gameId);
// Reads a string value of the game's key; false when missing, not a string or
// longer than 259 characters.
bool ReadUninstallValue(const std::wstring& gameId, const std::wstring& name, std::wstring& value);
bool DeleteDesktopShortcut();
// Makes the shortcut unless source is "OC"; true when a link file was saved.
bool CreateDesktopShortcut(const std::wstring& gameDir, const std::wstring& source);
// Writes the values in order; stops at the first that cannot be set.
bool WriteUninstallValues(const std::wstring& gameDir);
// After released game files: old shortcut and key go, then shortcut and values
// are made anew. Nothing is reported; the game start goes on in every case.
void RegisterUninstall(const std::wstring& gameDir, const std::wstring& source);

}  // namespace vekt
