// Base of skinned windows: frameless window whose content is a control tree
// built from a layout in the skin package, with notification dispatch,
// hit testing for resizing and dragging, and the attention shake of modal boxes.
#pragma once
#include <windows.h>

#include <string>

#include "UIBuilder.h"
#include "UIManager.h"
#include "UINotify.h"
#include "UIShadow.h"
#include "UIWindow.h"

namespace VantorUI {

enum UILIB_RESOURCETYPE {
  UILIB_FILE = 1,         // files in the skin folder
  UILIB_ZIP = 2,          // a zip file in the skin folder
  UILIB_RESOURCE = 3,     // layout in a program resource of type "xml"
  UILIB_ZIPRESOURCE = 4,  // a zip archive in a program resource of type "ZIPRES"
};

// Messages of the attention shake: the owner learns its modal box (lParam),
// and a box is told to shake.
constexpr UINT WM_UI_REGISTER_MODAL = WM_USER + 600;
constexpr UINT WM_UI_SHAKE = WM_USER + 601;
constexpr UINT_PTR kShakeTimerId = 10;
constexpr UINT kShakeTimerMs = 80;
constexpr int kShakeTicks = 8;

// Shown when a window's skin cannot be loaded; the process then ends with 1.
constexpr const wchar_t* kLoadFailedText = L"\u52A0\u8F7D\u8D44\u6E90\u5931\u8D25\uFF01";  // 加载资源失败！
[[noreturn]] void ReportSkinLoadFailure(const std::wstring& caption);

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
 public:
  WindowImplBase();
  ~WindowImplBase() override;

  virtual void InitWindow() {}
  void Notify(NotifyRecord& msg) override;
  virtual void HandleClick(NotifyRecord& msg);
  CControlUI* CreateCustomControl(const std::wstring&) override { return nullptr; }
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  CManagerUI& GetManager() { return m_pm; }
  CControlUI* FindControl(const std::wstring& name) const { return m_pm.FindControl(name); }

 protected:
  virtual std::wstring GetSkinFolder() { return L""; }
  virtual std::wstring GetSkinFile() = 0;
  virtual LRESULT ResponseDefaultKeyEvent(WPARAM) { return FALSE; }
  virtual UILIB_RESOURCETYPE GetResourceType() const { return UILIB_FILE; }
  virtual std::wstring GetZIPFileName() const { return L""; }
  virtual int GetResourceID() const { return 0; }

  virtual LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnNcActivate(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnNcCalcSize(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnNcPaint(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnNcHitTest(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnGetMinMaxInfo(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnMouseWheel(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnMouseHover(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnChar(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnSysCommand(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnLButtonUp(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL& bHandled);
  // Messages no handler above takes; runs before the manager sees them.
  virtual LRESULT HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled);
  virtual LONG GetStyle();

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  const NotifyMap* GetNotifyMap() const override { return &m_notifyMap; }

  CManagerUI m_pm;
  NotifyMap m_notifyMap;

 private:
  bool openSkinSource();
  void startShake();
  void shakeTick();
};

}  // namespace VantorUI
