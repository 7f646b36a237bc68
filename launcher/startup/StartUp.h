// Pieces of start-up used by wWinMain.
#pragma once

#include <windows.h>

#include <string>

#include "WindowMessages.h"

namespace vekt {

constexpr const char* kMainWindowTitle = "Tarnveil";
constexpr const char* kInstanceName = "vekt_main.exe";
constexpr DWORD kMainWindowStyle = 0x10CF0000;
constexpr const wchar_t* kShadowWindowClass = L"VantorShadowWnd";

// Creates "Orbisk_Center\Log" under the local application data folder (failures
// ignored) and returns it with a trailing separator.
std::wstring PrepareLogDirectory();

// Registers the drop-shadow window class once per process.
void RegisterShadowWindowClass(HINSTANCE instance);

}  // namespace vekt
