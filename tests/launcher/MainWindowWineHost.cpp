// The launcher's main window end to end under Wine and Xvfb: the real
// vekt_main.exe driven as the platform client and the game manager drive it,
// and the window built in this process where its controls are read back.
// Usage: main_window_host <vekt_main.exe> <StandinWindow.exe> <screenshot folder>
#include <windows.h>
#include <objbase.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <shlwapi.h>

#include <string>
#include <vector>

#include "GameLoaderWnd.h"
#include "InstallRegistration.h"
#include "LauncherWineSupport.h"
#include "Logger.h"
#include "StartUp.h"
#include "skintexts.h"
#include "winpath.h"
#include "winshot.h"

using namespace vekt;
using namespace launcherwine;
using winshot::Picture;

namespace {

std::wstring g_shots;

std::string shotPath(const char* name) { return WideToMulti(g_shots + L"\\" + AnsiToWide(name), kCodePageAnsi); }

// The window saved as PNG in the screenshot folder.
Picture screenshot(HWND window, const char* name) {
  const Picture picture = winshot::capture(window, shotPath(name));
  WCHECK(picture.saved);
  return picture;
}

int channelDistance(COLORREF a, COLORREF b) {
  return abs(GetRValue(a) - GetRValue(b)) + abs(GetGValue(a) - GetGValue(b)) + abs(GetBValue(a) - GetBValue(b));
}

// A click of the left button at a point of the window's client area (no move
// first: the cursor is elsewhere, and a tracked mouse would leave at once).
void click(HWND window, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(window, WM_LBUTTONUP, 0, at);
}

std::wstring platformArgs(const StandIn& platform) {
  return L"--winid=" + platform.handle + L" --source=OC --token=abc";
}

// ---- (a), (b), (e), (f), (g): the real launcher ----

// The window's icon drawn at 32x32 over black: the pixel at (x, y).
COLORREF iconPixel(HICON icon, int x, int y) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 32;
  info.bmiHeader.biHeight = -32;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  COLORREF pixel = CLR_INVALID;
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(dc, bitmap);
    if (DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL)) {
      const DWORD bgra = static_cast<const DWORD*>(bits)[y * 32 + x];
      pixel = RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
  }
  DeleteDC(dc);
  return pixel;
}

// The program's icon (resource 107) on the window and the taskbar: the blue
// square with its white V, not the system's default.
void checkWindowIcon(HWND window) {
  WCHECK(SendMessageW(window, WM_GETICON, ICON_SMALL, 0) != 0);
  const auto big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
  if (!WCHECK(big != nullptr)) return;
  WCHECK(channelDistance(iconPixel(big, 16, 8), RGB(0x0A, 0x5F, 0xB4)) < 24);
  WCHECK(channelDistance(iconPixel(big, 16, 22), RGB(255, 255, 255)) < 48);
}

void checkLaunchAndWindowCommands(const std::wstring& launcher, const std::wstring& standInExe) {
  StandIn platform(standInExe, L"e2e_platform");
  StandIn manager(standInExe, L"e2e_manager");
  const std::wstring setting = GetSettingPath();
  DeleteFileW(setting.c_str());
  const std::wstring log = launcherLog();
  size_t before = readFile(log).size();

  // (a) a normal start by the platform client, with the game manager waiting.
  Child first = start(launcher, platformArgs(platform) + L" --gameMgrId=" + manager.handle + L" --typeMode=1");
  HWND window = findMainWindow(first.pi.dwProcessId);
  if (!WCHECK(window != nullptr)) return;
  // Hidden from its creation until the page has loaded.
  WCHECK(!IsWindowVisible(window));
  WCHECK(waitUntil([&] { return contains(readFile(log).substr(before), "] : GameLoaderWnd LoadWeb\r\n"); }));
  pump(500);
  WCHECK(!IsWindowVisible(window));
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  WCHECK(std::wstring(title) == L"Tarnveil");
  std::wstring value;
  WCHECK(ReadSetting(kSettingOcWindowId, setting, value) && value == platform.handle);
  WCHECK(ReadSetting(kSettingLoginSource, setting, value) && value == L"OC");
  WCHECK(waitUntil([&] { return !manager.received().empty(); }));
  const std::vector<std::string> toManager = manager.received();
  WCHECK(toManager.size() == 1 && toManager[0] == "msg 1348 0 0");
  std::string written = readFile(log).substr(before);
  WCHECK(contains(written, "] : GameLoaderWnd LoadWeb\r\n"));

  // (b) a second instance brings the first to the front and exits.
  before = readFile(log).size();
  Child second = start(launcher, L"--source=OC --token=other");
  WCHECK_EQ(finish(second), 0u);
  WCHECK(waitUntil([&] { return contains(readFile(log).substr(before), "] : OnShowMainWnd enter\r\n"); }));
  written = readFile(log).substr(before);
  WCHECK(contains(written, "] : FindWindow:Tarnveil\r\n"));
  WCHECK(!IsWindowVisible(window));  // brought forward, not unhidden

  // The page has loaded: the window shows itself, centred on the screen.
  PostMessageW(window, WM_GL_PAGE_LOADED, 0, 0);
  WCHECK(waitUntil([&] { return IsWindowVisible(window) != FALSE; }));
  pump(1000);  // painted
  RECT rc{};
  GetWindowRect(window, &rc);
  WCHECK_EQ(rc.right - rc.left, 960);
  WCHECK_EQ(rc.bottom - rc.top, 620);
  // Page 0 holds the web page (its browser comes later): the layout's white.
  const Picture shown = screenshot(window, "launcher-main-window.png");
  WCHECK(channelDistance(shown.at(480, 310), RGB(255, 255, 255)) < 12);

  // (g) a double click on the caption does not maximise.
  const LPARAM caption = MAKELPARAM(rc.left + 400, rc.top + 100);
  PostMessageW(window, WM_NCLBUTTONDBLCLK, HTCAPTION, caption);
  PostMessageW(window, WM_NULL, 0, 0);
  pump(1500);
  RECT after{};
  GetWindowRect(window, &after);
  WCHECK(!IsZoomed(window));
  WCHECK(EqualRect(&rc, &after) != FALSE);

  // (f) the page's minimise request; a second instance restores it.
  PostMessageW(window, WM_GL_MINIMIZE, 0, 0);
  WCHECK(waitUntil([&] { return IsIconic(window) != FALSE; }));
  PostMessageW(window, WM_GL_ACTIVATE, 0, 0);
  WCHECK(waitUntil([&] { return !IsIconic(window); }));

  // (e) closed from the taskbar: one notice, and the launcher ends.
  before = readFile(log).size();
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  WCHECK_EQ(finish(first), 0u);
  written = readFile(log).substr(before);
  WCHECK(contains(written, WideToMulti(std::wstring(L"] : ") + kLogTaskbarClose + L"\r\n", kCodePageAnsi)));
  WCHECK(contains(written, "] : GameLoaderWnd close wnd\r\n"));
  WCHECK_EQ(platform.received().size(), 1u);

  // (a) the game-exit launch that follows notifies the recorded platform window.
  Child exitLaunch = start(launcher, L"{\\\"type\\\":1}");
  WCHECK_EQ(finish(exitLaunch), 0u);
  const std::vector<std::string> notices = platform.close();
  WCHECK_EQ(notices.size(), 2u);
  for (const std::string& line : notices) WCHECK(line.compare(0, 15, "copydata 1 528 ") == 0);
  manager.close();
}

// ---- (d): every box closes the launcher with one notice ----

void checkBoxesClose(const std::wstring& launcher, const std::wstring& standInExe) {
  struct Case {
    const char* what;
    UINT message;
    WPARAM wParam;
    bool systemBox;
    const char* shot;
  } cases[] = {
      {"release failed", WM_GL_UNPACK_DONE, 1, false, "launcher-box-release-failed.png"},
      {"network failure", WM_GL_DOWNLOAD_END, 7, false, "launcher-box-network-failure.png"},
      {"page error", WM_GL_PAGE_ERROR, 0, true, "launcher-box-page-error.png"},
  };
  for (const Case& c : cases) {
    std::printf("box: %s\n", c.what);
    StandIn platform(standInExe, L"box_platform");
    Child run = start(launcher, platformArgs(platform));
    HWND window = findMainWindow(run.pi.dwProcessId);
    if (!WCHECK(window != nullptr)) {
      finish(run, 1000);
      continue;
    }
    PostMessageW(window, WM_GL_PAGE_LOADED, 0, 0);
    PostMessageW(window, c.message, c.wParam, 0);
    if (c.systemBox) {
      HWND box = waitForWindow(L"#32770", L"\u63d0\u793a", run.pi.dwProcessId);  // 提示
      if (WCHECK(box != nullptr)) {
        HWND text = findChildWithText(box, L"\u7f51\u7edc\u8fde\u63a5\u5f02\u5e38");  // 网络连接异常
        WCHECK(text != nullptr);
        const Picture shot = winshot::captureWhenPainted(box, shotPath(c.shot));
        WCHECK(shot.saved);
        WCHECK(text && winshot::textOfChild(shot, box, text, "of the system box").drawn());
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
    } else {
      HWND box = waitForWindow(L"CustomMsgBoxClass", L"CustomMsgBox", run.pi.dwProcessId);
      if (WCHECK(box != nullptr)) {
        Sleep(300);
        const Picture shot = screenshot(box, c.shot);
        for (const skintexts::Place& place : skintexts::kMessageBox) skintexts::checkDrawn(shot, place);
        click(box, 220, 224);  // "确定"
      }
    }
    WCHECK_EQ(finish(run, 60000), 0u);
    WCHECK_EQ(platform.close().size(), 1u);
  }
}

// ---- (c): progress, released files and the close button, read back in place ----

VantorUI::CControlUI* control(GameLoaderWnd& window, const wchar_t* name) { return window.FindControl(name); }

void checkProgressAndRelease(const std::wstring& standInExe) {
  StandIn platform(standInExe, L"inproc_platform");
  SHDeleteKeyW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str());
  // Without a token LoadGame starts nothing and the window stays, so its page can be read back.
  auto* window = new GameLoaderWnd(L"{\"source\":\"OC\",\"token\":\"\",\"winid\":\"" + platform.handle + L"\"}");
  HWND hwnd = window->Create(nullptr, L"Tarnveil", kMainWindowStyle, 0, 0, 0, 0, 0);
  if (!WCHECK(hwnd != nullptr)) return;
  window->CenterWindow();
  ShowWindow(hwnd, SW_HIDE);
  checkWindowIcon(hwnd);
  PostMessageW(hwnd, WM_GL_PAGE_LOADED, 0, 0);
  pump();

  auto* progress = dynamic_cast<VantorUI::CProgressUI*>(control(*window, L"progress"));
  auto* tip = dynamic_cast<VantorUI::CLabelUI*>(control(*window, L"progTip"));
  auto* tab = dynamic_cast<VantorUI::CTabLayoutUI*>(control(*window, L"wizardTab"));
  if (!WCHECK(progress && tip && tab)) return;
  const std::wstring downloading = tip->GetText();
  struct Step {
    WPARAM wParam;
    int value;
    const wchar_t* tip;
  } steps[] = {
      {37, 37, nullptr},
      {37, 37, nullptr},   // no change
      {150, 37, nullptr},  // out of range: ignored
  };
  for (const Step& s : steps) {
    PostMessageW(hwnd, WM_GL_PROGRESS, s.wParam, 0);
    pump();
    WCHECK_EQ(progress->GetValue(), s.value);
    WCHECK(tip->GetText() == downloading);
  }

  // The download page, selected here (the launcher never selects it), at 37 %.
  tab->SelectItem(1);
  InvalidateRect(hwnd, nullptr, TRUE);
  pump(800);
  const Picture at37 = screenshot(hwnd, "launcher-download-37.png");
  skintexts::checkDrawn(at37, skintexts::kProgressTip);
  // The bar: 530 pixels from x 320 at y 320, 13 high; 37 % fills about 196.
  const int barY = 326;
  const COLORREF filled = at37.at(330, barY);
  const COLORREF empty = at37.at(320 + 500, barY);
  WCHECK(channelDistance(filled, empty) > 60);
  WCHECK(channelDistance(at37.at(320 + 180, barY), filled) < 30);
  WCHECK(channelDistance(at37.at(320 + 215, barY), empty) < 30);

  PostMessageW(hwnd, WM_GL_PROGRESS, 100, 0);
  pump(800);
  WCHECK_EQ(progress->GetValue(), 100);
  WCHECK(tip->GetText() == downloading);
  const Picture at100 = screenshot(hwnd, "launcher-download-100.png");
  WCHECK(channelDistance(at100.at(320 + 500, barY), filled) < 30);
  PostMessageW(hwnd, WM_GL_PROGRESS, 100, 0);
  pump();
  WCHECK(tip->GetText() == kTipReleasingFiles);

  // Files released: registered, "正在启动游戏", LoadGame reached.
  const size_t before = readFile(MultiToWide(Logger::instance().fileName(), kCodePageAnsi)).size();
  PostMessageW(hwnd, WM_GL_UNPACK_DONE, 0, 0);
  pump();
  WCHECK(tip->GetText() == kTipStartingGame);
  std::wstring displayVersion;
  WCHECK(ReadUninstallValue(kGameId, L"DisplayVersion", displayVersion) && displayVersion == L"3.8.3.4");
  const std::string written = readFile(MultiToWide(Logger::instance().fileName(), kCodePageAnsi)).substr(before);
  WCHECK(contains(written, "] : GameLoaderWnd LoadGame start\r\n"));
  skintexts::checkDrawn(screenshot(hwnd, "launcher-download-starting.png"), skintexts::kProgressTip);

  // (e) the close button: one notice, the window goes, the loop is told to end.
  click(hwnd, 942, 19);
  pump(1500);  // ends at the loop's WM_QUIT, posted as the window object goes
  WCHECK(!IsWindow(hwnd));
  WCHECK_EQ(platform.close().size(), 1u);
  SHDeleteKeyW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::printf("usage: main_window_host <vekt_main.exe> <StandinWindow.exe> <screenshot folder>\n");
    return 2;
  }
  const InProcessLauncher setUp(argv[3], L"vekt_main_window_log");
  g_shots = setUp.shots;
  skintexts::checkMissingGlyphsRefused();
  checkLaunchAndWindowCommands(argv[1], argv[2]);
  checkBoxesClose(argv[1], argv[2]);
  checkProgressAndRelease(argv[2]);
  return wincheck::summary();
}
