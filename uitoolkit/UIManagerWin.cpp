// Windows half of the manager: fonts, painting through a DIB section, mouse
// input, message filters and the process-wide list of managers.
#include <windowsx.h>

#include <algorithm>

#include "UIDibWin.h"
#include "UIManager.h"
#include "UIShadow.h"

namespace VantorUI {
namespace {

std::vector<CManagerUI*>& managers() {
  static std::vector<CManagerUI*> list;
  return list;
}

// Canvas drawing plus GDI text on the same DIB section.
class CGdiRenderUI : public CCanvasRenderUI {
 public:
  CGdiRenderUI(CCanvasUI& canvas, ImageLookup images, HDC dc, CManagerUI& manager)
      : CCanvasRenderUI(canvas, std::move(images)), m_dc(dc), m_manager(manager) {}

  void DrawString(const std::wstring& text, const UIRect& rect, int font, UIColor color, unsigned style) override {
    RECT rc{rect.left, rect.top, rect.right, rect.bottom};
    UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
    format |= (style & kTextCenter) ? DT_CENTER : (style & kTextRight) ? DT_RIGHT : DT_LEFT;
    format |= (style & kTextVCenter) ? DT_VCENTER : (style & kTextBottom) ? DT_BOTTOM : DT_TOP;
    const UIRect& clip = m_canvas.Clip();
    const int saved = SaveDC(m_dc);
    IntersectClipRect(m_dc, clip.left, clip.top, clip.right, clip.bottom);
    SelectObject(m_dc, m_manager.GetHFont(font));
    SetBkMode(m_dc, TRANSPARENT);
    // Text ignores the colour's alpha.
    SetTextColor(m_dc, RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF));
    DrawTextW(m_dc, text.c_str(), static_cast<int>(text.size()), &rc, format);
    RestoreDC(m_dc, saved);
  }

 private:
  HDC m_dc;
  CManagerUI& m_manager;
};

}  // namespace

void CManagerUI::Init(HWND hWnd) {
  m_hWnd = hWnd;
  if (std::find(managers().begin(), managers().end(), this) == managers().end()) managers().push_back(this);
  SetInvalidateHook([this](const UIRect& rc) {
    if (!IsWindow(m_hWnd)) return;
    RECT r{rc.left, rc.top, rc.right, rc.bottom};
    InvalidateRect(m_hWnd, &r, FALSE);
  });
}

void CManagerUI::attachWindowParts() {
  if (!m_hWnd) return;
  m_shadowWnd = std::make_shared<CShadowUI>();
  m_shadowWnd->Create(this);
}

void CManagerUI::releaseWindowParts() {
  auto& list = managers();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  m_shadowWnd.reset();
  for (HFONT f : m_hFonts) {
    if (f) DeleteObject(f);
  }
  m_hFonts.clear();
}

HFONT CManagerUI::GetHFont(int index) {
  const int i = ResolveFontIndex(index);
  if (i < 0) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (m_hFonts.size() < m_fonts.size()) m_hFonts.resize(m_fonts.size(), nullptr);
  HFONT& font = m_hFonts[static_cast<size_t>(i)];
  if (!font) {
    const FontSpec& wanted = m_fonts[static_cast<size_t>(i)];
    LOGFONTW lf{};
    lf.lfHeight = -wanted.size;
    lf.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = wanted.italic;
    lf.lfUnderline = wanted.underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(lf.lfFaceName, wanted.face.c_str(), LF_FACESIZE);
    font = CreateFontIndirectW(&lf);
  }
  return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool CManagerUI::AddMessageFilter(IMessageFilterUI* filter) {
  if (!filter || std::find(m_filters.begin(), m_filters.end(), filter) != m_filters.end()) return false;
  m_filters.push_back(filter);
  return true;
}

bool CManagerUI::RemoveMessageFilter(IMessageFilterUI* filter) {
  const auto it = std::find(m_filters.begin(), m_filters.end(), filter);
  if (it == m_filters.end()) return false;
  m_filters.erase(it);
  return true;
}

bool CManagerUI::AddTranslateAccelerator(ITranslateAccelerator* translator) {
  if (!translator || std::find(m_translators.begin(), m_translators.end(), translator) != m_translators.end())
    return false;
  m_translators.push_back(translator);
  return true;
}

bool CManagerUI::RemoveTranslateAccelerator(ITranslateAccelerator* translator) {
  const auto it = std::find(m_translators.begin(), m_translators.end(), translator);
  if (it == m_translators.end()) return false;
  m_translators.erase(it);
  return true;
}

void CManagerUI::paint() {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(m_hWnd, &ps);
  RECT client{};
  GetClientRect(m_hWnd, &client);
  const int w = client.right, h = client.bottom;
  if (w > 0 && h > 0 && !IsRectEmpty(&ps.rcPaint)) {
    void* bits = nullptr;
    HDC memDC = CreateCompatibleDC(dc);
    HBITMAP dib = CreateCanvasBitmap(dc, w, h, &bits);
    if (memDC && dib && bits) {
      HGDIOBJ old = SelectObject(memDC, dib);
      const UIRect dirty{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
      CCanvasUI canvas(static_cast<uint32_t*>(bits), w, h);
      canvas.SetClip(dirty);
      canvas.FillColor(dirty, 0xFFFFFFFF);
      GdiFlush();
      CGdiRenderUI render(
          canvas, [this](const std::wstring& f) { return GetImage(f); }, memDC, *this);
      Paint(render, dirty);
      GdiFlush();
      BitBlt(dc, dirty.left, dirty.top, dirty.Width(), dirty.Height(), memDC, dirty.left, dirty.top, SRCCOPY);
      SelectObject(memDC, old);
    }
    if (dib) DeleteObject(dib);
    if (memDC) DeleteDC(memDC);
  }
  EndPaint(m_hWnd, &ps);
}

bool CManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  if (!m_hWnd) return false;
  // Filters (the window itself first) see every message before the controls.
  const std::vector<IMessageFilterUI*> filters = m_filters;
  for (IMessageFilterUI* f : filters) {
    bool handled = false;
    const LRESULT r = f->MessageHandler(uMsg, wParam, lParam, handled);
    if (handled) {
      lRes = r;
      return true;
    }
  }
  const UIPoint pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (uMsg) {
    case WM_PAINT:
      paint();
      lRes = 0;
      return true;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) SetClientSize(LOWORD(lParam), HIWORD(lParam));
      return false;
    case WM_MOUSEMOVE:
      if (!m_mouseTracking) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_HOVER | TME_LEAVE, m_hWnd, 5};
        m_mouseTracking = TrackMouseEvent(&tme) != FALSE;
      }
      OnMouseMove(pt);
      return false;
    case WM_MOUSELEAVE:
      m_mouseTracking = false;
      OnMouseLeave();
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetFocus(m_hWnd);
      OnButtonDown(pt);
      if (HasCapture()) SetCapture(m_hWnd);
      return false;
    case WM_LBUTTONUP:
      // Released after the control has seen the button go up: releasing first
      // would report a lost capture and cancel the click.
      OnButtonUp(pt);
      if (GetCapture() == m_hWnd) ReleaseCapture();
      return false;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != m_hWnd && HasCapture()) OnButtonUp(UIPoint{-1, -1});
      return false;
    default:
      return false;
  }
}

bool CManagerUI::TranslateMessage(const MSG* pMsg) {
  if (!pMsg || !pMsg->hwnd) return false;
  const std::vector<CManagerUI*> list = managers();
  auto alive = [](CManagerUI* m) { return std::find(managers().begin(), managers().end(), m) != managers().end(); };
  const bool child = (GetWindowLongPtrW(pMsg->hwnd, GWL_STYLE) & WS_CHILD) != 0;
  for (HWND w = pMsg->hwnd; w; w = child ? GetParent(w) : nullptr) {
    for (CManagerUI* m : list) {
      if (!alive(m) || m->m_hWnd != w) continue;
      for (ITranslateAccelerator* t : std::vector<ITranslateAccelerator*>(m->m_translators)) {
        if (t->TranslateAccelerator(const_cast<MSG*>(pMsg)) == S_OK) return true;
      }
      for (IMessageFilterUI* f : std::vector<IMessageFilterUI*>(m->m_filters)) {
        bool handled = false;
        f->MessageHandler(pMsg->message, pMsg->wParam, pMsg->lParam, handled);
        if (handled && !child) return true;
      }
    }
    if (!child) break;
  }
  return false;
}

}  // namespace VantorUI
