#include "UIManager.h"

#include <algorithm>
#include <chrono>

#include "UIResource.h"

namespace VantorUI {

CManagerUI::CManagerUI() = default;

CManagerUI::~CManagerUI() {
#ifdef _WIN32
  releaseWindowParts();
#endif
  m_hot = nullptr;
  m_captured = nullptr;
  m_root.reset();
}

bool CManagerUI::AttachDialog(std::unique_ptr<CControlUI> root) {
  if (!root) return false;
  m_hot = nullptr;
  m_captured = nullptr;
  m_names.clear();
  m_root = std::move(root);
  m_root->SetManager(this, nullptr);
  m_root->ForEach([this](CControlUI& c) {
    if (!c.GetName().empty()) m_names[c.GetName()] = &c;
  });
  m_firstLayout = true;
  NeedUpdate();
#ifdef _WIN32
  attachWindowParts();
#endif
  return true;
}

CControlUI* CManagerUI::FindControl(const std::wstring& name) const {
  const auto it = m_names.find(name);
  return it == m_names.end() ? nullptr : it->second;
}

CControlUI* CManagerUI::FindControl(UIPoint pt) const { return m_root ? m_root->FindControlAt(pt) : nullptr; }

void CManagerUI::SetWindowAttribute(const std::wstring& name, const std::wstring& value) {
  UISize size;
  UIRect rect;
  if (name == L"size") {
    if (ParseSize(value, size)) m_initSize = UISize{std::max(size.cx, 0), std::max(size.cy, 0)};
  } else if (name == L"sizebox") {
    if (ParseRect(value, rect)) m_sizeBox = rect;
  } else if (name == L"caption") {
    if (ParseRect(value, rect)) m_caption = rect;
  } else if (name == L"mininfo") {
    if (ParseSize(value, size)) m_minInfo = size;
  } else if (name == L"maxinfo") {
    if (ParseSize(value, size)) m_maxInfo = size;
  } else if (name == L"roundcorner") {
    if (ParseSize(value, size)) m_roundCorner = size;
  } else if (name == L"showshadow") {
    m_shadow.show = ParseBool(value);
  } else if (name == L"shadowimage") {
    m_shadow.image = value;
    m_shadow.imageMode = true;
  } else if (name == L"shadowcorner") {
    if (ParseRect(value, rect) && rect.left >= 0 && rect.top >= 0 && rect.right >= 0 && rect.bottom >= 0)
      m_shadow.corner = rect;
  } else if (name == L"defaulttextcolor") {
    UIColor c;
    if (ParseColor(value, c)) m_defaultTextColor = c;
  }
}

int CManagerUI::AddFont(const FontSpec& font, bool makeDefault) {
  m_fonts.push_back(font);
  const int index = static_cast<int>(m_fonts.size()) - 1;
  if (makeDefault || m_defaultFont < 0) m_defaultFont = index;
  return index;
}

int CManagerUI::ResolveFontIndex(int index) const {
  if (index >= 0 && index < GetFontCount()) return index;
  return m_defaultFont;
}

const FontSpec* CManagerUI::GetFont(int index) const {
  const int i = ResolveFontIndex(index);
  return i >= 0 ? &m_fonts[static_cast<size_t>(i)] : nullptr;
}

void CManagerUI::AddNotifier(INotifyUI* notifier) {
  if (notifier && std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end())
    m_notifiers.push_back(notifier);
}

bool CManagerUI::RemoveNotifier(INotifyUI* notifier) {
  const auto it = std::find(m_notifiers.begin(), m_notifiers.end(), notifier);
  if (it == m_notifiers.end()) return false;
  m_notifiers.erase(it);
  return true;
}

void CManagerUI::SendNotify(CControlUI* sender, const std::wstring& type, UIWParam wParam, UILParam lParam) {
  NotifyRecord msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.sVirtualWnd = sender ? sender->GetVirtualWnd() : std::wstring();
  msg.dwTimestamp = static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
  msg.ptMouse = m_lastMouse;
  msg.wParam = wParam;
  msg.lParam = lParam;
  // A notifier may remove itself or others while being called.
  const std::vector<INotifyUI*> notifiers = m_notifiers;
  for (INotifyUI* n : notifiers) {
    if (std::find(m_notifiers.begin(), m_notifiers.end(), n) != m_notifiers.end()) n->Notify(msg);
  }
}

void CManagerUI::Invalidate(const UIRect& rc) {
  if (m_invalidate && !rc.IsEmpty()) m_invalidate(rc);
}

void CManagerUI::SetClientSize(int width, int height) {
  m_clientSize = UISize{std::max(width, 0), std::max(height, 0)};
  m_updateNeeded = true;
  UpdateLayout();
}

void CManagerUI::UpdateLayout() {
  if (!m_updateNeeded || !m_root) return;
  m_updateNeeded = false;
  m_root->SetPos(UIRect{0, 0, m_clientSize.cx, m_clientSize.cy});
  // Laying out may ask for another pass (a control changing its own size); one more is enough.
  if (m_updateNeeded) {
    m_updateNeeded = false;
    m_root->SetPos(UIRect{0, 0, m_clientSize.cx, m_clientSize.cy});
    m_updateNeeded = false;
  }
  if (m_firstLayout) {
    m_firstLayout = false;
    SendNotify(m_root.get(), L"windowinit");
  }
}

void CManagerUI::Paint(IRenderUI& render, const UIRect& dirty) {
  UpdateLayout();
  if (m_root && m_root->IsVisible()) m_root->DoPaint(render, dirty);
}

void CManagerUI::setHot(CControlUI* control, UIPoint pt) {
  if (control == m_hot) return;
  if (m_hot) m_hot->DoEvent(UIEvent{UIEventType::MouseLeave, pt});
  m_hot = control;
  if (m_hot) m_hot->DoEvent(UIEvent{UIEventType::MouseEnter, pt});
}

void CManagerUI::OnMouseMove(UIPoint pt) {
  m_lastMouse = pt;
  UpdateLayout();
  CControlUI* under = FindControl(pt);
  // While a button is held, only the pressed control is hot, and only over itself.
  if (m_captured) under = (under == m_captured) ? under : nullptr;
  setHot(under, pt);
  if (m_captured) m_captured->DoEvent(UIEvent{UIEventType::MouseMove, pt});
}

void CManagerUI::OnMouseLeave() {
  if (!m_captured) setHot(nullptr, m_lastMouse);
}

void CManagerUI::OnButtonDown(UIPoint pt) {
  m_lastMouse = pt;
  UpdateLayout();
  CControlUI* under = FindControl(pt);
  if (!under || !under->IsEnabled()) return;
  setHot(under, pt);
  m_captured = under;
  under->DoEvent(UIEvent{UIEventType::ButtonDown, pt});
}

void CManagerUI::OnButtonUp(UIPoint pt) {
  m_lastMouse = pt;
  CControlUI* captured = m_captured;
  m_captured = nullptr;
  if (captured) captured->DoEvent(UIEvent{UIEventType::ButtonUp, pt});
  // The click may have replaced the tree; look the control up afresh.
  if (m_root) setHot(FindControl(pt), pt);
}

std::shared_ptr<CBitmapUI> CManagerUI::GetImage(const std::wstring& file) {
  const auto it = m_images.find(file);
  if (it != m_images.end()) return it->second;
  std::vector<uint8_t> bytes;
  std::string error;
  std::shared_ptr<CBitmapUI> bitmap;
  if (CResourceUI::ReadFile(file, bytes, error)) bitmap = CBitmapUI::Decode(bytes);
  m_images[file] = bitmap;
  return bitmap;
}

}  // namespace VantorUI
