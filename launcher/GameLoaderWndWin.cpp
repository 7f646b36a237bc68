#include "GameLoaderWnd.h"

#include <wininet.h>

#include <memory>

#include "Common.h"
#include "GameLoader.h"
#include "InstallRegistration.h"
#include "Logger.h"
#include "StartUp.h"

namespace vekt {
namespace {

// The option value that keeps cookies for this run only (not in every SDK's headers).
constexpr DWORD kSuppressCookiePersist = 3;

}  // namespace

using VantorUI::CControlUI;
using VantorUI::CLabelUI;
using VantorUI::CProgressUI;
using VantorUI::CTabLayoutUI;

GameLoaderWnd::GameLoaderWnd(std::wstring cmdJson) : m_strCmdJson(std::move(cmdJson)) {}

GameLoaderWnd::~GameLoaderWnd() { PostQuitMessage(0); }

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
  // The browser event sink comes with the web browser control.
  ie_ = FindControl(L"ie");
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
  // The page's request text belongs to this window from the moment it is posted.
  std::unique_ptr<std::string> request;
  if (uMsg == WM_GL_OPEN_GAME) request.reset(reinterpret_cast<std::string*>(wParam));
  const WindowReply reply = core_.onCustomMessage(uMsg, wParam);
  bHandled = reply.handled ? TRUE : FALSE;
  for (const WindowAction& action : reply.actions) {
    if (action.step == WindowStep::kOpenGame) {
      perform(core_.onOpenGame(request ? *request : std::string()));
      return 0;
    }
  }
  perform(reply);
  return 0;
}

CControlUI* GameLoaderWnd::CreateCustomControl(const std::wstring&) {
  // "IeBrowser" is answered by the web browser control once it exists.
  return nullptr;
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
  // Starting the game comes with the web page's bridge; until then this says what it would do.
  VEKT_LOG(2, L"GameLoaderWnd LoadGame start");
  VEKT_LOG(2, L"GameLoaderWnd LoadGame would start:" << m_strGameExePath << L" token:" << core_.params().token);
}

void GameLoaderWnd::LoadWeb() {
  VEKT_LOG(2, L"GameLoaderWnd LoadWeb");
  VEKT_LOG(2, L"GameLoaderWnd LoadWeb would open the home page, fileparam=" << m_strFileParam);
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
