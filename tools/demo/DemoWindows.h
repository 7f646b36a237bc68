// Windows of the programs a demo starts: found by class and process, with this
// program's own messages handled while it waits.
#pragma once
#include <windows.h>

namespace demo {

// Handles this thread's messages for about ms milliseconds.
inline void pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  MSG msg;
  do {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(20);
  } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

// The first top-level window of class className owned by process pid (shown,
// when visibleOnly), waiting up to about waitMs; null when none came.
inline HWND windowOf(DWORD pid, const wchar_t* className, bool visibleOnly, DWORD waitMs = 20000) {
  for (DWORD waited = 0;; waited += 50) {
    for (HWND w = FindWindowExW(nullptr, nullptr, className, nullptr); w;
         w = FindWindowExW(nullptr, w, className, nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && (!visibleOnly || IsWindowVisible(w))) return w;
    }
    if (waited >= waitMs) return nullptr;
    pump(50);
  }
}

}  // namespace demo
