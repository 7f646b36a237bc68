// The launcher's web page control: the toolkit's web browser control whose
// window.external is the script bridge. The bridge posts the page's requests
// to the owner window (the main window) and never calls its code; calls it
// does not know go on to the control's event dispatch.
#pragma once
#include <windows.h>

#include "ScriptBridgeWin.h"
#include "UIWebBrowserWin.h"

namespace vekt {

class CIeBrowserUI : public VantorUI::CWebBrowserUI {
 public:
  // queue belongs to the owner window and outlives the control.
  CIeBrowserUI(HWND owner, browser::RequestTextQueue& queue, browser::BridgeLog log);
  ~CIeBrowserUI() override;

  HWND GetOwner() const { return m_hwndOwner; }

 protected:
  IDispatch* ExternalObject() override { return m_bridge; }

 private:
  HWND m_hwndOwner;
  browser::ScriptBridge* m_bridge;
};

// The builder's answer for an element name: a CIeBrowserUI for "IeBrowser"
// (any letter case), nothing for other names.
VantorUI::CControlUI* CreateIeBrowser(const std::wstring& className, HWND owner, browser::RequestTextQueue& queue,
                                      browser::BridgeLog log);

}  // namespace vekt
