#include "UIShadow.h"

#include <map>

#include "UIDibWin.h"
#include "UIManager.h"

namespace VantorUI {
namespace {

// Owner window -> its shadow and the window procedure the hook replaced. The
// procedure stays known after the shadow object is gone.
struct HookEntry {
  CShadowUI* shadow = nullptr;
  WNDPROC previous = nullptr;
};

std::map<HWND, HookEntry>& hooks() {
  static std::map<HWND, HookEntry> table;
  return table;
}

}  // namespace

CShadowUI::~CShadowUI() {
  auto it = hooks().find(m_owner);
  if (it != hooks().end() && it->second.shadow == this) it->second.shadow = nullptr;
  if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
}

void CShadowUI::Create(CManagerUI* manager) {
  if (!manager || !manager->GetShadowSettings().show) return;
  m_manager = manager;
  HWND owner = manager->GetPaintWindow();
  if (!owner || hooks().count(owner)) return;
  m_owner = owner;
  const LONG_PTR ownerStyle = GetWindowLongPtrW(owner, GWL_STYLE);
  m_hWnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, kShadowWindowClass, nullptr,
                           WS_POPUP | WS_BORDER | WS_SYSMENU | (ownerStyle & WS_DLGFRAME), CW_USEDEFAULT, 0, 0, 0,
                           owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!(ownerStyle & WS_VISIBLE)) {
    m_state = kEnabled;
  } else if (ownerStyle & (WS_MAXIMIZE | WS_MINIMIZE)) {
    m_state = kEnabled | kOwnerVisible;
  } else {
    m_state = kEnabled | kShown | kOwnerVisible;
    if (m_hWnd) ::ShowWindow(m_hWnd, SW_SHOWNA);
    update(owner);
  }
  HookEntry entry;
  entry.shadow = this;
  entry.previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CShadowUI::OwnerHook)));
  hooks()[owner] = entry;
}

std::unique_ptr<CBitmapUI> CShadowUI::Render(int ownerWidth, int ownerHeight) const {
  if (!m_manager) return nullptr;
  const ShadowSettings& s = m_manager->GetShadowSettings();
  const ImageDescriptor image = ParseImageDescriptor(s.image);
  const auto bitmap = image.valid ? m_manager->GetImage(image.file) : nullptr;
  if (!bitmap) return nullptr;
  const int w = ownerWidth + s.corner.left + s.corner.right;
  const int h = ownerHeight + s.corner.top + s.corner.bottom;
  if (w <= 0 || h <= 0) return nullptr;
  auto out = std::make_unique<CBitmapUI>(w, h);
  CCanvasUI canvas(*out);
  canvas.DrawNineGrid(*bitmap, UIRect{0, 0, w, h}, s.corner, false);
  return out;
}

void CShadowUI::update(HWND owner) {
  if (!m_hWnd || !m_manager) return;
  RECT rc{};
  GetWindowRect(owner, &rc);
  const UIRect& corner = m_manager->GetShadowSettings().corner;
  const std::unique_ptr<CBitmapUI> pixels = Render(rc.right - rc.left, rc.bottom - rc.top);
  if (!pixels) return;

  void* bits = nullptr;
  HDC memDC = CreateCompatibleDC(nullptr);
  HBITMAP dib = CreateCanvasBitmap(memDC, pixels->Width(), pixels->Height(), &bits);
  if (memDC && dib && bits) {
    memcpy(bits, pixels->Pixels(), static_cast<size_t>(pixels->Width()) * pixels->Height() * 4);
    HGDIOBJ old = SelectObject(memDC, dib);
    POINT dst{rc.left - corner.left, rc.top - corner.top};
    SIZE size{pixels->Width(), pixels->Height()};
    POINT src{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    MoveWindow(m_hWnd, dst.x, dst.y, size.cx, size.cy, FALSE);
    UpdateLayeredWindow(m_hWnd, nullptr, &dst, &size, memDC, &src, 0, &blend, ULW_ALPHA);
    SelectObject(memDC, old);
  }
  if (dib) DeleteObject(dib);
  if (memDC) DeleteDC(memDC);
}

void CShadowUI::moveWithOwner(HWND owner) {
  RECT rc{};
  GetWindowRect(owner, &rc);
  const UIRect& corner = m_manager->GetShadowSettings().corner;
  SetWindowPos(m_hWnd, nullptr, rc.left - corner.left, rc.top - corner.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void CShadowUI::onOwnerMessage(HWND owner, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (!m_hWnd) return;
  switch (uMsg) {
    case WM_DESTROY:
      DestroyWindow(m_hWnd);
      m_hWnd = nullptr;
      break;
    case WM_MOVE:
      if (m_state & kShown) moveWithOwner(owner);
      break;
    case WM_SIZE:
      if (!(m_state & kEnabled)) break;
      if (wParam == SIZE_MINIMIZED || wParam == SIZE_MAXIMIZED) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        m_state &= ~kShown;
        if (wParam == SIZE_MAXIMIZED) update(owner);
      } else if (m_state & kOwnerVisible) {
        const bool grows = LOWORD(lParam) > LOWORD(m_lastSize) || HIWORD(lParam) > HIWORD(m_lastSize);
        if (grows)
          m_redrawPending = true;
        else
          update(owner);
        if (!(m_state & kShown)) {
          ::ShowWindow(m_hWnd, SW_SHOWNA);
          m_state |= kShown;
        }
      }
      m_lastSize = lParam;
      break;
    case WM_PAINT:
      if (m_redrawPending) {
        update(owner);
        m_redrawPending = false;
      }
      break;
    case WM_SHOWWINDOW:
      if (!(m_state & kEnabled)) break;
      if (wParam) {
        if (!(m_state & kOwnerVisible)) {
          m_redrawPending = true;
          ::ShowWindow(m_hWnd, SW_SHOWNA);
          m_state |= kShown | kOwnerVisible;
        }
      } else {
        ::ShowWindow(m_hWnd, SW_HIDE);
        m_state &= ~(kShown | kOwnerVisible);
      }
      break;
    case WM_EXITSIZEMOVE:
      if (m_state & kShown) update(owner);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK CShadowUI::OwnerHook(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  auto it = hooks().find(hWnd);
  if (it == hooks().end()) return DefWindowProcW(hWnd, uMsg, wParam, lParam);
  const HookEntry entry = it->second;
  if (entry.shadow) entry.shadow->onOwnerMessage(hWnd, uMsg, wParam, lParam);
  if (uMsg == WM_NCDESTROY) hooks().erase(hWnd);
  return CallWindowProcW(entry.previous, hWnd, uMsg, wParam, lParam);
}

}  // namespace VantorUI
