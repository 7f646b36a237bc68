// Host stand-in: no registry and no shell links; reads find nothing and writes
// report failure.
#include "InstallRegistration.h"

namespace vekt {

bool ReadUninstallValue(const std::wstring&, const std::wstring&, std::wstring&) { return false; }
std::wstring GetInstallDir(const std::wstring&) { return std::wstring(); }
std::wstring GetBagFileParam(const std::wstring&) { return std::wstring(); }
bool DeleteDesktopShortcut() { return true; }
bool CreateDesktopShortcut(const std::wstring&, const std::wstring&) { return false; }
bool WriteUninstallValues(const std::wstring&) { return false; }
void RegisterUninstall(const std::wstring&, const std::wstring&) {}

}  // namespace vekt
