#include "GameLoaderWnd.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <wininet.h>

#include "Common.h"
#include "GameLoader.h"
#include "GameStart.h"
#include "InstallRegistration.h"
#include "Logger.h"
#include "StartUp.h"

namespace vekt {
namespace {

// The option value that keeps cookies for this run only (not in every SDK's headers).
constexpr DWORD kSuppressCookiePersist = 3;

// The bridge's log lines carry the function that handled the request.
void logBridgeLine(const char* line) {
  Logger::instance().write(0, VEKT_SOURCE_FILE, __LINE__, "CallCppFunc", AnsiToWide(line));
}

}  // namespace

using VantorUI::CControlUI;
using VantorUI::CLabelUI;
using VantorUI::CProgressUI;
using VantorUI::CTabLayoutUI;

GameLoaderWnd::GameLoaderWnd(std::wstring cmdJson, std::wstring homePage)
    : m_strHomePage(std::move(homePage)), m_strCmdJson(std::move(cmdJson)) {}

GameLoaderWnd::~GameLoaderWnd() {
  // The browser control keeps its own reference to the sink until it goes.
  if (events_) events_->Release();
  PostQuitMessage(0);
}

LRESULT GameLoaderWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // A message box's loop can dispatch this window's destruction while a
  // handler below still runs: the object then goes when that handler is done.
  deletion_.enterHandler();
  LRESULT result = 0;
  const WindowReply reply = core_.onWindowMessage(uMsg);
  perform(reply);
  if (!reply.handled && !deletion_.isWindowGone()) result = WindowImplBase::HandleMessage(uMsg, wParam, lParam);
  if (deletion_.leaveHandler()) delete this;
  return result;
}

void GameLoaderWnd::OnFinalMessage(HWND) {
  core_.onWindowDestroyed();
  if (deletion_.windowGone()) delete this;
}

void GameLoaderWnd::InitWindow() {
  HICON icon = LoadIconW(GetInstance(), MAKEINTRESOURCEW(kMainIconResourceId));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  ie_ = dynamic_cast<CIeBrowserUI*>(FindControl(L"ie"));
  if (events_) events_->Release();
  events_ = new browser::CWebBrowserEvent(m_hWnd);
  wizardTab_ = dynamic_cast<CTabLayoutUI*>(FindControl(L"wizardTab"));
  progress_ = dynamic_cast<CProgressUI*>(FindControl(L"progress"));
  progTip_ = dynamic_cast<CLabelUI*>(FindControl(L"progTip"));
  vLayoutDownload_ = FindControl(L"vLayoutDownload");
  const std::wstring background = DownloadBackgroundFor(kGameId);
  if (!background.empty() && vLayoutDownload_) vLayoutDownload_->SetAttribute(L"bkimage", background);
  m_strGameDir = GetProgramFilesX86Dir() + L"\\" + kGameId;
  m_strGameId = kGameId;
  m_strGameExePath = GetGameExePath(m_strGameId);

  const LaunchStart start = StartLaunch(m_strCmdJson, m_strGameId);
  core_ = GameLoaderWndCore(start.params);
  if (progress_) core_.setProgressBar(progress_->GetMinValue(), progress_->GetMaxValue(), progress_->GetValue());
  if (start.suppressCookiePersistence) {
    DWORD option = kSuppressCookiePersist;
    InternetSetOptionW(nullptr, INTERNET_OPTION_SUPPRESS_BEHAVIOR, &option, sizeof option);
  }
  m_strFileParam = start.fileParam;
  if (wizardTab_) wizardTab_->SelectItem(0);
  if (start.loadGameAtOnce) {
    LoadGame();
  } else {
    LoadWeb();
  }
}

void GameLoaderWnd::HandleClick(VantorUI::NotifyRecord& msg) {
  perform(core_.onClick(msg.pSender ? msg.pSender->GetName() : std::wstring()));
}

LRESULT GameLoaderWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  const WindowReply reply = core_.onSysCommand(wParam);
  if (!reply.handled) return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
  bHandled = TRUE;
  perform(reply);
  return 0;
}

LRESULT GameLoaderWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM, BOOL& bHandled) {
  const WindowReply reply = core_.onCustomMessage(uMsg, wParam);
  bHandled = reply.handled ? TRUE : FALSE;
  for (const WindowAction& action : reply.actions) {
    if (action.step == WindowStep::kOpenGame) {
      OnOpenGame(wParam);
      return 0;
    }
  }
  perform(reply);
  return 0;
}

void GameLoaderWnd::OnOpenGame(uintptr_t token) {
  // 1131 carries a token of this window's queue; a forged or spent one names no text.
  std::string request;
  if (!requests_.take(token, request)) return;
  perform(core_.onOpenGame(request));
}

CControlUI* GameLoaderWnd::CreateCustomControl(const std::wstring& className) {
  return CreateIeBrowser(className, m_hWnd, requests_, logBridgeLine);
}

void GameLoaderWnd::OnBtnCloseClick() { perform(core_.closeRoutine()); }

void GameLoaderWnd::TopMainWnd() {
  VEKT_LOG(2, L"OnShowMainWnd enter");
  if (IsIconic(m_hWnd)) ::ShowWindow(m_hWnd, SW_RESTORE);
  HWND foreground = GetForegroundWindow();
  const DWORD foregroundThread = GetWindowThreadProcessId(foreground, nullptr);
  const DWORD ownThread = GetCurrentThreadId();
  AttachThreadInput(ownThread, foregroundThread, TRUE);
  SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  AttachThreadInput(ownThread, foregroundThread, FALSE);
}

void GameLoaderWnd::LoadGame() {
  perform(core_.loadGame(m_strGameExePath, PathFileExistsW(m_strGameExePath.c_str()) != FALSE));
}

bool GameLoaderWnd::StartGame(const WindowAction& action) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.lpVerb = L"open";
  info.lpFile = action.text.c_str();
  info.lpParameters = action.caption.c_str();
  info.nShow = SW_SHOWNORMAL;
  const bool started = ShellExecuteExW(&info) != FALSE;
  if (!started) VEKT_LOG(0, L"ShellExecuteExW " << action.text << L" failed:" << GetLastError());
  return started;
}

void GameLoaderWnd::LoadWeb() {
  VEKT_LOG(2, L"GameLoaderWnd LoadWeb");
  if (!ie_) return;
  ie_->SetWebBrowserEventHandler(events_);
  if (IWebBrowser2* browser = ie_->GetWebBrowser2()) {
    browser->put_Silent(VARIANT_TRUE);
    events_->SetTopLevelBrowser(browser);
  }
  VEKT_LOG(2, L"fileparam=" << m_strFileParam);
  const std::wstring address = HomePageAddress(m_strHomePage, m_strFileParam, core_.params());
  ie_->Navigate2(address.c_str());
  // Shown again when the page has loaded (1128).
  ie_->SetVisible(false);
}

bool GameLoaderWnd::performBox(const WindowAction& action) {
  if (action.step == WindowStep::kShowMessageBox) {
    ShowMessageBox(m_hWnd, action.text);
  } else {
    MessageBoxW(m_hWnd, action.text.c_str(), action.caption.c_str(), MB_OK);
  }
  if (deletion_.isWindowGone()) return false;
  perform(core_.onMessageBoxClosed(action.box));
  return !deletion_.isWindowGone();
}

void GameLoaderWnd::perform(const WindowReply& reply) {
  for (const WindowAction& action : reply.actions) {
    if (deletion_.isWindowGone()) return;
    switch (action.step) {
      case WindowStep::kShowBrowser:
        if (ie_) ie_->SetVisible(true);
        break;
      case WindowStep::kShowWindow:
        if (IsWindow(m_hWnd)) ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        break;
      case WindowStep::kTopMainWnd:
        TopMainWnd();
        break;
      case WindowStep::kMinimise:
        ::ShowWindow(m_hWnd, SW_MINIMIZE);
        break;
      case WindowStep::kDragByCaption:
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, kSysCommandMoveByCaption, 0);
        break;
      case WindowStep::kOpenGame:  // taken by HandleCustomMessage with the request text
        break;
      case WindowStep::kRegisterUninstall:
        RegisterUninstall(m_strGameDir, core_.params().source);
        break;
      case WindowStep::kRefreshGameExePath:
        m_strGameExePath = GetGameExePath(m_strGameId);
        break;
      case WindowStep::kSetProgressTip:
        if (progTip_) progTip_->SetText(action.text);
        break;
      case WindowStep::kSetProgress:
        if (progress_) progress_->SetValue(action.value);
        break;
      case WindowStep::kLoadGame:
        LoadGame();
        break;
      case WindowStep::kHideWindow:
        if (IsWindow(m_hWnd)) ::ShowWindow(m_hWnd, SW_HIDE);
        break;
      case WindowStep::kStartGame:
        perform(core_.onGameStartResult(StartGame(action)));
        break;
      case WindowStep::kPostStartFailed:
        PostWindowMessage(action.target, WM_GM_START_FAILED, 0, 0);
        break;
      case WindowStep::kShowMessageBox:
      case WindowStep::kShowSystemBox:
        if (!performBox(action)) return;
        break;
      case WindowStep::kRunCleanupAndWait:
        RunGameProcessCleanupAndWait();
        break;
      case WindowStep::kSendExitNotice:
        SendGameExitNotice(action.target);
        break;
      case WindowStep::kPostClose:
        if (IsWindow(m_hWnd)) ::PostMessageW(m_hWnd, WM_CLOSE, 1, 0);
        break;
    }
  }
}

void RunGameLoaderWnd(const std::wstring& title, const std::wstring& cmdJson) {
  GameLoaderWnd* window = new GameLoaderWnd(cmdJson);
  // Created without the visible bit of its style: an empty window would
  // otherwise flash up before the page has loaded.
  HWND hwnd = window->Create(nullptr, title.c_str(), kMainWindowStyle & ~WS_VISIBLE, 0, 0, 0, 0, 0);
  // Without its window the launcher could never be closed: end as for a broken skin.
  if (!hwnd) VantorUI::ReportSkinLoadFailure(kMainWindowSkinFile);
  window->CenterWindow();
  if (IsWindow(hwnd)) ::ShowWindow(hwnd, SW_HIDE);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!VantorUI::CManagerUI::TranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

}  // namespace vekt
