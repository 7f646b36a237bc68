#include "GameLoaderWndCore.h"

#include <json/json.h>

#include "Common.h"
#include "GameStart.h"
#include "InstallRegistration.h"
#include "Logger.h"

namespace vekt {
namespace {

WindowAction act(WindowStep step) { return WindowAction{step, {}, {}, 0, BoxPurpose::kNone, 0}; }

WindowAction withText(WindowStep step, const wchar_t* text, BoxPurpose purpose = BoxPurpose::kNone,
                      const wchar_t* caption = L"") {
  return WindowAction{step, text, caption, 0, purpose, 0};
}

WindowReply handled(std::vector<WindowAction> actions = {}) { return WindowReply{true, std::move(actions)}; }

// A string member of the request replaces the old value; other types leave it.
void takeString(const Json::Value& root, const char* key, std::wstring& target) {
  const Json::Value* member = root.find(key, key + std::char_traits<char>::length(key));
  if (member && member->isString()) target = AnsiToWide(member->asString());
}

}  // namespace

GameLoaderWndCore::GameLoaderWndCore(LaunchParams params) : params_(std::move(params)) {}

void GameLoaderWndCore::setProgressBar(int32_t minimum, int32_t maximum, int32_t value) {
  progressMin_ = minimum;
  progressMax_ = maximum;
  progressValue_ = value;
}

WindowReply GameLoaderWndCore::onWindowMessage(uint32_t message) {
  if (destroyed_) return WindowReply();
  if (message == kMessageCaptionDoubleClick) return handled();  // never maximise
  WindowReply reply;
  if (message == kMessageClose) addNoticeIfOwed(reply.actions);
  return reply;
}

WindowReply GameLoaderWndCore::onSysCommand(uintptr_t command) {
  // The low four bits of a system command are the system's own.
  if (destroyed_ || (command & 0xFFF0u) != kSysCommandClose) return WindowReply();
  VEKT_LOG(2, kLogTaskbarClose);
  WindowReply reply = closeRoutine();
  reply.handled = true;
  return reply;
}

WindowReply GameLoaderWndCore::onClick(const std::wstring& controlName) {
  if (destroyed_) return WindowReply();
  if (controlName == L"btnClose") return closeRoutine();
  if (controlName == L"btnMin") return handled({act(WindowStep::kMinimise)});
  return WindowReply();
}

WindowReply GameLoaderWndCore::onCustomMessage(uint32_t message, uintptr_t wParam) {
  if (message < WM_GL_PAGE_LOADED || message > WM_GL_PAGE_ERROR) return WindowReply();
  if (destroyed_) return handled();
  switch (message) {
    case WM_GL_PAGE_LOADED:
      if (params_.token == L"1") return handled({act(WindowStep::kShowBrowser)});
      return handled({act(WindowStep::kShowBrowser), act(WindowStep::kShowWindow), act(WindowStep::kTopMainWnd)});
    case WM_GL_MINIMIZE:
      return handled({act(WindowStep::kMinimise)});
    case WM_GL_CLOSE:
      return closeRoutine();
    case WM_GL_OPEN_GAME:
      return handled({act(WindowStep::kOpenGame)});
    case WM_GL_DRAG:
      return handled({act(WindowStep::kDragByCaption)});
    case WM_GL_ACTIVATE:
      return handled({act(WindowStep::kTopMainWnd)});
    case WM_GL_UNPACK_DONE:
      if (wParam != 0) {
        return handled({withText(WindowStep::kShowMessageBox, kBoxUnpackFailed, BoxPurpose::kUnpackFailed)});
      }
      return handled({act(WindowStep::kRegisterUninstall), act(WindowStep::kRefreshGameExePath),
                      withText(WindowStep::kSetProgressTip, kTipStartingGame), act(WindowStep::kLoadGame)});
    case WM_GL_DOWNLOAD_END:
      if (wParam != 0) {
        return handled({withText(WindowStep::kShowMessageBox, kBoxNetworkFailed, BoxPurpose::kNetworkFailed)});
      }
      return handled({act(WindowStep::kRunCleanupAndWait)});
    case WM_GL_PROGRESS:
      return handled(progress(wParam));
    default:  // WM_GL_PAGE_ERROR
      return handled(
          {withText(WindowStep::kShowSystemBox, kBoxPageError, BoxPurpose::kPageError, kBoxPageErrorCaption)});
  }
}

std::vector<WindowAction> GameLoaderWndCore::progress(uintptr_t wParam) {
  std::vector<WindowAction> actions;
  const int32_t before = progressValue_;
  // Read as the sender's signed value: -1 posted from a 32-bit program is no
  // huge percentage but out of range like any other negative value.
  const int64_t value = static_cast<int64_t>(static_cast<intptr_t>(wParam));
  if (value != before && value >= progressMin_ && value <= progressMax_) {
    progressValue_ = static_cast<int32_t>(value);
    WindowAction set = act(WindowStep::kSetProgress);
    set.value = progressValue_;
    actions.push_back(set);
  }
  if (before == kProgressReleasing) {
    actions.push_back(withText(WindowStep::kSetProgressTip, kTipReleasingFiles));
  }
  return actions;
}

WindowReply GameLoaderWndCore::onOpenGame(const std::string& request) {
  if (destroyed_) return handled();
  Json::Value root;
  if (!ParseJsonText(request, root)) {
    VEKT_LOG(0, L"reader.parse:" << AnsiToWide(request) << L" false");
    return handled();
  }
  if (root.isObject()) {
    takeString(root, "token", params_.token);
    takeString(root, "ocext", params_.ocext);
  }
  return handled({act(WindowStep::kLoadGame)});
}

WindowReply GameLoaderWndCore::loadGame(const std::wstring& gameExePath, bool exeExists) {
  if (destroyed_) return handled();
  VEKT_LOG(2, L"GameLoaderWnd LoadGame start");
  if (gameStartAttempted_) {
    VEKT_LOG(2, L"GameLoaderWnd LoadGame: the game was started already");
    return handled();
  }
  if (params_.token.empty()) return handled();
  gameStartAttempted_ = true;
  if (!exeExists) {
    VEKT_LOG(2, L"PathFileExists " << gameExePath << L" not exists");
    return onGameStartResult(false);
  }
  WindowAction start = act(WindowStep::kStartGame);
  start.text = gameExePath;
  start.caption = GameParameters(params_);
  return handled({act(WindowStep::kHideWindow), start});
}

WindowReply GameLoaderWndCore::onGameStartResult(bool started) {
  WindowReply reply = handled();
  if (destroyed_) return reply;
  // A running game reports its own end through the game-exit launch: the
  // close that follows its start owes the platform client no notice.
  if (started) gameStarted_ = true;
  if (!started) {
    WindowAction failed = act(WindowStep::kPostStartFailed);
    failed.target = WindowHandleFromDecimal(params_.gameMgrId);
    reply.actions.push_back(failed);
  }
  if (!closePosted_) {
    closePosted_ = true;
    reply.actions.push_back(act(WindowStep::kPostClose));
  }
  return reply;
}

WindowReply GameLoaderWndCore::onMessageBoxClosed(BoxPurpose purpose) {
  // Every box of the window reports a failure after which the launcher quits:
  // through the close routine, so the platform client hears of it.
  if (destroyed_ || purpose == BoxPurpose::kNone) return handled();
  return closeRoutine();
}

WindowReply GameLoaderWndCore::closeRoutine() {
  WindowReply reply = handled();
  if (destroyed_) return reply;
  addNoticeIfOwed(reply.actions);
  if (!closePosted_) {
    closePosted_ = true;
    reply.actions.push_back(act(WindowStep::kPostClose));
  }
  return reply;
}

void GameLoaderWndCore::addNoticeIfOwed(std::vector<WindowAction>& actions) {
  if (noticeSent_ || gameStarted_ || params_.source != L"OC" || params_.winid.empty()) return;
  noticeSent_ = true;
  VEKT_LOG(2, L"GameLoaderWnd close wnd");
  WindowAction notice = act(WindowStep::kSendExitNotice);
  notice.target = WindowHandleFromDecimal(params_.winid);
  actions.push_back(notice);
}

LaunchStart StartLaunch(const std::wstring& cmdJson, const std::wstring& gameId) {
  LaunchStart start;
  ParseCmdJson(cmdJson, start.params);
  // The game-exit launch that follows the game's end finds the platform
  // client's window only through this record.
  if (!start.params.winid.empty()) RecordPlatformWindow(start.params.winid);
  PostLauncherReady(start.params);
  RecordLoginSource(start.params.source);
  VEKT_LOG(2, L"m_nGameInstalled is " << start.params.installed);
  start.suppressCookiePersistence = start.params.installed == 1;
  start.fileParam = GetBagFileParam(gameId);
  VEKT_LOG(2, L"GetBagFileParam fileparam=" << start.fileParam);
  start.loadGameAtOnce = start.params.tokenLogin == L"1";
  return start;
}

std::wstring GameExePathFrom(const std::wstring& installDir, const std::wstring& moduleDir,
                             const std::wstring& gameId) {
  return (installDir.empty() ? moduleDir + L"\\" : installDir) + gameId + L".exe";
}

std::wstring GetGameExePath(const std::wstring& gameId) {
  return GameExePathFrom(GetInstallDir(gameId), GetModuleDir(), gameId);
}

std::wstring DownloadBackgroundFor(const std::wstring& gameId) {
  if (gameId == L"fai" || gameId == L"rusa" || gameId == L"pnol") return gameId + L"_download_bk.jpg";
  return std::wstring();
}

}  // namespace vekt
