#include "CustomMsgBox.h"

#include <memory>

namespace vekt {

void CustomMsgBox::InitWindow() {
  m_btnClose = FindControl(L"btnClose");
  m_btnOk = FindControl(L"btnOk");
}

LRESULT CustomMsgBox::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // A double click on the caption area must neither maximise nor restore.
  if (uMsg == WM_NCLBUTTONDBLCLK) return 0;
  return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void CustomMsgBox::HandleClick(VantorUI::NotifyRecord& msg) {
  if (!msg.pSender) return;
  HWND box = m_hWnd;
  HWND owner = box ? GetWindow(box, GW_OWNER) : nullptr;
  if (msg.pSender == m_btnClose && m_btnClose) {
    if (IsWindow(box)) ::PostMessageW(box, WM_CLOSE, kMsgBoxClose, 0);
    if (owner) ::PostMessageW(owner, WM_CLOSE, 0, 0);
  } else if (msg.pSender == m_btnOk && m_btnOk) {
    if (IsWindow(box)) ::PostMessageW(box, WM_CLOSE, kMsgBoxOk, 0);
    if (m_closeOwner && owner) ::PostMessageW(owner, WM_CLOSE, 0, 0);
  }
}

int ShowMessageBox(HWND owner, const std::wstring& text) {
  auto box = std::make_unique<CustomMsgBox>();
  box->SetCloseOwner(true);
  // The nested loop may see the box destroyed: keep our own copy of its handle.
  const HWND hBox = box->Create(owner, L"CustomMsgBox", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0);
  if (!hBox) return kMsgBoxOther;
  if (!text.empty()) {
    if (VantorUI::CControlUI* tip = box->FindControl(L"labelTip")) tip->SetText(text);
  }
  box->CenterWindow();
  ::ShowWindow(hBox, SW_SHOWNORMAL);
  if (owner) {
    EnableWindow(owner, FALSE);
    ::SendMessageW(owner, VantorUI::WM_UI_REGISTER_MODAL, 0, reinterpret_cast<LPARAM>(hBox));
  }

  int result = kMsgBoxOther;
  bool quit = false;
  WPARAM quitCode = 0;
  MSG msg{};
  while (IsWindow(hBox)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      quit = got == 0;
      quitCode = msg.wParam;
      break;
    }
    if (msg.message == WM_CLOSE && msg.hwnd == hBox) {
      result = static_cast<int>(msg.wParam);
      if (owner) {
        EnableWindow(owner, TRUE);
        SetFocus(owner);
      }
    }
    if (!VantorUI::CManagerUI::TranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (owner && IsWindow(owner)) {
    EnableWindow(owner, TRUE);
    SetFocus(owner);
  }
  if (IsWindow(hBox)) DestroyWindow(hBox);
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
  return result;
}

}  // namespace vekt
