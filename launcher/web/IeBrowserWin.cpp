#include "IeBrowserWin.h"

namespace vekt {

CIeBrowserUI::CIeBrowserUI(HWND owner, browser::RequestTextQueue& queue, browser::BridgeLog log)
    : m_hwndOwner(owner),
      m_bridge(new browser::ScriptBridge(owner, queue, std::move(log), static_cast<IDispatch*>(this))) {
  // Objects made while the layout is built live in the owner window.
  SetOwnerWindow(owner);
}

CIeBrowserUI::~CIeBrowserUI() {
  ReleaseControl();
  m_bridge->detach();
  m_bridge->Release();
}

VantorUI::CControlUI* CreateIeBrowser(const std::wstring& className, HWND owner, browser::RequestTextQueue& queue,
                                      browser::BridgeLog log) {
  if (lstrcmpiW(className.c_str(), L"IeBrowser") != 0) return nullptr;
  return new CIeBrowserUI(owner, queue, std::move(log));
}

}  // namespace vekt
