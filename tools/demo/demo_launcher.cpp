// Drives vekt_main.exe the way the platform client and the game manager do:
// both are windows of this program. The launcher is started with the player's
// parameters, tells the game manager it is up, shows its window once its page
// has loaded, takes the download progress, shows its own box for a network
// failure and, when that is confirmed, ends and sends the platform client the
// exit notice. Then the launcher's download page (which only the update flow
// shows) is built in this process at two progress values. Pictures of each go
// to <output folder>/launcher. Usage: demo_launcher <build folder> <output folder>
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <string>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "Common.h"
#include "DemoWindows.h"
#include "GameLoaderWnd.h"
#include "Logger.h"
#include "StartUp.h"
#include "winhttpserver.h"
#include "winpath.h"
#include "winshot.h"

namespace {

using demo::pump;

UINT g_lastManagerMessage = 0;
int g_notices = 0;

LRESULT CALLBACK peerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    ++g_notices;
    return TRUE;
  }
  if (msg >= WM_USER && msg < 0x8000) {
    g_lastManagerMessage = msg;
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND peerWindow(const wchar_t* title) {
  return CreateWindowW(L"VektDemoPeer", title, WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                       GetModuleHandleW(nullptr), nullptr);
}

void shot(HWND window, const std::wstring& out, const char* name) {
  char path[MAX_PATH * 2] = {};
  WideCharToMultiByte(CP_ACP, 0, (out + L"\\").c_str(), -1, path, MAX_PATH, nullptr, nullptr);
  const std::string file = std::string(path) + name;
  if (!winshot::captureWhenPainted(window, file).saved) std::printf("no picture of %s\n", name);
}

// The download page as the update flow shows it, built here: the window of
// the shipped skin, page 1 selected, the progress the game manager reports.
void downloadPages(const std::wstring& out) {
  using namespace vekt;
  VantorUI::CWindowWnd::SetInstance(GetModuleHandleW(nullptr));
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  Logger::initializePathDir(WideToMulti(std::wstring(temp), kCodePageAnsi));
  std::freopen("NUL", "w", stderr);  // the launcher's log copies itself there
  // No token: the page's game start never comes, so the window stays.
  auto* window = new GameLoaderWnd(L"{\"source\":\"OC\",\"token\":\"\"}");
  HWND hwnd = window->Create(nullptr, L"Tarnveil", kMainWindowStyle & ~WS_VISIBLE, 0, 0, 0, 0, 0);
  if (!hwnd) {
    std::printf("the download page's window was not made\n");
    return;
  }
  window->CenterWindow();
  PostMessageW(hwnd, 1128, 0, 0);  // page loaded: the window shows
  pump(500);
  if (auto* tab = dynamic_cast<VantorUI::CTabLayoutUI*>(window->FindControl(L"wizardTab"))) tab->SelectItem(1);
  for (int value : {35, 80}) {
    PostMessageW(hwnd, 1136, static_cast<WPARAM>(value), 0);
    InvalidateRect(hwnd, nullptr, TRUE);
    pump(800);
    shot(hwnd, out, value == 35 ? "download-35.png" : "download-80.png");
  }
  DestroyWindow(hwnd);
  pump(300);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: demo_launcher <build folder> <output folder>\n");
    return 2;
  }
  const std::wstring build = winpath::fromBuild(argv[1]);
  const std::wstring out = winpath::fromBuild(argv[2]) + L"\\launcher";
  CreateDirectoryW(out.c_str(), nullptr);

  WNDCLASSW wc = {};
  wc.lpfnWndProc = peerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VektDemoPeer";
  RegisterClassW(&wc);
  HWND platform = peerWindow(L"platform client");
  HWND manager = peerWindow(L"game manager");

  // The launcher built for tests: the shipped one opens only the game's site,
  // which cannot be reached from here.
  const std::wstring exe = build + L"\\launcher\\web\\testpages\\vekt_main.exe";
  std::wstring commandLine = L"\"" + exe + L"\" --winid=" + std::to_wstring(reinterpret_cast<intptr_t>(platform)) +
                             L" --source=OC --token=demo-token --gameMgrId=" +
                             std::to_wstring(reinterpret_cast<intptr_t>(manager)) + L" --typeMode=1";
  // A loopback page that never answers: nothing leaves the machine, and under
  // Wine (no HTML engine here) it neither loads nor fails.
  const winhttp::LoopbackServer quietPage(0);
  SetEnvironmentVariableW(L"VEKT_HOME_PAGE", quietPage.address().c_str());
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;  // the launcher's own copy of its log stays out of this output
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("cannot start %ls\n", exe.c_str());
    return 1;
  }
  HWND launcher = demo::windowOf(pi.dwProcessId, L"GameLoaderResClass", false, 30000);
  if (!launcher) {
    std::printf("the launcher's window did not appear\n");
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  // Created with the visible style and hidden at once; it waits for its page.
  for (int i = 0; i < 200 && (g_lastManagerMessage != 1348 || IsWindowVisible(launcher)); ++i) pump(50);

  // The page would report that it has loaded; here the demo does, so the window shows.
  PostMessageW(launcher, 1128, 0, 0);
  pump(1500);
  shot(launcher, out, "main-window.png");

  for (int value = 0; value <= 100; value += 20) {
    PostMessageW(launcher, 1136, static_cast<WPARAM>(value), 0);
    pump(100);
  }
  // The game manager reports that the download failed: the launcher's own box.
  PostMessageW(launcher, 1135, 7, 0);
  if (HWND box = demo::windowOf(pi.dwProcessId, L"CustomMsgBoxClass", true, 10000)) {
    pump(300);
    shot(box, out, "message-box.png");
    PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(220, 224));  // "确定"
    PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(220, 224));
  } else {
    std::printf("the launcher's message box did not appear\n");
    PostMessageW(launcher, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) pump(0);
  pump(300);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);

  OleInitialize(nullptr);
  downloadPages(out);
  OleUninitialize();
  std::printf("vekt_main.exe: started by the platform client, showed its window, its message box; ended with %lu "
              "and %d exit notice%s\n",
              code, g_notices, g_notices == 1 ? "" : "s");
  return g_notices == 1 ? 0 : 1;
}
