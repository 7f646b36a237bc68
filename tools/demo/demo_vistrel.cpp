// Opens Vistrel.exe as a game would: over the game's window, given the
// window's handle, a size and an address. Vistrel stands centred over its
// owner; the picture shows both. (Wine here has no HTML engine, so the page
// itself stays blank.) Usage: demo_vistrel <build folder> <output folder>
#include <windows.h>

#include <cstdio>
#include <string>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "DemoWindows.h"
#include "winpath.h"
#include "winshot.h"

namespace {

using demo::pump;

LRESULT CALLBACK ownerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    HBRUSH brush = CreateSolidBrush(RGB(40, 70, 110));  // the game's scene
    FillRect(reinterpret_cast<HDC>(wp), &rc, brush);
    DeleteObject(brush);
    return 1;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: demo_vistrel <build folder> <output folder>\n");
    return 2;
  }
  const std::wstring build = winpath::fromBuild(argv[1]);
  const std::wstring out = winpath::fromBuild(argv[2]) + L"\\vistrel";
  CreateDirectoryW(out.c_str(), nullptr);

  WNDCLASSW wc = {};
  wc.lpfnWndProc = ownerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VektDemoGame";
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  RegisterClassW(&wc);
  HWND game = CreateWindowW(L"VektDemoGame", L"the game", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 40, 1000, 700,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  pump(500);

  const std::wstring exe = build + L"\\webtool\\Vistrel.exe";
  std::wstring commandLine = L"\"" + exe + L"\" \"Vistrel\" 640 420 " +
                             std::to_wstring(reinterpret_cast<INT_PTR>(game)) + L" \"about:blank\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("cannot start %ls\n", exe.c_str());
    return 1;
  }
  HWND tool = demo::windowOf(pi.dwProcessId, L"VISTREL", true);
  int status = 0;
  if (tool) {
    pump(1500);
    RECT area{};
    GetWindowRect(game, &area);
    char path[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, (out + L"\\vistrel-over-owner.png").c_str(), -1, path, sizeof path, nullptr,
                        nullptr);
    if (!winshot::captureRect(area, path).saved) std::printf("no picture of Vistrel\n");
    PostMessageW(tool, WM_CLOSE, 0, 0);
    std::printf("Vistrel.exe: opened centred over the game's window, then closed\n");
  } else {
    std::printf("Vistrel's window did not appear\n");
    status = 1;
  }
  if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  DestroyWindow(game);
  return status;
}
