// The launcher's main window: a skinned toolkit window around the decisions of
// GameLoaderWndCore, which it feeds with its messages and whose steps it carries out.
#pragma once

#include <windows.h>

#include <string>

#include "BridgeRequest.h"
#include "CustomMsgBox.h"
#include "GameLoaderWndCore.h"
#include "HomePageChoice.h"
#include "IeBrowserWin.h"
#include "WebBrowserEventWin.h"
#include "WindowImplBase.h"

namespace vekt {

constexpr const wchar_t* kMainWindowClass = L"GameLoaderResClass";
constexpr const wchar_t* kMainWindowSkinFile = L"GameLoader.xml";
constexpr int kMainIconResourceId = 107;

class GameLoaderWnd : public VantorUI::WindowImplBase {
 public:
  explicit GameLoaderWnd(std::wstring cmdJson, std::wstring homePage = ConfiguredHomePage());
  // Ends the message loop: the window is the launcher's only one.
  ~GameLoaderWnd() override;

  void TopMainWnd();
  // OnBtnCloseClick: every way of closing ends here.
  void OnBtnCloseClick();

 protected:
  LPCWSTR GetWindowClassName() const override { return kMainWindowClass; }
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;
  void InitWindow() override;
  void HandleClick(VantorUI::NotifyRecord& msg) override;
  std::wstring GetSkinFolder() override { return L""; }
  std::wstring GetSkinFile() override { return kMainWindowSkinFile; }
  VantorUI::UILIB_RESOURCETYPE GetResourceType() const override { return VantorUI::UILIB_ZIPRESOURCE; }
  int GetResourceID() const override { return kSkinResourceId; }
  LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  VantorUI::CControlUI* CreateCustomControl(const std::wstring& className) override;

 private:
  // Carries out the core's steps in order; stops when the window went away
  // while one of them (a message box) ran.
  void perform(const WindowReply& reply);
  bool performBox(const WindowAction& action);
  void LoadGame();
  void LoadWeb();
  void OnOpenGame(uintptr_t token);
  bool StartGame(const WindowAction& action);

  GameLoaderWndCore core_;
  DeferredDeletion deletion_;
  // The page's "open_game" texts, waiting for their 1131 (which carries a token).
  browser::RequestTextQueue requests_;
  browser::CWebBrowserEvent* events_ = nullptr;
  CIeBrowserUI* ie_ = nullptr;
  std::wstring m_strHomePage;
  VantorUI::CTabLayoutUI* wizardTab_ = nullptr;
  VantorUI::CProgressUI* progress_ = nullptr;
  VantorUI::CLabelUI* progTip_ = nullptr;
  VantorUI::CControlUI* vLayoutDownload_ = nullptr;

  std::wstring m_strGameExePath;
  std::wstring m_strCmdJson;
  std::wstring m_strGameId;
  std::wstring m_strFileParam;
  std::wstring m_strGameDir;
};

// Creates the hidden main window, centred, and runs the message loop until the
// window has gone.
void RunGameLoaderWnd(const std::wstring& title, const std::wstring& cmdJson);

}  // namespace vekt
