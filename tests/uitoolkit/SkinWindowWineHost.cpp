// Skinned windows under Wine: the main window layout (download page), the
// drop shadow, hit testing and tracking sizes, the message box with its
// buttons, drag, shake and quit handling, and the load-failure exits.
// Screenshots go to the folder given as the first argument.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "CustomMsgBox.h"
#include "UIShadow.h"
#include "UIText.h"
#include "WindowImplBase.h"
#include "skintexts.h"
#include "wincheck.h"
#include "winpath.h"
#include "winshot.h"

using namespace VantorUI;

namespace {

std::string g_shotDir;

void pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while (static_cast<LONG>(GetTickCount() - end) < 0);
}

// Copies a screen rectangle and saves it as PNG.
winshot::Picture capture(const RECT& rc, const char* name) {
  const std::string path = g_shotDir + "/" + name;
  winshot::Picture s = winshot::captureRect(rc, path);
  WCHECK(s.saved);
  std::printf("screenshot %s\n", path.c_str());
  return s;
}

bool closeTo(uint32_t rgb, uint32_t want, int tolerance = 24) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(int((rgb >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance) return false;
  }
  return true;
}

RECT windowRect(HWND h) {
  RECT rc{};
  GetWindowRect(h, &rc);
  return rc;
}

void mouseInput(DWORD flags, int x = 0, int y = 0) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  if (flags & MOUSEEVENTF_MOVE) {
    SetCursorPos(x, y);
    flags &= ~MOUSEEVENTF_MOVE;
    if (!flags) return;
  }
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
}

// Presses at `from`, moves to `to` in steps and releases, with real input
// from another thread: a move or size loop started by the press runs inside
// this thread's dispatch until the button is released.
struct DragPlan {
  POINT from, to;
};

DWORD WINAPI dragThread(void* param) {
  const DragPlan plan = *static_cast<DragPlan*>(param);
  mouseInput(MOUSEEVENTF_MOVE, plan.from.x, plan.from.y);
  Sleep(100);
  mouseInput(MOUSEEVENTF_LEFTDOWN);
  Sleep(150);
  for (int i = 1; i <= 5; ++i) {
    mouseInput(MOUSEEVENTF_MOVE, plan.from.x + (plan.to.x - plan.from.x) * i / 5,
               plan.from.y + (plan.to.y - plan.from.y) * i / 5);
    Sleep(60);
  }
  mouseInput(MOUSEEVENTF_LEFTUP);
  return 0;
}

void drag(POINT from, POINT to) {
  DragPlan plan{from, to};
  HANDLE thread = CreateThread(nullptr, 0, dragThread, &plan, 0, nullptr);
  while (thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) pump(20);
  if (thread) CloseHandle(thread);
  pump(300);
}

class TestMainWnd : public WindowImplBase {
 public:
  int closeRequests = 0;
  CControlUI* CreateCustomControl(const std::wstring& cls) override {
    return EqualsNoCase(cls, std::wstring(L"IeBrowser")) ? new CControlUI : nullptr;
  }

 protected:
  LPCWSTR GetWindowClassName() const override { return L"GameLoaderResClass"; }
  std::wstring GetSkinFile() override { return L"GameLoader.xml"; }
  UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_ZIPRESOURCE; }
  int GetResourceID() const override { return vekt::kSkinResourceId; }
  void InitWindow() override {
    // The download page is what the test looks at; the web page needs a browser.
    static_cast<CTabLayoutUI*>(FindControl(L"wizardTab"))->SelectItem(1);
    static_cast<CProgressUI*>(FindControl(L"progress"))->SetValue(50);
  }
  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) override {
    ++closeRequests;  // the message box asks its owner to close; the test keeps it
    bHandled = TRUE;
    return 0;
  }
};

HWND findShadow(HWND owner) {
  for (HWND h = FindWindowExW(nullptr, nullptr, kShadowWindowClass, nullptr); h;
       h = FindWindowExW(nullptr, h, kShadowWindowClass, nullptr)) {
    if (GetWindow(h, GW_OWNER) == owner) return h;
  }
  return nullptr;
}

void registerShadowClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kShadowWindowClass;
  RegisterClassExW(&wc);
}

void checkMainWindow(TestMainWnd& wnd) {
  HWND h = wnd.GetHWND();
  RECT rc = windowRect(h);
  WCHECK_EQ(rc.right - rc.left, 960);
  WCHECK_EQ(rc.bottom - rc.top, 620);
  const winshot::Picture s = capture(rc, "main_window.png");
  WCHECK(closeTo(s.rgb(100, 500), 0xFFFFFF, 2));
  WCHECK(closeTo(s.rgb(600, 200), 0xFFFFFF, 2));
  // Progress at 50 of 0..100 over 530 pixels: 265 filled.
  WCHECK(closeTo(s.rgb(325, 326), 0x008AFF));
  WCHECK(closeTo(s.rgb(845, 326), 0xDDDDDD));
  int edge = 320;
  while (edge < 850 && closeTo(s.rgb(edge, 326), 0x008AFF)) ++edge;
  std::printf("progress fill ends at x=%d (expected 585)\n", edge);
  WCHECK(std::abs(edge - 585) <= 1);
  WCHECK(closeTo(s.rgb(942, 19), 0x666666, 60));               // close button mark
  WCHECK(closeTo(s.rgb(914, 18), 0x666666, 60));               // minimise button mark
  skintexts::checkDrawn(s, skintexts::kProgressTip);  // light on white

  // Hit testing: border, caption, buttons in the caption, client below it.
  struct Hit {
    int x, y;
    LRESULT code;
  } hits[] = {{2, 300, HTLEFT},    {957, 300, HTRIGHT},       {480, 2, HTTOP},       {480, 617, HTBOTTOM},
              {2, 2, HTTOPLEFT},   {957, 617, HTBOTTOMRIGHT}, {500, 100, HTCAPTION}, {942, 19, HTCLIENT},
              {914, 18, HTCLIENT}, {500, 400, HTCLIENT},      {400, 326, HTCAPTION}};
  for (const Hit& hit : hits) {
    const LRESULT got = SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(rc.left + hit.x, rc.top + hit.y));
    if (!WCHECK_EQ(got, hit.code)) std::printf("  hit test at %d,%d gave %d\n", hit.x, hit.y, int(got));
  }
  // Tracking sizes pin the window to 960 by 620.
  MINMAXINFO mmi{};
  SendMessageW(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  WCHECK(mmi.ptMinTrackSize.x == 960 && mmi.ptMinTrackSize.y == 620);
  WCHECK(mmi.ptMaxTrackSize.x == 960 && mmi.ptMaxTrackSize.y == 620);
  SetWindowPos(h, nullptr, 0, 0, 1100, 700, SWP_NOMOVE | SWP_NOZORDER);
  pump(100);
  rc = windowRect(h);
  WCHECK_EQ(rc.right - rc.left, 960);
  // Dragging the right border with the mouse changes nothing.
  SetForegroundWindow(h);
  drag(POINT{rc.right - 3, rc.top + 450}, POINT{rc.right + 80, rc.top + 500});
  RECT after = windowRect(h);
  WCHECK_EQ(after.right - after.left, 960);
  WCHECK_EQ(after.bottom - after.top, 620);
  // Dragging in the caption moves it.
  drag(POINT{rc.left + 500, rc.top + 100}, POINT{rc.left + 540, rc.top + 130});
  after = windowRect(h);
  std::printf("caption drag moved the window by %ld,%ld\n", after.left - rc.left, after.top - rc.top);
  WCHECK(after.left - rc.left == 40 && after.top - rc.top == 30);
  SetWindowPos(h, nullptr, rc.left, rc.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  pump(100);
}

void checkShadow(TestMainWnd& wnd) {
  HWND h = wnd.GetHWND();
  HWND shadow = findShadow(h);
  WCHECK(shadow != nullptr);
  if (!shadow) return;
  WCHECK(GetWindowLongPtrW(shadow, GWL_EXSTYLE) & WS_EX_LAYERED);
  WCHECK(GetWindowLongPtrW(shadow, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  auto fits = [&] {
    const RECT o = windowRect(h), s = windowRect(shadow);
    return s.left == o.left - 9 && s.top == o.top - 9 && s.right == o.right + 9 && s.bottom == o.bottom + 9;
  };
  WCHECK(IsWindowVisible(shadow));
  WCHECK(fits());

  // The pixels handed to the layered window: dark margins, clear where the owner lies.
  CShadowUI* ui = wnd.GetManager().GetShadow();
  WCHECK(ui != nullptr);
  if (ui) {
    auto pixels = ui->Render(960, 620);
    WCHECK(pixels && pixels->Width() == 978 && pixels->Height() == 638);
    if (pixels) {
      auto alpha = [&](int x, int y) { return pixels->At(x, y) >> 24; };
      WCHECK(alpha(8, 300) > 60 && alpha(969, 300) > 60 && alpha(480, 8) > 60 && alpha(480, 629) > 60);
      WCHECK(alpha(0, 300) < alpha(8, 300));  // fades outwards
      WCHECK(alpha(9, 9) == 0 && alpha(489, 319) == 0 && alpha(968, 628) == 0);
      std::vector<uint8_t> rgba;
      for (int i = 0; i < pixels->Width() * pixels->Height(); ++i) {
        const uint32_t p = pixels->Pixels()[i];
        rgba.insert(rgba.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
      }
      WCHECK(stbi_write_png((g_shotDir + "/shadow_layer.png").c_str(), pixels->Width(), pixels->Height(), 4,
                            rgba.data(), (pixels->Width()) * 4) != 0);
    }
  }
  RECT around = windowRect(h);
  InflateRect(&around, 9, 9);
  capture(around, "main_window_with_shadow.png");

  // Follows a moved owner, hides and shows with it, and with minimising.
  const RECT start = windowRect(h);
  SetWindowPos(h, nullptr, start.left + 37, start.top + 23, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  pump(100);
  WCHECK(fits());
  ShowWindow(h, SW_HIDE);
  pump(100);
  WCHECK(!IsWindowVisible(shadow));
  ShowWindow(h, SW_SHOW);
  pump(200);
  WCHECK(IsWindowVisible(shadow));
  WCHECK(fits());
  ShowWindow(h, SW_MINIMIZE);
  pump(200);
  WCHECK(!IsWindowVisible(shadow));
  ShowWindow(h, SW_RESTORE);
  pump(300);
  WCHECK(IsWindowVisible(shadow));
  WCHECK(fits());
  SetWindowPos(h, nullptr, start.left, start.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  pump(100);
}

// Runs `whileUp` once the box is on screen, from inside the box's own loop.
std::function<void(HWND)> g_whileUp;
bool g_started = false;

// Timer callbacks are stdcall on 32-bit x86: plain functions, not lambdas.
void CALLBACK startWhileUp(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowW(L"CustomMsgBoxClass", L"CustomMsgBox");
  if (g_started || !box || !IsWindowVisible(box)) return;
  g_started = true;
  g_whileUp(box);
}

void CALLBACK closeStuckBox(HWND, UINT, UINT_PTR, DWORD) {
  if (HWND box = FindWindowW(L"CustomMsgBoxClass", L"CustomMsgBox")) PostMessageW(box, WM_CLOSE, 77, 0);
}

int runBox(HWND owner, const std::wstring& text, std::function<void(HWND)> whileUp) {
  g_whileUp = std::move(whileUp);
  g_started = false;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, startWhileUp);
  // Never wait for ever: a box still up after 20 s is closed from outside.
  const UINT_PTR guard = SetTimer(nullptr, 0, 20000, closeStuckBox);
  const int result = vekt::ShowMessageBox(owner, text);
  KillTimer(nullptr, timer);
  KillTimer(nullptr, guard);
  WCHECK(g_started);
  return result;
}

void click(HWND box, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  PostMessageW(box, WM_MOUSEMOVE, 0, at);
  PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(box, WM_LBUTTONUP, 0, at);
}

WindowImplBase* boxObject(HWND box) {
  return dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(box, GWLP_USERDATA)));
}

void checkMessageBox(TestMainWnd& owner) {
  HWND h = owner.GetHWND();
  const std::wstring text = L"\u91CA\u653E\u6587\u4EF6\u51FA\u9519";  // 释放文件出错

  // OK: result 1, the owner is asked to close, enabled and focused again.
  int closesBefore = owner.closeRequests;
  int r = runBox(h, text, [&](HWND box) {
    const RECT b = windowRect(box), o = windowRect(h);
    WCHECK_EQ(b.right - b.left, 440);
    WCHECK_EQ(b.bottom - b.top, 260);
    WCHECK(std::abs((b.left + b.right) - (o.left + o.right)) <= 2);
    WCHECK(std::abs((b.top + b.bottom) - (o.top + o.bottom)) <= 2);
    WCHECK(!IsWindowEnabled(h));
    WCHECK(GetWindow(box, GW_OWNER) == h);
    HWND shadow = findShadow(box);
    WCHECK(shadow && IsWindowVisible(shadow));
    WindowImplBase* obj = boxObject(box);
    WCHECK(obj != nullptr);
    if (obj) {
      CManagerUI& m = obj->GetManager();
      WCHECK(m.FindControl(L"labelTip")->GetText() == text);
      WCHECK(m.FindControl(UIPoint{20, 20})->GetText() == L"\u63D0\u793A");  // caption stays 提示
    }
    pump(400);
    const winshot::Picture s = capture(b, "message_box.png");
    WCHECK(closeTo(s.rgb(300, 90), 0xFFFFFF, 2));
    WCHECK(closeTo(s.rgb(200, 80), 0xF5A623, 30));            // warning icon
    WCHECK(closeTo(s.rgb(172, 224), 0x008AFF, 40));           // OK button border
    for (const skintexts::Place& place : skintexts::kMessageBox) skintexts::checkDrawn(s, place);
    RECT around = b;
    InflateRect(&around, 9, 9);
    capture(around, "message_box_with_shadow.png");
    click(box, 220, 224);  // btnOk
  });
  WCHECK_EQ(r, vekt::kMsgBoxOk);
  pump(100);
  WCHECK_EQ(owner.closeRequests, closesBefore + 1);
  WCHECK(IsWindowEnabled(h));
  WCHECK(GetFocus() == h);
  WCHECK(FindWindowW(L"CustomMsgBoxClass", nullptr) == nullptr);

  // Close button: 8, and the owner is asked to close as well.
  closesBefore = owner.closeRequests;
  r = runBox(h, text, [](HWND box) { click(box, 420, 20); });
  WCHECK_EQ(r, vekt::kMsgBoxClose);
  pump(100);
  WCHECK_EQ(owner.closeRequests, closesBefore + 1);

  // Outside the buttons: nothing but a drag; a caption double click keeps the size.
  r = runBox(h, L"", [&](HWND box) {
    WindowImplBase* obj = boxObject(box);
    WCHECK(obj && obj->GetManager().FindControl(L"labelTip")->GetText().empty());
    click(box, 300, 100);
    pump(200);
    WCHECK(IsWindow(box));
    struct Hit {
      int x, y;
      LRESULT code;
    } hits[] = {
        {20, 20, HTCAPTION}, {300, 100, HTCAPTION}, {5, 5, HTCAPTION}, {220, 224, HTCLIENT}, {420, 20, HTCLIENT}};
    const RECT b = windowRect(box);
    for (const Hit& hit : hits)
      WCHECK_EQ(SendMessageW(box, WM_NCHITTEST, 0, MAKELPARAM(b.left + hit.x, b.top + hit.y)), hit.code);
    SendMessageW(box, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(b.left + 300, b.top + 100));
    pump(100);
    RECT now = windowRect(box);
    WCHECK(!IsZoomed(box) && now.right - now.left == 440 && now.bottom - now.top == 260);
    SetForegroundWindow(box);
    drag(POINT{b.left + 300, b.top + 100}, POINT{b.left + 340, b.top + 125});
    now = windowRect(box);
    std::printf("box drag moved it by %ld,%ld\n", now.left - b.left, now.top - b.top);
    WCHECK(now.left - b.left == 40 && now.top - b.top == 25);
    HWND shadow = findShadow(box);
    const RECT sr = shadow ? windowRect(shadow) : RECT{};
    WCHECK(sr.left == now.left - 9 && sr.top == now.top - 9);

    // A click on the disabled owner shakes the box; it ends where it started.
    std::vector<POINT> seen;
    bool clickedAgain = false;
    SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTERROR, WM_LBUTTONDOWN));
    // Until the box has rested at its start for a while after shaking (slow
    // machines stretch the 80 ms ticks), at most 5 s.
    const DWORD begin = GetTickCount();
    DWORD lastMove = begin;
    while (GetTickCount() - begin < 5000) {
      pump(20);
      const RECT p = windowRect(box);
      if (seen.empty() || seen.back().x != p.left || seen.back().y != p.top) {
        seen.push_back(POINT{p.left, p.top});
        lastMove = GetTickCount();
      }
      const bool atStart = p.left == now.left && p.top == now.top;
      if (seen.size() >= 4 && atStart && GetTickCount() - lastMove > 500) break;
      if (seen.size() == 3 && !clickedAgain) {  // a second click in the middle of the shake restarts it
        clickedAgain = true;
        SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTERROR, WM_LBUTTONDOWN));
      }
    }
    bool oneStep = true;
    for (const POINT& p : seen) oneStep = oneStep && std::abs(p.x - now.left) <= 1 && std::abs(p.y - now.top) <= 1;
    std::printf("shake positions seen: %zu\n", seen.size());
    WCHECK(seen.size() >= 4);
    WCHECK(oneStep);
    const RECT end = windowRect(box);
    WCHECK(end.left == now.left && end.top == now.top);
    PostMessageW(box, WM_CLOSE, 0, 0);
  });
  WCHECK_EQ(r, vekt::kMsgBoxOther);

  // A quit arriving while the box is up ends its loop and is posted again.
  r = runBox(h, text, [](HWND) { PostQuitMessage(5); });
  WCHECK_EQ(r, vekt::kMsgBoxOther);
  MSG msg{};
  WCHECK(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 5);
  WCHECK(IsWindowEnabled(h));
  WCHECK(FindWindowW(L"CustomMsgBoxClass", nullptr) == nullptr);
}

// Child modes: a window whose skin cannot be loaded.
class BrokenWnd : public WindowImplBase {
 public:
  BrokenWnd(UILIB_RESOURCETYPE kind, int id, std::wstring folder, std::wstring file)
      : m_kind(kind), m_id(id), m_folder(std::move(folder)), m_file(std::move(file)) {}

 protected:
  LPCWSTR GetWindowClassName() const override { return L"BrokenSkinWnd"; }
  std::wstring GetSkinFolder() override { return m_folder; }
  std::wstring GetSkinFile() override { return m_file; }
  UILIB_RESOURCETYPE GetResourceType() const override { return m_kind; }
  int GetResourceID() const override { return m_id; }

 private:
  UILIB_RESOURCETYPE m_kind;
  int m_id;
  std::wstring m_folder, m_file;
};

int runChild(const std::wstring& mode) {
  BrokenWnd* wnd = nullptr;
  if (mode == L"--missing-layout")
    wnd = new BrokenWnd(UILIB_ZIPRESOURCE, vekt::kSkinResourceId, L"", L"Missing.xml");
  else if (mode == L"--no-package")
    wnd = new BrokenWnd(UILIB_ZIPRESOURCE, 131, L"", L"GameLoader.xml");
  else if (mode == L"--broken-layout")
    wnd = new BrokenWnd(UILIB_FILE, 0, L"brokenskin", L"Broken.xml");
  if (!wnd) return 3;
  wnd->Create(nullptr, L"Broken", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
  return 0;  // only reached when creation did not end the process
}

void checkLoadFailureExit(const std::wstring& mode, const std::wstring& caption) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring cmd = L"\"" + std::wstring(self) + L"\" " + mode;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!WCHECK(CreateProcessW(self, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))) return;
  HWND dialog = nullptr;
  for (int i = 0; i < 300 && !dialog; ++i) {
    dialog = FindWindowW(L"#32770", caption.c_str());
    if (!dialog) Sleep(50);
  }
  WCHECK(dialog != nullptr);
  if (dialog) {
    wchar_t text[64] = {};
    GetDlgItemTextW(dialog, 0xFFFF, text, 64);
    WCHECK(std::wstring(text) == kLoadFailedText);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  }
  WCHECK(WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("%ls ended with %lu\n", mode.c_str(), code);
  WCHECK_EQ(code, 1u);
  if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 9);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && argv[1][0] == L'-' && argv[1][1] == L'-') return runChild(argv[1]);
  if (argc < 2) {
    std::printf("usage: skin_window_host SCREENSHOT_DIR\n");
    return 2;
  }
  const std::wstring dir = winpath::fromBuild(WideToUtf8(argv[1]).c_str());
  CreateDirectoryW(dir.c_str(), nullptr);
  g_shotDir = WideToUtf8(dir);
  registerShadowClass();

  auto* wnd = new TestMainWnd;
  // Created visible and hidden again, as the launcher creates its main window.
  HWND h = wnd->Create(nullptr, L"SkinTest", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
  WCHECK(h != nullptr);
  if (!h) return wincheck::summary();
  ShowWindow(h, SW_HIDE);
  pump(100);
  HWND shadow = findShadow(h);
  WCHECK(shadow && !IsWindowVisible(shadow));
  SetWindowPos(h, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(h, SW_SHOWNORMAL);
  SetForegroundWindow(h);
  pump(500);

  checkMainWindow(*wnd);
  checkShadow(*wnd);
  checkMessageBox(*wnd);

  DestroyWindow(h);
  pump(100);
  WCHECK(!IsWindow(shadow));

  // Skin failures end the process with the message and exit code 1.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring broken(self);
  broken = broken.substr(0, broken.find_last_of(L'\\') + 1) + L"brokenskin";
  CreateDirectoryW(broken.c_str(), nullptr);
  HANDLE f = CreateFileW((broken + L"\\Broken.xml").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, "<Window><VerticalLayout>", 24, &written, nullptr);
  CloseHandle(f);
  checkLoadFailureExit(L"--missing-layout", L"Missing.xml");
  checkLoadFailureExit(L"--no-package", L"GameLoader.xml");
  checkLoadFailureExit(L"--broken-layout", L"Broken.xml");
  return wincheck::summary();
}
