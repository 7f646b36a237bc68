// Controls of skinned windows: the control base, containers and the leaf
// controls the launcher's layouts use.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UIAttributes.h"
#include "UIDefs.h"
#include "UIRender.h"

namespace VantorUI {

class CManagerUI;
class CContainerUI;

enum class UIEventType { MouseEnter, MouseLeave, MouseMove, ButtonDown, ButtonUp };

struct UIEvent {
  UIEventType type = UIEventType::MouseMove;
  UIPoint pt;
};

class CControlUI {
 public:
  CControlUI() = default;
  virtual ~CControlUI() = default;
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual std::wstring GetClass() const { return L"ControlUI"; }
  virtual CContainerUI* AsContainer() { return nullptr; }

  const std::wstring& GetName() const { return m_name; }
  void SetName(const std::wstring& name) { m_name = name; }
  CManagerUI* GetManager() const { return m_manager; }
  CControlUI* GetParent() const { return m_parent; }
  virtual void SetManager(CManagerUI* manager, CControlUI* parent);

  const UIRect& GetPos() const { return m_rcItem; }
  virtual void SetPos(const UIRect& rc);

  // Fixed size: 0 means "not fixed" (the layout decides).
  int GetFixedWidth() const { return m_cxyFixed.cx; }
  int GetFixedHeight() const { return m_cxyFixed.cy; }
  void SetFixedWidth(int cx);
  void SetFixedHeight(int cy);
  UIPoint GetFixedXY() const { return m_ptFixedXY; }
  void SetFixedXY(UIPoint pt);
  bool IsFloat() const { return m_bFloat; }
  void SetFloat(bool value);
  const UIRect& GetPadding() const { return m_rcPadding; }
  int GetMinWidth() const { return m_cxyMin.cx; }
  int GetMinHeight() const { return m_cxyMin.cy; }
  int GetMaxWidth() const { return m_cxyMax.cx; }
  int GetMaxHeight() const { return m_cxyMax.cy; }

  bool IsVisible() const { return m_bVisible; }
  virtual void SetVisible(bool visible);
  // Whether every container above is visible; containers pass it down.
  bool IsInternVisible() const { return m_bInternVisible; }
  virtual void SetInternVisible(bool visible) { m_bInternVisible = visible; }
  bool IsEnabled() const { return m_bEnabled; }
  void SetEnabled(bool enabled);

  virtual std::wstring GetText() const { return m_sText; }
  virtual void SetText(const std::wstring& text);
  UIColor GetBkColor() const { return m_dwBkColor; }
  const std::wstring& GetBkImage() const { return m_sBkImage; }
  const std::wstring& GetVirtualWnd() const;

  // Same names and values as in a layout; later calls override earlier ones.
  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);

  void Invalidate();
  // Asks the manager to lay out again before the next paint.
  void NeedUpdate();

  virtual void DoPaint(IRenderUI& render, const UIRect& dirty);
  // Topmost visible control under the point (this one or a descendant).
  virtual CControlUI* FindControlAt(UIPoint pt);
  virtual void DoEvent(const UIEvent& event);
  // Visits this control and its descendants in document order.
  virtual void ForEach(const std::function<void(CControlUI&)>& visit) { visit(*this); }

 protected:
  void PaintBackground(IRenderUI& render);

  CManagerUI* m_manager = nullptr;
  CControlUI* m_parent = nullptr;
  std::wstring m_name;
  std::wstring m_sText;
  std::wstring m_sVirtualWnd;
  UIRect m_rcItem;
  UIRect m_rcPadding;
  UISize m_cxyFixed;
  UISize m_cxyMin;
  UISize m_cxyMax{kMaxCoordinate, kMaxCoordinate};
  UIPoint m_ptFixedXY;
  bool m_bFloat = false;
  bool m_bVisible = true;
  bool m_bInternVisible = true;
  bool m_bEnabled = true;
  UIColor m_dwBkColor = 0;
  std::wstring m_sBkImage;
};

class CContainerUI : public CControlUI {
 public:
  std::wstring GetClass() const override { return L"ContainerUI"; }
  CContainerUI* AsContainer() override { return this; }

  virtual bool Add(std::unique_ptr<CControlUI> control);
  int GetCount() const { return static_cast<int>(m_items.size()); }
  CControlUI* GetItemAt(int index) const;
  const UIRect& GetInset() const { return m_rcInset; }

  void SetManager(CManagerUI* manager, CControlUI* parent) override;
  void SetPos(const UIRect& rc) override;
  void SetVisible(bool visible) override;
  void SetInternVisible(bool visible) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoPaint(IRenderUI& render, const UIRect& dirty) override;
  CControlUI* FindControlAt(UIPoint pt) override;
  void ForEach(const std::function<void(CControlUI&)>& visit) override;

 protected:
  UIRect InnerRect(const UIRect& rc) const;
  // Places a floating child at its fixed position relative to this container.
  void SetFloatPos(CControlUI& child) const;
  // Lays the children out in a column (vertical) or a row.
  void StackItems(const UIRect& rc, bool vertical);
  std::vector<std::unique_ptr<CControlUI>> m_items;
  UIRect m_rcInset;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"VerticalLayoutUI"; }
  void SetPos(const UIRect& rc) override;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"HorizontalLayoutUI"; }
  void SetPos(const UIRect& rc) override;
};

class CTabLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"TabLayoutUI"; }
  bool SelectItem(int index);
  int GetCurSel() const { return m_iCurSel; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  // Pages other than the selected one start hidden.
  bool Add(std::unique_ptr<CControlUI> control) override;

 private:
  int m_iCurSel = 0;
};

class CLabelUI : public CControlUI {
 public:
  std::wstring GetClass() const override { return L"LabelUI"; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoPaint(IRenderUI& render, const UIRect& dirty) override;
  int GetFont() const { return m_iFont; }
  unsigned GetTextStyle() const { return m_uTextStyle; }
  UIColor GetTextColor() const;

 protected:
  void PaintText(IRenderUI& render);
  int m_iFont = -1;  // -1: the window's default font
  bool m_bTextColorSet = false;
  UIColor m_dwTextColor = 0;
  unsigned m_uTextStyle = kTextLeft | kTextVCenter;
};

class CButtonUI : public CLabelUI {
 public:
  CButtonUI() { m_uTextStyle = kTextCenter | kTextVCenter; }  // button captions sit in the middle
  std::wstring GetClass() const override { return L"ButtonUI"; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoPaint(IRenderUI& render, const UIRect& dirty) override;
  void DoEvent(const UIEvent& event) override;
  bool IsHot() const { return m_bHot; }
  bool IsPushed() const { return m_bPushed; }

 private:
  std::wstring m_sNormalImage;
  std::wstring m_sHotImage;
  std::wstring m_sPushedImage;
  bool m_bHot = false;
  bool m_bPushed = false;
};

class CProgressUI : public CLabelUI {
 public:
  std::wstring GetClass() const override { return L"ProgressUI"; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoPaint(IRenderUI& render, const UIRect& dirty) override;
  int GetMinValue() const { return m_nMin; }
  int GetMaxValue() const { return m_nMax; }
  int GetValue() const { return m_nValue; }
  void SetMinValue(int value);
  void SetMaxValue(int value);
  // Ignored outside [min, max] or when unchanged; otherwise stored and repainted.
  bool SetValue(int value);
  // Width of the filled part of a bar `width` pixels wide.
  int FilledWidth(int width) const;
  const std::wstring& GetForeImage() const { return m_sForeImage; }

 private:
  int m_nMin = 0;
  int m_nMax = 100;
  int m_nValue = 0;
  std::wstring m_sForeImage;
};

}  // namespace VantorUI
