#include "WindowImplBase.h"

#include <windowsx.h>

#include <cwchar>

#include "UIResource.h"
#include "UIText.h"

namespace VantorUI {
namespace {

// Modal boxes known to their owners, and the shake in progress. UI thread only.
HWND g_currentBox = nullptr;
HWND g_previousBox = nullptr;
HWND g_shakenWnd = nullptr;
int g_shakeCount = 0;

void nudge(HWND hWnd, int dx, int dy) {
  RECT rc{};
  if (!IsWindow(hWnd) || !GetWindowRect(hWnd, &rc)) return;
  SetWindowPos(hWnd, nullptr, rc.left + dx, rc.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring programFolder() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring folder(path, n);
  const size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

bool isClientClass(const std::wstring& cls) {
  static const wchar_t* const kClientClasses[] = {L"ButtonUI",   L"OptionUI",   L"TextUI", L"SliderUI",
                                                  L"RichEditUI", L"CheckBoxUI", L"EditUI", L"ScrollBarUI"};
  for (const wchar_t* c : kClientClasses) {
    if (EqualsNoCase(cls, std::wstring(c))) return true;
  }
  return false;
}

}  // namespace

void ReportSkinLoadFailure(const std::wstring& caption) {
  MessageBoxW(nullptr, kLoadFailedText, caption.c_str(), MB_OK | MB_ICONERROR);
  ExitProcess(1);
}

WindowImplBase::WindowImplBase() {
  m_notifyMap.base = &EmptyMap();
  m_notifyMap.entries.push_back({L"click", L"", 2, [this](NotifyRecord& msg) { HandleClick(msg); }, nullptr});
}

WindowImplBase::~WindowImplBase() = default;

void WindowImplBase::Notify(NotifyRecord& msg) { NotifyPump(msg); }

void WindowImplBase::HandleClick(NotifyRecord& msg) {
  const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
  if (name == L"closebtn")
    PostMessage(WM_CLOSE, 1, 0);
  else if (name == L"minbtn")
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  else if (name == L"maxbtn")
    SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  else if (name == L"restorebtn")
    SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
    if (ResponseDefaultKeyEvent(wParam)) {
      bHandled = true;
      return TRUE;
    }
  }
  return FALSE;
}

LONG WindowImplBase::GetStyle() {
  return static_cast<LONG>((GetWindowLongPtrW(m_hWnd, GWL_STYLE) & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
}

bool WindowImplBase::openSkinSource() {
  switch (GetResourceType()) {
    case UILIB_ZIP: {
      CZipPackage& package = CResourceUI::Package();
      const std::wstring name = GetZIPFileName();
      if (package.IsOpen() && package.Name() == name) return true;
      std::vector<uint8_t> bytes;
      if (!ReadWholeFile(CResourceUI::GetSkinFolder() + name, bytes, 64u << 20)) return false;
      return package.OpenCopy(std::move(bytes), name);
    }
    case UILIB_ZIPRESOURCE: {
      HINSTANCE instance = GetInstance();
      HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(GetResourceID()), L"ZIPRES");
      HGLOBAL loaded = res ? LoadResource(instance, res) : nullptr;
      const DWORD size = res ? SizeofResource(instance, res) : 0;
      const void* data = loaded ? LockResource(loaded) : nullptr;
      if (!data || size == 0) return false;
      return CResourceUI::OpenMemoryPackage(data, size);
    }
    default:
      return true;
  }
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = TRUE;
  RECT client{};
  GetClientRect(m_hWnd, &client);
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, GetStyle());
  SetWindowPos(m_hWnd, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  m_pm.Init(m_hWnd);
  m_pm.AddMessageFilter(this);
  if (CResourceUI::GetSkinFolder().empty()) {
    std::wstring folder = programFolder() + GetSkinFolder();
    if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) folder += L'\\';
    CResourceUI::SetSkinFolder(folder);
  }
  // Without its package the window could never be built or closed by the
  // user, yet it would hold the process: end it like a broken layout.
  if (!openSkinSource()) ReportSkinLoadFailure(GetSkinFile());

  CDialogBuilder builder;
  std::unique_ptr<CControlUI> root;
  if (GetResourceType() == UILIB_RESOURCE) {
    HINSTANCE instance = GetInstance();
    HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(_wtoi(GetSkinFile().c_str())), L"xml");
    HGLOBAL loaded = res ? LoadResource(instance, res) : nullptr;
    const auto* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (data)
      root = builder.CreateFromBytes(std::vector<uint8_t>(data, data + SizeofResource(instance, res)), this, &m_pm);
  } else {
    root = builder.Create(GetSkinFile(), this, &m_pm);
  }
  if (!root) ReportSkinLoadFailure(GetSkinFile());

  m_pm.AttachDialog(std::move(root));
  m_pm.AddNotifier(this);
  const UISize size = m_pm.GetInitSize();
  if (size.cx > 0 && size.cy > 0)
    SetWindowPos(m_hWnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InitWindow();
  return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  // The manager paints every pixel; erasing would only flicker.
  bHandled = TRUE;
  return 1;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (IsIconic(m_hWnd)) {
    bHandled = FALSE;
    return 0;
  }
  return wParam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
  if (IsZoomed(m_hWnd) && wParam) {
    auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
    params->rgrc[0] = mi.rcWork;
    return WVR_REDRAW;
  }
  return 0;
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, BOOL&) { return 0; }

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, BOOL&) {
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ScreenToClient(m_hWnd, &pt);
  RECT client{};
  GetClientRect(m_hWnd, &client);
  if (!IsZoomed(m_hWnd)) {
    const UIRect& box = m_pm.GetSizeBox();
    if (pt.y < client.top + box.top) {
      if (pt.x < client.left + box.left) return HTTOPLEFT;
      if (pt.x > client.right - box.right) return HTTOPRIGHT;
      return HTTOP;
    }
    if (pt.y > client.bottom - box.bottom) {
      if (pt.x < client.left + box.left) return HTBOTTOMLEFT;
      if (pt.x > client.right - box.right) return HTBOTTOMRIGHT;
      return HTBOTTOM;
    }
    if (pt.x < client.left + box.left) return HTLEFT;
    if (pt.x > client.right - box.right) return HTRIGHT;
  }
  const UIRect& caption = m_pm.GetCaptionRect();
  if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right && pt.y >= caption.top &&
      pt.y < caption.bottom) {
    CControlUI* control = m_pm.FindControl(UIPoint{pt.x, pt.y});
    if (control && !isClientClass(control->GetClass())) return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
  const RECT work = mi.rcWork;
  const RECT monitor = mi.rcMonitor;
  info->ptMaxPosition = POINT{work.left - monitor.left, work.top - monitor.top};
  info->ptMaxSize = POINT{work.right - work.left, work.bottom - work.top};
  info->ptMaxTrackSize = info->ptMaxSize;
  const UISize minInfo = m_pm.GetMinInfo();
  const UISize maxInfo = m_pm.GetMaxInfo();
  if (minInfo.cx > 0) info->ptMinTrackSize.x = minInfo.cx;
  if (minInfo.cy > 0) info->ptMinTrackSize.y = minInfo.cy;
  if (maxInfo.cx > 0) info->ptMaxTrackSize.x = maxInfo.cx;
  if (maxInfo.cy > 0) info->ptMaxTrackSize.y = maxInfo.cy;
  bHandled = TRUE;
  return 0;
}

LRESULT WindowImplBase::OnMouseWheel(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnMouseHover(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (wParam != SIZE_MINIMIZED) {
    RECT rc{};
    GetWindowRect(m_hWnd, &rc);
    const UISize round = m_pm.GetRoundCorner();
    HRGN region = CreateRoundRectRgn(0, 0, rc.right - rc.left + 1, rc.bottom - rc.top + 1, round.cx, round.cy);
    if (region && !SetWindowRgn(m_hWnd, region, TRUE)) DeleteObject(region);
  }
  bHandled = FALSE;  // the manager lays the controls out
  return 0;
}

LRESULT WindowImplBase::OnChar(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  bHandled = TRUE;
  if ((wParam & 0xFFF0) == SC_CLOSE) {
    SendMessage(WM_CLOSE);
    return 0;
  }
  return DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnLButtonUp(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnMouseMove(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

void WindowImplBase::startShake() {
  if (IsWindow(g_currentBox)) KillTimer(g_currentBox, kShakeTimerId);
  if (IsWindow(g_previousBox)) KillTimer(g_previousBox, kShakeTimerId);
  if (g_shakeCount % 2 == 1) nudge(g_shakenWnd, 1, 1);
  g_shakeCount = 0;
  SetTimer(m_hWnd, kShakeTimerId, kShakeTimerMs, nullptr);
}

void WindowImplBase::shakeTick() {
  g_shakenWnd = m_hWnd;
  const bool even = g_shakeCount % 2 == 0;
  ++g_shakeCount;
  nudge(m_hWnd, even ? -1 : 1, even ? -1 : 1);
  if (g_shakeCount >= kShakeTicks) {
    g_shakeCount = 0;
    ::ShowWindow(m_hWnd, SW_SHOW);
    KillTimer(m_hWnd, kShakeTimerId);
  }
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  LRESULT lRes = 0;
  BOOL bHandled = TRUE;
  switch (uMsg) {
    case WM_CREATE:
      lRes = OnCreate(uMsg, wParam, lParam, bHandled);
      break;
    case WM_CLOSE:
      lRes = OnClose(uMsg, wParam, lParam, bHandled);
      break;
    case WM_DESTROY:
      lRes = OnDestroy(uMsg, wParam, lParam, bHandled);
      break;
    case WM_ERASEBKGND:
      lRes = OnEraseBkgnd(uMsg, wParam, lParam, bHandled);
      break;
    case WM_NCACTIVATE:
      lRes = OnNcActivate(uMsg, wParam, lParam, bHandled);
      break;
    case WM_NCCALCSIZE:
      lRes = OnNcCalcSize(uMsg, wParam, lParam, bHandled);
      break;
    case WM_NCPAINT:
      lRes = OnNcPaint(uMsg, wParam, lParam, bHandled);
      break;
    case WM_NCHITTEST:
      lRes = OnNcHitTest(uMsg, wParam, lParam, bHandled);
      break;
    case WM_GETMINMAXINFO:
      lRes = OnGetMinMaxInfo(uMsg, wParam, lParam, bHandled);
      break;
    case WM_MOUSEWHEEL:
      lRes = OnMouseWheel(uMsg, wParam, lParam, bHandled);
      break;
    case WM_MOUSEHOVER:
      lRes = OnMouseHover(uMsg, wParam, lParam, bHandled);
      break;
    case WM_MOUSELEAVE:
      lRes = OnMouseLeave(uMsg, wParam, lParam, bHandled);
      break;
    case WM_SIZE:
      lRes = OnSize(uMsg, wParam, lParam, bHandled);
      break;
    case WM_CHAR:
      lRes = OnChar(uMsg, wParam, lParam, bHandled);
      break;
    case WM_SYSCOMMAND:
      lRes = OnSysCommand(uMsg, wParam, lParam, bHandled);
      break;
    case WM_KEYDOWN:
      lRes = OnKeyDown(uMsg, wParam, lParam, bHandled);
      break;
    case WM_KILLFOCUS:
      lRes = OnKillFocus(uMsg, wParam, lParam, bHandled);
      break;
    case WM_SETFOCUS:
      lRes = OnSetFocus(uMsg, wParam, lParam, bHandled);
      break;
    case WM_LBUTTONDOWN:
      lRes = OnLButtonDown(uMsg, wParam, lParam, bHandled);
      break;
    case WM_LBUTTONUP:
      lRes = OnLButtonUp(uMsg, wParam, lParam, bHandled);
      break;
    case WM_MOUSEMOVE:
      lRes = OnMouseMove(uMsg, wParam, lParam, bHandled);
      break;
    case WM_SETCURSOR:
      // A click on this window while it is disabled: shake its modal box.
      if (HIWORD(lParam) == WM_LBUTTONDOWN) {
        if (IsWindow(g_currentBox) && GetWindow(g_currentBox, GW_OWNER) == m_hWnd) {
          ::SendMessageW(g_currentBox, WM_UI_SHAKE, 0, 0);
        } else if (IsWindow(g_previousBox) && GetWindow(g_previousBox, GW_OWNER) == m_hWnd) {
          ::SendMessageW(IsWindow(g_currentBox) ? g_currentBox : g_previousBox, WM_UI_SHAKE, 0, 0);
        }
      }
      bHandled = FALSE;
      break;
    case WM_UI_REGISTER_MODAL:
      if (IsWindow(g_currentBox)) g_previousBox = g_currentBox;
      g_currentBox = reinterpret_cast<HWND>(lParam);
      return 0;
    case WM_UI_SHAKE:
      startShake();
      return 0;
    case WM_TIMER:
      if (wParam == kShakeTimerId) {
        shakeTick();
        return 0;
      }
      bHandled = FALSE;
      break;
    default:
      bHandled = FALSE;
      break;
  }
  if (bHandled) return lRes;
  lRes = HandleCustomMessage(uMsg, wParam, lParam, bHandled);
  if (bHandled) return lRes;
  if (m_pm.MessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace VantorUI
