// The launcher's skinned message box: caption "提示", a warning icon, one line
// of text, an OK and a close button. Shown modally over its owner; either
// button also asks the owner to close.
#pragma once
#include <windows.h>

#include <string>

#include "WindowImplBase.h"

namespace vekt {

// Results of ShowMessageBox.
constexpr int kMsgBoxOk = 1;
constexpr int kMsgBoxClose = 8;
constexpr int kMsgBoxOther = 0;

// Skin package resource shared by the launcher's windows.
constexpr int kSkinResourceId = 130;

class CustomMsgBox : public VantorUI::WindowImplBase {
 public:
  void SetCloseOwner(bool closeOwner) { m_closeOwner = closeOwner; }

 protected:
  LPCWSTR GetWindowClassName() const override { return L"CustomMsgBoxClass"; }
  std::wstring GetSkinFolder() override { return L""; }
  std::wstring GetSkinFile() override { return L"CustomMsgBox.xml"; }
  VantorUI::UILIB_RESOURCETYPE GetResourceType() const override { return VantorUI::UILIB_ZIPRESOURCE; }
  int GetResourceID() const override { return kSkinResourceId; }
  void InitWindow() override;
  void HandleClick(VantorUI::NotifyRecord& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

 private:
  VantorUI::CControlUI* m_btnClose = nullptr;
  VantorUI::CControlUI* m_btnOk = nullptr;
  bool m_closeOwner = false;
};

// Shows `text` in a box over `owner` and returns when the box is gone:
// kMsgBoxOk, kMsgBoxClose or kMsgBoxOther.
int ShowMessageBox(HWND owner, const std::wstring& text);

}  // namespace vekt
