// Drives vekt_main.exe the way the platform client and the game manager do:
// both are windows of this program. The launcher is started with the player's
// parameters, tells the game manager it is up, takes the download progress up
// to 100 and the news that the files are released, and on its close sends the
// platform client the exit notice. Screenshots of each stage go to the output
// folder. Usage: demo_launcher <build folder> <output folder>
#include <windows.h>

#include <cstdio>
#include <string>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "winhttpserver.h"
#include "winpath.h"
#include "winshot.h"

namespace {

UINT g_lastManagerMessage = 0;
int g_notices = 0;

LRESULT CALLBACK peerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    ++g_notices;
    std::printf("platform client: exit notice received (dwData %llu, %lu bytes)\n",
                static_cast<unsigned long long>(copy->dwData), copy->cbData);
    return TRUE;
  }
  if (msg >= WM_USER && msg < 0x8000) {
    g_lastManagerMessage = msg;
    std::printf("game manager: message %u from the launcher\n", msg);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND peerWindow(const wchar_t* title) {
  return CreateWindowW(L"VektDemoPeer", title, WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                       GetModuleHandleW(nullptr), nullptr);
}

void pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  MSG msg;
  do {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(20);
  } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

HWND launcherWindow(DWORD pid) {
  for (int i = 0; i < 600; ++i) {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"GameLoaderResClass", nullptr); w;
         w = FindWindowExW(nullptr, w, L"GameLoaderResClass", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid) return w;
    }
    pump(50);
  }
  return nullptr;
}

void shot(HWND window, const std::wstring& out, const char* name) {
  char path[MAX_PATH * 2] = {};
  WideCharToMultiByte(CP_ACP, 0, (out + L"\\").c_str(), -1, path, MAX_PATH, nullptr, nullptr);
  const std::string file = std::string(path) + name;
  if (winshot::capture(window, file).saved) std::printf("screenshot: %s\n", name);
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
  HWND launcher = launcherWindow(pi.dwProcessId);
  if (!launcher) {
    std::printf("the launcher's window did not appear\n");
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  // Created with the visible style and hidden at once; it waits for its page.
  for (int i = 0; i < 200 && (g_lastManagerMessage != 1348 || IsWindowVisible(launcher)); ++i) pump(50);
  std::printf("launcher window found (hidden: %s)\n", IsWindowVisible(launcher) ? "no" : "yes");

  // The page would report that it has loaded; here the demo does, so the window shows.
  PostMessageW(launcher, 1128, 0, 0);
  pump(1500);
  shot(launcher, out, "main-window.png");

  std::printf("game manager: progress 0, 20, ... 100, then 100 again\n");
  for (int value = 0; value <= 100; value += 20) {
    PostMessageW(launcher, 1136, static_cast<WPARAM>(value), 0);
    pump(200);
  }
  PostMessageW(launcher, 1136, 100, 0);
  pump(500);
  std::printf("game manager: files released (1134 with 0)\n");
  PostMessageW(launcher, 1134, 0, 0);
  pump(1500);

  std::printf("closing the launcher from the taskbar\n");
  PostMessageW(launcher, WM_SYSCOMMAND, SC_CLOSE, 0);
  while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) pump(0);
  pump(300);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("launcher ended with %lu; exit notices received: %d\n", code, g_notices);
  std::printf("screenshots: %ls\n", out.c_str());
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return g_notices == 1 ? 0 : 1;
}
