// Shared by the Windows test hosts that drive a browser in their own process:
// pumping the thread's messages, collecting reported errors, reading where
// the browser is.
#pragma once
#include <windows.h>
#include <exdisp.h>

#include <string>
#include <vector>

namespace browsertest {

inline std::vector<std::wstring>& reports() {
  static std::vector<std::wstring> list;
  return list;
}

// An error reporter that keeps the message instead of showing a box.
inline void recordReport(const wchar_t* message) { reports().emplace_back(message); }

// Runs this thread's messages for a while; quit messages are dropped, since a
// tool window in this process posts one when it goes.
inline void pump(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  MSG message;
  do {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

inline std::wstring locationOf(IWebBrowser2* browser) {
  BSTR url = nullptr;
  if (!browser || FAILED(browser->get_LocationURL(&url)) || !url) return L"(none)";
  std::wstring text(url, SysStringLen(url));
  SysFreeString(url);
  return text;
}

}  // namespace browsertest
