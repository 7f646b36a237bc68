// Entry of vekt_main: log folder, single instance, launch parameters, main window.
#include <windows.h>
#include <ole2.h>

#include "Common.h"
#include "GameLoader.h"
#include "GameLoaderWnd.h"
#include "LaunchParams.h"
#include "Logger.h"
#include "StartUp.h"

using namespace vekt;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  VantorUI::CWindowWnd::SetInstance(instance);
  const std::wstring logDir = PrepareLogDirectory();
  Logger::initializePathDir(WideToMulti(logDir, kCodePageAnsi));
  VEKT_LOG(2, L"Logger::initializePathDir:" << logDir);

  const std::wstring title = AnsiToWide(kMainWindowTitle);
  const std::wstring instanceName = AnsiToWide(kInstanceName);

  HANDLE mutex = CreateMutexW(nullptr, TRUE, instanceName.c_str());
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    VEKT_LOG(2, L"CreateMutex ERROR_ALREADY_EXISTS:" << instanceName);
    HWND earlier = FindWindowW(nullptr, title.c_str());
    if (earlier && IsWindow(earlier)) {
      VEKT_LOG(2, L"FindWindow:" << title);
      PostMessageW(earlier, WM_GL_ACTIVATE, 0, 0);
    }
    if (mutex) {
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    }
    return 0;
  }
  // Released at once but held open until the process ends: the open handle is
  // what later instances detect.
  if (mutex) ReleaseMutex(mutex);
  VEKT_LOG(2, L"CreateMutex not ERROR_ALREADY_EXISTS:" << instanceName);

  std::wstring cmdJson;
  if (!ParseCmdParam(cmdJson)) {
    VEKT_LOG(0, L"ParseCmdParam false");
    return 0;
  }
  if (IsGameExit(cmdJson)) return 0;

  // OLE, not just COM: the page's clipboard, drag and drop and in-place
  // activation need it on this thread before the window and its browser exist.
  if (FAILED(OleInitialize(nullptr))) {
    VEKT_LOG(0, L"OleInitialize false");
    return 0;
  }
  RegisterShadowWindowClass(instance);
  RunGameLoaderWnd(title, cmdJson);
  OleUninitialize();
  return 0;
}
