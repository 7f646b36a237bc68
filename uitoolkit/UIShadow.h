// Drop shadow of a skinned window: a click-through layered window behind the
// window's edges, drawn from a nine-grid image and moved, shown and hidden
// with its owner.
#pragma once
#include <windows.h>

#include <memory>

#include "UIImage.h"

namespace VantorUI {

class CManagerUI;

constexpr const wchar_t* kShadowWindowClass = L"VantorShadowWnd";

class CShadowUI {
 public:
  enum State : unsigned { kEnabled = 1, kShown = 2, kOwnerVisible = 4 };

  CShadowUI() = default;
  virtual ~CShadowUI();
  CShadowUI(const CShadowUI&) = delete;
  CShadowUI& operator=(const CShadowUI&) = delete;

  // Does nothing unless the manager's layout asks for a shadow.
  void Create(CManagerUI* manager);
  HWND GetHWND() const { return m_hWnd; }
  unsigned GetState() const { return m_state; }

  // The shadow's pixels for an owner of the given size: the image as a
  // nine-grid around it, transparent where the owner lies. Null without image.
  std::unique_ptr<CBitmapUI> Render(int ownerWidth, int ownerHeight) const;

 private:
  static LRESULT CALLBACK OwnerHook(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  void onOwnerMessage(HWND owner, UINT uMsg, WPARAM wParam, LPARAM lParam);
  void update(HWND owner);
  void moveWithOwner(HWND owner);

  CManagerUI* m_manager = nullptr;
  HWND m_owner = nullptr;
  HWND m_hWnd = nullptr;
  unsigned m_state = 0;
  bool m_redrawPending = false;
  LPARAM m_lastSize = 0;
};

}  // namespace VantorUI
