#include "InstallRegistration.h"

#include <cwctype>

#include "Common.h"

namespace vekt {

std::wstring UninstallKeyPath(const std::wstring& gameId) { return std::wstring(kUninstallRoot) + L"\\" + gameId; }

std::wstring LauncherPathIn(const std::wstring& gameDir) { return gameDir + L"\\" + kGameId + L"_main.exe"; }

std::vector<std::pair<std::wstring, std::wstring>> UninstallValues(const std::wstring& gameDir) {
  std::wstring capitalised = kGameId;
  if (!capitalised.empty()) capitalised[0] = static_cast<wchar_t>(std::towupper(capitalised[0]));
  return {
      {L"DisplayVersion", kGameDisplayVersion},
      {L"DisplayIcon", LauncherPathIn(gameDir)},
      {L"DisplayName", AnsiToWide(kGameDisplayName)},
      {L"Publisher", L""},
      {L"UninstallString", gameDir + L"\\" + capitalised + L"Sorvenuninst.exe"},
  };
}

std::wstring InstallDirFromDisplayIcon(std::wstring displayIcon) {
  ReplaceAll(displayIcon, L"/", L"\\");
  const std::wstring::size_type cut = displayIcon.rfind(L'\\');
  if (cut != std::wstring::npos) displayIcon.resize(cut + 1);
  return displayIcon;
}

std::wstring DesktopShortcutPath(const std::wstring& desktopDir) {
  return desktopDir + L"\\" + AnsiToWide(kGameDisplayName) + kShortcutExtension;
}

}  // namespace vekt
