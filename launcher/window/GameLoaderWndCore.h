// The main window's decisions, kept apart from the window: fed with the
// messages the window receives, it answers with the steps that the window
// carries out in order. The window itself stays a thin shell around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LaunchParams.h"
#include "PlatformLink.h"
#include "WindowMessages.h"

namespace vekt {

constexpr const wchar_t* kTipStartingGame = L"正在启动游戏";
constexpr const wchar_t* kTipReleasingFiles = L"正在释放文件";
constexpr const wchar_t* kBoxUnpackFailed = L"释放文件出错";
constexpr const wchar_t* kBoxNetworkFailed = L"网络异常";
constexpr const wchar_t* kBoxPageError = L"网络连接异常";
constexpr const wchar_t* kBoxPageErrorCaption = L"提示";
constexpr const wchar_t* kLogTaskbarClose = L"点击任务栏关闭窗口";
constexpr int32_t kProgressReleasing = 100;

// Why a message box is up; its closing is reported back with the same value.
enum class BoxPurpose { kNone, kUnpackFailed, kNetworkFailed, kPageError };

enum class WindowStep {
  kShowBrowser,         // make the browser control visible
  kShowWindow,          // SW_SHOWNORMAL
  kTopMainWnd,          // bring the window to the front
  kMinimise,            // SW_MINIMIZE
  kDragByCaption,       // WM_SYSCOMMAND with move-by-caption
  kOpenGame,            // hand the page's request text to onOpenGame
  kRegisterUninstall,   // uninstall key and desktop shortcut
  kRefreshGameExePath,  // m_strGameExePath from the registry again
  kSetProgressTip,      // "progTip" shows text
  kSetProgress,         // the bar takes value and repaints
  kLoadGame,            // the window checks the game executable, then calls loadGame
  kHideWindow,          // SW_HIDE, if the window exists
  kStartGame,  // ShellExecuteExW "open" text (the executable) with caption (its parameters); then onGameStartResult
  kPostStartFailed,    // 1347 to target (the game manager)
  kShowMessageBox,     // the launcher's box with text; then onMessageBoxClosed(box)
  kShowSystemBox,      // the system's box with text, caption and OK; then onMessageBoxClosed(box)
  kRunCleanupAndWait,  // end game processes on a worker, the window waiting
  kSendExitNotice,     // GameExitNotice to target
  kPostClose,          // WM_CLOSE with wParam 1 to the window, if it exists
};

struct WindowAction {
  WindowStep step;
  std::wstring text;
  std::wstring caption;
  int32_t value = 0;
  BoxPurpose box = BoxPurpose::kNone;
  WindowHandle target = 0;

  bool operator==(const WindowAction& other) const {
    return step == other.step && text == other.text && caption == other.caption && value == other.value &&
           box == other.box && target == other.target;
  }
};

struct WindowReply {
  // False: the message goes on to the toolkit or the previous window procedure.
  bool handled = false;
  std::vector<WindowAction> actions;
};

class GameLoaderWndCore {
 public:
  explicit GameLoaderWndCore(LaunchParams params = LaunchParams());

  // The progress bar's range and value as the skin gives them.
  void setProgressBar(int32_t minimum, int32_t maximum, int32_t value);
  int32_t progressValue() const { return progressValue_; }
  const LaunchParams& params() const { return params_; }
  bool noticeSent() const { return noticeSent_; }

  // Every message before the toolkit sees it: a caption double click is
  // swallowed; a WM_CLOSE from anywhere (the message box's buttons post one)
  // first sends the exit notice that is still owed.
  WindowReply onWindowMessage(uint32_t message);
  WindowReply onSysCommand(uintptr_t command);
  WindowReply onClick(const std::wstring& controlName);
  // Messages 1128 to 1137; anything else is not handled.
  WindowReply onCustomMessage(uint32_t message, uintptr_t wParam);
  // The page's request to start the game (ANSI JSON text): token and ocext.
  WindowReply onOpenGame(const std::string& request);
  // LoadGame with the executable's path and whether it exists. The game is
  // started at most once per process: a second request (two queued 1131, a
  // late 1134) does nothing. Without a token nothing starts and the page stays.
  WindowReply loadGame(const std::wstring& gameExePath, bool exeExists);
  // The start (kStartGame) has been tried: on failure the game manager hears of
  // it; the window closes, with the exit notice only when no game started.
  WindowReply onGameStartResult(bool started);
  bool gameStartAttempted() const { return gameStartAttempted_; }
  WindowReply onMessageBoxClosed(BoxPurpose box);
  // OnBtnCloseClick: the exit notice (once per process), then WM_CLOSE.
  WindowReply closeRoutine();
  // The window is gone: nothing is done to it any more.
  void onWindowDestroyed() { destroyed_ = true; }

 private:
  void addNoticeIfOwed(std::vector<WindowAction>& actions);
  std::vector<WindowAction> progress(uintptr_t wParam);

  LaunchParams params_;
  int32_t progressMin_ = 0;
  int32_t progressMax_ = 100;
  int32_t progressValue_ = 0;
  bool noticeSent_ = false;
  bool closePosted_ = false;
  bool gameStarted_ = false;
  bool gameStartAttempted_ = false;
  bool destroyed_ = false;
};

// The window object deletes itself once its window is gone. A handler that runs
// a nested message loop (a message box) can outlive the window; the deletion
// then waits until the outermost handler has returned.
class DeferredDeletion {
 public:
  void enterHandler() { ++depth_; }
  // True when the object must be deleted now.
  bool leaveHandler() { return --depth_ == 0 && gone_; }
  // The window is gone; true when the object can be deleted at once.
  bool windowGone() {
    gone_ = true;
    return depth_ == 0;
  }
  bool isWindowGone() const { return gone_; }

 private:
  int depth_ = 0;
  bool gone_ = false;
};

// The launch as the window starts it: the parameters parsed from the JSON
// text, the platform window and the source recorded in setting.xml, the game
// manager told that the launcher is up, and the install package parameter.
struct LaunchStart {
  LaunchParams params;
  std::wstring fileParam;
  bool suppressCookiePersistence = false;  // the game is installed
  bool loadGameAtOnce = false;             // tokenLogin "1": no web page
};
LaunchStart StartLaunch(const std::wstring& cmdJson, const std::wstring& gameId);

// The game executable: the install directory from the uninstall key, else the
// launcher's own directory, then gameId ".exe".
std::wstring GameExePathFrom(const std::wstring& installDir, const std::wstring& moduleDir, const std::wstring& gameId);
std::wstring GetGameExePath(const std::wstring& gameId);

// The download page's background for a game id; empty keeps the layout's.
std::wstring DownloadBackgroundFor(const std::wstring& gameId);

}  // namespace vekt
