#include "StartUp.h"

#include <shlwapi.h>

#include "Common.h"
#include "LaunchParams.h"
#include "Logger.h"

namespace vekt {
namespace {

void ensureDirectory(const std::wstring& path) {
  if (!PathFileExistsW(path.c_str())) CreateDirectoryW(path.c_str(), nullptr);
}

}  // namespace

std::wstring PrepareLogDirectory() {
  std::wstring dir = GetLocalAppDataDir() + L"\\" + L"Orbisk_Center";
  ensureDirectory(dir);
  dir += L"\\";
  dir += L"Log";
  ensureDirectory(dir);
  if (dir.back() != L'\\' && dir.back() != L'/') dir += L"\\";
  return dir;
}

void RegisterShadowWindowClass(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = kShadowWindowClass;
  registered = RegisterClassExW(&wc) != 0;
}

}  // namespace vekt
