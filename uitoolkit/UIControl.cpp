#include "UIControl.h"

#include <algorithm>

#include "UIManager.h"

namespace VantorUI {
namespace {

int clampInt(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

bool contains(const std::wstring& value, const wchar_t* word) { return value.find(word) != std::wstring::npos; }

}  // namespace

// ---- CControlUI -------------------------------------------------------------

void CControlUI::SetManager(CManagerUI* manager, CControlUI* parent) {
  m_manager = manager;
  m_parent = parent;
}

void CControlUI::SetPos(const UIRect& rc) {
  if (m_rcItem != rc) {
    Invalidate();
    m_rcItem = rc;
  }
  Invalidate();
}

void CControlUI::SetFixedWidth(int cx) {
  m_cxyFixed.cx = std::max(cx, 0);
  NeedUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  m_cxyFixed.cy = std::max(cy, 0);
  NeedUpdate();
}

void CControlUI::SetFixedXY(UIPoint pt) {
  m_ptFixedXY = pt;
  NeedUpdate();
}

void CControlUI::SetFloat(bool value) {
  m_bFloat = value;
  NeedUpdate();
}

void CControlUI::SetVisible(bool visible) {
  if (m_bVisible == visible) return;
  m_bVisible = visible;
  NeedUpdate();
  Invalidate();
}

void CControlUI::SetEnabled(bool enabled) {
  m_bEnabled = enabled;
  Invalidate();
}

void CControlUI::SetText(const std::wstring& text) {
  if (m_sText == text) return;
  m_sText = text;
  Invalidate();
}

const std::wstring& CControlUI::GetVirtualWnd() const {
  for (const CControlUI* c = this; c; c = c->m_parent) {
    if (!c->m_sVirtualWnd.empty()) return c->m_sVirtualWnd;
  }
  return m_sVirtualWnd;
}

void CControlUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"name") {
    m_name = value;
  } else if (name == L"pos") {
    UIRect rc;
    if (!ParseRect(value, rc)) return;
    // A negative left (top) takes the position from the right (bottom) value,
    // which then counts from the parent's far edge.
    SetFixedXY(UIPoint{rc.left < 0 ? rc.right : rc.left, rc.top < 0 ? rc.bottom : rc.top});
    SetFixedWidth(rc.right - rc.left);
    SetFixedHeight(rc.bottom - rc.top);
  } else if (name == L"width") {
    int v;
    if (ParseInt(value, v)) SetFixedWidth(v);
  } else if (name == L"height") {
    int v;
    if (ParseInt(value, v)) SetFixedHeight(v);
  } else if (name == L"minwidth") {
    int v;
    if (ParseInt(value, v)) m_cxyMin.cx = std::max(v, 0);
  } else if (name == L"minheight") {
    int v;
    if (ParseInt(value, v)) m_cxyMin.cy = std::max(v, 0);
  } else if (name == L"maxwidth") {
    int v;
    if (ParseInt(value, v)) m_cxyMax.cx = std::max(v, 0);
  } else if (name == L"maxheight") {
    int v;
    if (ParseInt(value, v)) m_cxyMax.cy = std::max(v, 0);
  } else if (name == L"padding") {
    UIRect rc;
    if (ParseRect(value, rc)) m_rcPadding = rc;
    NeedUpdate();
  } else if (name == L"float") {
    SetFloat(ParseBool(value));
  } else if (name == L"visible") {
    SetVisible(ParseBool(value));
  } else if (name == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (name == L"bkcolor") {
    UIColor c;
    if (ParseColor(value, c)) {
      m_dwBkColor = c;
      Invalidate();
    }
  } else if (name == L"bkimage") {
    m_sBkImage = value;
    Invalidate();
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"virtualwnd") {
    m_sVirtualWnd = value;
  }
}

void CControlUI::Invalidate() {
  if (m_manager && m_bVisible) m_manager->Invalidate(m_rcItem);
}

void CControlUI::NeedUpdate() {
  if (m_manager) m_manager->NeedUpdate();
}

void CControlUI::PaintBackground(IRenderUI& render) {
  if (m_dwBkColor != 0) render.FillColor(m_rcItem, m_dwBkColor);
  if (!m_sBkImage.empty()) render.DrawImage(ParseImageDescriptor(m_sBkImage), m_rcItem);
}

void CControlUI::DoPaint(IRenderUI& render, const UIRect&) { PaintBackground(render); }

CControlUI* CControlUI::FindControlAt(UIPoint pt) { return m_bVisible && m_rcItem.Contains(pt) ? this : nullptr; }

void CControlUI::DoEvent(const UIEvent&) {}

// ---- CContainerUI -----------------------------------------------------------

bool CContainerUI::Add(std::unique_ptr<CControlUI> control) {
  if (!control) return false;
  control->SetManager(m_manager, this);
  control->SetInternVisible(IsVisible() && IsInternVisible());
  m_items.push_back(std::move(control));
  NeedUpdate();
  return true;
}

void CContainerUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible() && IsInternVisible());
}

void CContainerUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible() && IsInternVisible());
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  return index >= 0 && index < GetCount() ? m_items[static_cast<size_t>(index)].get() : nullptr;
}

void CContainerUI::SetManager(CManagerUI* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (auto& item : m_items) item->SetManager(manager, this);
}

UIRect CContainerUI::InnerRect(const UIRect& rc) const {
  UIRect r{rc.left + m_rcInset.left, rc.top + m_rcInset.top, rc.right - m_rcInset.right, rc.bottom - m_rcInset.bottom};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

void CContainerUI::SetFloatPos(CControlUI& child) const {
  const UIPoint xy = child.GetFixedXY();
  const int w = child.GetFixedWidth();
  const int h = child.GetFixedHeight();
  UIRect r;
  r.left = xy.x >= 0 ? m_rcItem.left + xy.x : m_rcItem.right + xy.x - w;
  r.top = xy.y >= 0 ? m_rcItem.top + xy.y : m_rcItem.bottom + xy.y - h;
  r.right = r.left + w;
  r.bottom = r.top + h;
  child.SetPos(r);
}

void CContainerUI::SetPos(const UIRect& rc) {
  CControlUI::SetPos(rc);
  const UIRect area = InnerRect(rc);
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat())
      SetFloatPos(*item);
    else
      item->SetPos(area);
  }
}

void CContainerUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"inset") {
    UIRect rc;
    if (ParseRect(value, rc)) m_rcInset = rc;
    NeedUpdate();
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

void CContainerUI::DoPaint(IRenderUI& render, const UIRect& dirty) {
  CControlUI::DoPaint(render, dirty);
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    const UIRect& r = item->GetPos();
    if (r.right <= dirty.left || r.left >= dirty.right || r.bottom <= dirty.top || r.top >= dirty.bottom) continue;
    item->DoPaint(render, dirty);
  }
}

CControlUI* CContainerUI::FindControlAt(UIPoint pt) {
  if (!m_bVisible || !m_rcItem.Contains(pt)) return nullptr;
  // Later children paint over earlier ones, so they are hit first.
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (CControlUI* hit = (*it)->FindControlAt(pt)) return hit;
  }
  return this;
}

void CContainerUI::ForEach(const std::function<void(CControlUI&)>& visit) {
  visit(*this);
  for (auto& item : m_items) item->ForEach(visit);
}

// ---- stacking layouts --------------------------------------------------------

namespace {

// Shares `available` pixels along one axis: fixed sizes first, the rest in
// equal parts to the children without one; padding counts as used space.
struct AxisItem {
  CControlUI* control;
  int64_t fixed;  // 0: takes a share
  int lead, trail, minSize, maxSize;
};

std::vector<int> shareAxis(const std::vector<AxisItem>& items, int available) {
  int64_t used = 0;
  int64_t sharers = 0;
  for (const auto& it : items) {
    used += it.lead + it.trail;
    if (it.fixed > 0)
      used += clampInt(static_cast<int>(it.fixed), it.minSize, it.maxSize);
    else
      ++sharers;
  }
  const int64_t rest = std::max<int64_t>(0, available - used);
  const int share = sharers > 0 ? static_cast<int>(rest / sharers) : 0;
  std::vector<int> sizes;
  sizes.reserve(items.size());
  for (const auto& it : items) {
    const int wanted = it.fixed > 0 ? static_cast<int>(it.fixed) : share;
    sizes.push_back(clampInt(wanted, it.minSize, std::max(it.minSize, it.maxSize)));
  }
  return sizes;
}

}  // namespace

void CContainerUI::StackItems(const UIRect& rc, bool vertical) {
  CControlUI::SetPos(rc);
  const UIRect area = InnerRect(rc);
  // Main axis: along the stacking; cross axis: across it.
  auto mainFixed = [vertical](const CControlUI& c) { return vertical ? c.GetFixedHeight() : c.GetFixedWidth(); };
  auto crossFixed = [vertical](const CControlUI& c) { return vertical ? c.GetFixedWidth() : c.GetFixedHeight(); };
  auto crossMin = [vertical](const CControlUI& c) { return vertical ? c.GetMinWidth() : c.GetMinHeight(); };
  auto crossMax = [vertical](const CControlUI& c) { return vertical ? c.GetMaxWidth() : c.GetMaxHeight(); };
  std::vector<AxisItem> stacked;
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(*item);
      continue;
    }
    const UIRect& pad = item->GetPadding();
    stacked.push_back({item.get(), mainFixed(*item), vertical ? pad.top : pad.left, vertical ? pad.bottom : pad.right,
                       vertical ? item->GetMinHeight() : item->GetMinWidth(),
                       vertical ? item->GetMaxHeight() : item->GetMaxWidth()});
  }
  const std::vector<int> sizes = shareAxis(stacked, vertical ? area.Height() : area.Width());
  int64_t along = vertical ? area.top : area.left;
  const int crossStart = vertical ? area.left : area.top;
  const int crossSpan = vertical ? area.Width() : area.Height();
  for (size_t i = 0; i < stacked.size(); ++i) {
    CControlUI& c = *stacked[i].control;
    const UIRect& pad = c.GetPadding();
    const int crossLead = vertical ? pad.left : pad.top;
    const int crossTrail = vertical ? pad.right : pad.bottom;
    along += stacked[i].lead;
    const int start = static_cast<int>(std::min<int64_t>(along, 4 * kMaxCoordinate));
    const int cross = crossFixed(c) > 0 ? clampInt(crossFixed(c), crossMin(c), std::max(crossMin(c), crossMax(c)))
                                        : std::max(0, crossSpan - crossLead - crossTrail);
    const int crossAt = crossStart + crossLead;
    c.SetPos(vertical ? UIRect{crossAt, start, crossAt + cross, start + sizes[i]}
                      : UIRect{start, crossAt, start + sizes[i], crossAt + cross});
    along += sizes[i] + stacked[i].trail;
  }
}

void CVerticalLayoutUI::SetPos(const UIRect& rc) { StackItems(rc, true); }

void CHorizontalLayoutUI::SetPos(const UIRect& rc) { StackItems(rc, false); }

// ---- CTabLayoutUI -----------------------------------------------------------

bool CTabLayoutUI::Add(std::unique_ptr<CControlUI> control) {
  if (!control) return false;
  if (GetCount() != m_iCurSel) control->SetVisible(false);
  return CContainerUI::Add(std::move(control));
}

bool CTabLayoutUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  m_iCurSel = index;
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == index);
  NeedUpdate();
  Invalidate();
  return true;
}

void CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  int v;
  if (name == L"selectedid" && ParseInt(value, v)) {
    m_iCurSel = std::max(v, 0);
    SelectItem(m_iCurSel);
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

// ---- CLabelUI ---------------------------------------------------------------

void CLabelUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"textcolor") {
    UIColor c;
    if (ParseColor(value, c)) {
      m_dwTextColor = c;
      m_bTextColorSet = true;
      Invalidate();
    }
  } else if (name == L"font") {
    int v;
    if (ParseInt(value, v)) m_iFont = v;
    Invalidate();
  } else if (name == L"align") {
    m_uTextStyle &= ~static_cast<unsigned>(kTextCenter | kTextRight);
    if (contains(value, L"center"))
      m_uTextStyle |= kTextCenter;
    else if (contains(value, L"right"))
      m_uTextStyle |= kTextRight;
    Invalidate();
  } else if (name == L"valign") {
    m_uTextStyle &= ~static_cast<unsigned>(kTextVCenter | kTextBottom);
    if (contains(value, L"vcenter"))
      m_uTextStyle |= kTextVCenter;
    else if (contains(value, L"bottom"))
      m_uTextStyle |= kTextBottom;
    else if (!contains(value, L"top"))
      m_uTextStyle |= kTextVCenter;
    Invalidate();
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

UIColor CLabelUI::GetTextColor() const {
  if (m_bTextColorSet) return m_dwTextColor;
  return m_manager ? m_manager->GetDefaultTextColor() : 0xFF000000;
}

void CLabelUI::PaintText(IRenderUI& render) {
  if (m_sText.empty()) return;
  render.DrawString(m_sText, m_rcItem, m_iFont, GetTextColor(), m_uTextStyle);
}

void CLabelUI::DoPaint(IRenderUI& render, const UIRect& dirty) {
  CControlUI::DoPaint(render, dirty);
  PaintText(render);
}

// ---- CButtonUI --------------------------------------------------------------

void CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage")
    m_sNormalImage = value;
  else if (name == L"hotimage")
    m_sHotImage = value;
  else if (name == L"pushedimage")
    m_sPushedImage = value;
  else
    return CLabelUI::SetAttribute(name, value);
  Invalidate();
}

void CButtonUI::DoPaint(IRenderUI& render, const UIRect& dirty) {
  CControlUI::DoPaint(render, dirty);
  const std::wstring* image = &m_sNormalImage;
  if (m_bPushed && !m_sPushedImage.empty())
    image = &m_sPushedImage;
  else if ((m_bHot || m_bPushed) && !m_sHotImage.empty())
    image = &m_sHotImage;
  if (!image->empty()) render.DrawImage(ParseImageDescriptor(*image), m_rcItem);
  PaintText(render);
}

void CButtonUI::DoEvent(const UIEvent& event) {
  if (!m_bEnabled) return;
  switch (event.type) {
    case UIEventType::MouseEnter:
      m_bHot = true;
      Invalidate();
      break;
    case UIEventType::MouseLeave:
      m_bHot = false;
      Invalidate();
      break;
    case UIEventType::ButtonDown:
      m_bPushed = true;
      Invalidate();
      break;
    case UIEventType::ButtonUp: {
      const bool click = m_bPushed && m_rcItem.Contains(event.pt) && m_bVisible;
      m_bPushed = false;
      Invalidate();
      if (click && m_manager) m_manager->SendNotify(this, L"click");
      break;
    }
    case UIEventType::MouseMove:
      break;
  }
}

// ---- CProgressUI ------------------------------------------------------------

void CProgressUI::SetMinValue(int value) {
  m_nMin = value;
  Invalidate();
}

void CProgressUI::SetMaxValue(int value) {
  m_nMax = value;
  Invalidate();
}

bool CProgressUI::SetValue(int value) {
  if (value < m_nMin || value > m_nMax || value == m_nValue) return false;
  m_nValue = value;
  Invalidate();
  return true;
}

int CProgressUI::FilledWidth(int width) const {
  const int64_t lo = m_nMin;
  const int64_t hi = m_nMax > m_nMin ? m_nMax : lo + 1;
  const int64_t v = std::max(lo, std::min<int64_t>(m_nValue, hi));
  return static_cast<int>(static_cast<int64_t>(std::max(width, 0)) * (v - lo) / (hi - lo));
}

void CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  int v;
  if (name == L"foreimage") {
    m_sForeImage = value;
    Invalidate();
  } else if (name == L"min") {
    if (ParseInt(value, v)) SetMinValue(v);
  } else if (name == L"max") {
    if (ParseInt(value, v)) SetMaxValue(v);
  } else if (name == L"value") {
    if (ParseInt(value, v)) SetValue(v);
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

void CProgressUI::DoPaint(IRenderUI& render, const UIRect& dirty) {
  CControlUI::DoPaint(render, dirty);
  if (!m_sForeImage.empty()) {
    UIRect filled = m_rcItem;
    filled.right = filled.left + FilledWidth(m_rcItem.Width());
    if (!filled.IsEmpty() && !render.DrawImage(ParseImageDescriptor(m_sForeImage), filled)) m_sForeImage.clear();
  }
  PaintText(render);
}

}  // namespace VantorUI
