// A C++ object owning one window: class registration, creation and message routing.
#pragma once
#include <windows.h>

namespace VantorUI {

class CWindowWnd {
 public:
  CWindowWnd() = default;
  virtual ~CWindowWnd() = default;
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // Instance whose resources (skin package) and window classes the toolkit uses.
  static HINSTANCE GetInstance();
  static void SetInstance(HINSTANCE instance);

  bool RegisterWindowClass();
  HWND Create(HWND hwndParent, LPCWSTR pstrName, DWORD dwStyle, DWORD dwExStyle, int x, int y, int cx, int cy);
  void ShowWindow(bool bShow = true, bool bTakeFocus = true);
  // Centres on the owner's window rectangle (or the work area without an
  // owner), then keeps the window inside the work area of that monitor.
  void CenterWindow();
  void Close(UINT nRet = IDOK);
  LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);

 protected:
  virtual LPCWSTR GetWindowClassName() const = 0;
  virtual LPCWSTR GetSuperClassName() const { return nullptr; }
  virtual UINT GetClassStyle() const { return CS_DBLCLKS; }
  virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
  virtual void OnFinalMessage(HWND hWnd);

  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;
};

}  // namespace VantorUI
