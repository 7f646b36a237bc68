// The main window's decisions: every message it acts on with each class of
// parameter, the close routine and its exit notice, the start of a launch.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "Common.h"
#include "GameLoaderWndCore.h"
#include "InstallRegistration.h"
#include "PlatformLinkHost.h"
#include "GameLoaderTestSupport.h"

using namespace vekt;

namespace {

constexpr uintptr_t kAllBits = std::numeric_limits<uintptr_t>::max();  // -1 from the sender

WindowAction step(WindowStep s) { return WindowAction{s, {}, {}, 0, BoxPurpose::kNone, 0}; }
WindowAction text(WindowStep s, const wchar_t* t) { return WindowAction{s, t, {}, 0, BoxPurpose::kNone, 0}; }
WindowAction box(const wchar_t* t, BoxPurpose purpose) {
  return WindowAction{WindowStep::kShowMessageBox, t, {}, 0, purpose, 0};
}
WindowAction progress(int32_t value) {
  return WindowAction{WindowStep::kSetProgress, {}, {}, value, BoxPurpose::kNone, 0};
}
WindowAction notice(WindowHandle target) {
  return WindowAction{WindowStep::kSendExitNotice, {}, {}, 0, BoxPurpose::kNone, target};
}
const WindowAction kClose = step(WindowStep::kPostClose);

enum class Launch { kPlatform, kPlatformNoWinid, kWeb, kTokenOne };

LaunchParams paramsOf(Launch launch) {
  LaunchParams p;
  p.token = L"abc";
  switch (launch) {
    case Launch::kPlatform:
      p.source = L"OC";
      p.winid = L"1234";
      break;
    case Launch::kPlatformNoWinid:
      p.source = L"OC";
      break;
    case Launch::kWeb:
      p.source = L"web";
      p.winid = L"1234";
      break;
    case Launch::kTokenOne:
      p.token = L"1";
      break;
  }
  return p;
}

std::string describe(const std::vector<WindowAction>& actions) {
  std::string out;
  for (const WindowAction& a : actions) {
    out += "[" + std::to_string(static_cast<int>(a.step)) + " " + WideToMulti(a.text, kCodePageUtf8) + " " +
           std::to_string(a.value) + " " + std::to_string(static_cast<int>(a.box)) + " " + std::to_string(a.target) +
           "]";
  }
  return out;
}

#define EXPECT_ACTIONS(got, expected) EXPECT_EQ(describe(got), describe(expected))

TEST(GameLoaderWndCore, EveryCustomMessageWithEachParameterClass) {
  struct Case {
    const char* what;
    Launch launch;
    int32_t barBefore;
    uint32_t message;
    uintptr_t wParam;
    bool handled;
    std::vector<WindowAction> actions;
  };
  const std::vector<WindowAction> released = {
      step(WindowStep::kRegisterUninstall), step(WindowStep::kRefreshGameExePath),
      text(WindowStep::kSetProgressTip, kTipStartingGame), step(WindowStep::kLoadGame)};
  const std::vector<WindowAction> shown = {step(WindowStep::kShowBrowser), step(WindowStep::kShowWindow),
                                           step(WindowStep::kTopMainWnd)};
  const WindowAction releasing = text(WindowStep::kSetProgressTip, kTipReleasingFiles);
  const WindowAction pageError{
      WindowStep::kShowSystemBox, kBoxPageError, kBoxPageErrorCaption, 0, BoxPurpose::kPageError, 0};
  const Case cases[] = {
      {"below the range", Launch::kPlatform, 0, 1127, 0, false, {}},
      {"above the range", Launch::kPlatform, 0, 1138, 0, false, {}},
      {"page loaded", Launch::kPlatform, 0, 1128, 0, true, shown},
      {"page loaded, wParam ignored", Launch::kWeb, 0, 1128, 9, true, shown},
      {"page loaded, token 1 stays hidden", Launch::kTokenOne, 0, 1128, 0, true, {step(WindowStep::kShowBrowser)}},
      {"minimise", Launch::kPlatform, 0, 1129, 0, true, {step(WindowStep::kMinimise)}},
      {"close, platform launch", Launch::kPlatform, 0, 1130, 0, true, {notice(1234), kClose}},
      {"close, platform launch without winid", Launch::kPlatformNoWinid, 0, 1130, 0, true, {kClose}},
      {"close, other source", Launch::kWeb, 0, 1130, 0, true, {kClose}},
      {"open game", Launch::kPlatform, 0, 1131, 0x1000, true, {step(WindowStep::kOpenGame)}},
      {"drag", Launch::kPlatform, 0, 1132, 0, true, {step(WindowStep::kDragByCaption)}},
      {"second instance", Launch::kPlatform, 0, 1133, 0, true, {step(WindowStep::kTopMainWnd)}},
      {"files released", Launch::kPlatform, 0, 1134, 0, true, released},
      {"release failed", Launch::kPlatform, 0, 1134, 1, true, {box(kBoxUnpackFailed, BoxPurpose::kUnpackFailed)}},
      {"release failed, all bits",
       Launch::kWeb,
       0,
       1134,
       kAllBits,
       true,
       {box(kBoxUnpackFailed, BoxPurpose::kUnpackFailed)}},
      {"end game processes", Launch::kPlatform, 0, 1135, 0, true, {step(WindowStep::kRunCleanupAndWait)}},
      {"network failure", Launch::kPlatform, 0, 1135, 2, true, {box(kBoxNetworkFailed, BoxPurpose::kNetworkFailed)}},
      {"progress in range", Launch::kPlatform, 0, 1136, 37, true, {progress(37)}},
      {"progress unchanged", Launch::kPlatform, 37, 1136, 37, true, {}},
      {"progress to the minimum", Launch::kPlatform, 37, 1136, 0, true, {progress(0)}},
      {"progress to the maximum", Launch::kPlatform, 37, 1136, 100, true, {progress(100)}},
      {"progress above the maximum", Launch::kPlatform, 37, 1136, 150, true, {}},
      {"progress negative", Launch::kPlatform, 37, 1136, kAllBits, true, {}},
      {"progress past 32 bits", Launch::kPlatform, 37, 1136, static_cast<uintptr_t>(INTPTR_MAX), true, {}},
      {"progress 100 again: releasing", Launch::kPlatform, 100, 1136, 100, true, {releasing}},
      {"progress after 100", Launch::kPlatform, 100, 1136, 37, true, {progress(37), releasing}},
      {"out of range after 100", Launch::kPlatform, 100, 1136, 150, true, {releasing}},
      {"page error", Launch::kPlatform, 0, 1137, 0, true, {pageError}},
      {"page error, wParam ignored", Launch::kWeb, 0, 1137, 3, true, {pageError}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GameLoaderWndCore core(paramsOf(c.launch));
    core.setProgressBar(0, 100, c.barBefore);
    const WindowReply reply = core.onCustomMessage(c.message, c.wParam);
    EXPECT_EQ(reply.handled, c.handled);
    EXPECT_ACTIONS(reply.actions, c.actions);
  }
}

TEST(GameLoaderWndCore, ProgressSequenceAsTheGameManagerSendsIt) {
  GameLoaderWndCore core(paramsOf(Launch::kPlatform));
  core.setProgressBar(0, 100, 0);
  struct Step {
    uintptr_t wParam;
    int32_t value;
    bool releasingTip;
  } steps[] = {{37, 37, false}, {37, 37, false}, {150, 37, false}, {100, 100, false}, {100, 100, true}};
  for (const Step& s : steps) {
    const WindowReply reply = core.onCustomMessage(WM_GL_PROGRESS, s.wParam);
    EXPECT_EQ(core.progressValue(), s.value);
    EXPECT_EQ(!reply.actions.empty() && reply.actions.back().step == WindowStep::kSetProgressTip, s.releasingTip);
  }
}

TEST(GameLoaderWndCore, SystemCommandsAndClicks) {
  struct Case {
    const char* what;
    bool sysCommand;
    uintptr_t command;
    const wchar_t* control;
    bool handled;
    std::vector<WindowAction> actions;
  } cases[] = {
      {"taskbar close", true, 0xF060, nullptr, true, {notice(1234), kClose}},
      {"taskbar close, low bits set", true, 0xF063, nullptr, true, {notice(1234), kClose}},
      {"minimise command", true, 0xF020, nullptr, false, {}},
      {"maximise command", true, 0xF030, nullptr, false, {}},
      {"move by caption", true, 0xF012, nullptr, false, {}},
      {"close button", false, 0, L"btnClose", true, {notice(1234), kClose}},
      {"minimise button", false, 0, L"btnMin", true, {step(WindowStep::kMinimise)}},
      {"other control", false, 0, L"progress", false, {}},
      {"case matters", false, 0, L"btnclose", false, {}},
      {"no name", false, 0, L"", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    GameLoaderWndCore core(paramsOf(Launch::kPlatform));
    const WindowReply reply = c.sysCommand ? core.onSysCommand(c.command) : core.onClick(c.control);
    EXPECT_EQ(reply.handled, c.handled);
    EXPECT_ACTIONS(reply.actions, c.actions);
  }
  const size_t before = gltest::logText().size();
  GameLoaderWndCore core(paramsOf(Launch::kWeb));
  core.onSysCommand(0xF060);
  EXPECT_NE(gltest::logText().find("GameLoaderWndCore::onSysCommand] : ", before), std::string::npos);
}

TEST(GameLoaderWndCore, GeneralMessageHook) {
  GameLoaderWndCore core(paramsOf(Launch::kPlatform));
  const WindowReply doubleClick = core.onWindowMessage(kMessageCaptionDoubleClick);
  EXPECT_TRUE(doubleClick.handled);
  EXPECT_TRUE(doubleClick.actions.empty());
  EXPECT_FALSE(core.onWindowMessage(0x000F).handled);  // WM_PAINT goes on
  EXPECT_FALSE(core.onWindowMessage(WM_GL_PROGRESS).handled);

  // A WM_CLOSE that did not come through the close routine (a message box's
  // button posts one) still sends the notice, once, and goes on.
  const WindowReply close = core.onWindowMessage(kMessageClose);
  EXPECT_FALSE(close.handled);
  EXPECT_ACTIONS(close.actions, std::vector<WindowAction>{notice(1234)});
  EXPECT_TRUE(core.onWindowMessage(kMessageClose).actions.empty());
  EXPECT_ACTIONS(core.closeRoutine().actions, std::vector<WindowAction>{kClose});
}

TEST(GameLoaderWndCore, NoticeAtMostOnceAndOneClose) {
  GameLoaderWndCore core(paramsOf(Launch::kPlatform));
  EXPECT_ACTIONS(core.onClick(L"btnClose").actions, (std::vector<WindowAction>{notice(1234), kClose}));
  EXPECT_TRUE(core.noticeSent());
  EXPECT_TRUE(core.onSysCommand(0xF060).actions.empty());
  EXPECT_TRUE(core.onCustomMessage(WM_GL_CLOSE, 0).actions.empty());
  EXPECT_TRUE(core.onWindowMessage(kMessageClose).actions.empty());
}

TEST(GameLoaderWndCore, EveryBoxEndsThroughTheCloseRoutine) {
  struct Case {
    uint32_t message;
    uintptr_t wParam;
  } cases[] = {{WM_GL_UNPACK_DONE, 1}, {WM_GL_DOWNLOAD_END, 1}, {WM_GL_PAGE_ERROR, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    // Dismissed: the box returns and the close routine runs.
    GameLoaderWndCore core(paramsOf(Launch::kPlatform));
    const BoxPurpose purpose = core.onCustomMessage(c.message, c.wParam).actions.at(0).box;
    EXPECT_ACTIONS(core.onMessageBoxClosed(purpose).actions, (std::vector<WindowAction>{notice(1234), kClose}));

    // The box's button posts WM_CLOSE to the window, seen inside the box's loop
    // before the box returns: one notice, one close.
    GameLoaderWndCore nested(paramsOf(Launch::kPlatform));
    nested.onCustomMessage(c.message, c.wParam);
    EXPECT_ACTIONS(nested.onWindowMessage(kMessageClose).actions, std::vector<WindowAction>{notice(1234)});
    EXPECT_ACTIONS(nested.onMessageBoxClosed(purpose).actions, std::vector<WindowAction>{kClose});

    // The window went while the box was up: nothing is done to it afterwards.
    GameLoaderWndCore gone(paramsOf(Launch::kPlatform));
    gone.onCustomMessage(c.message, c.wParam);
    gone.onWindowMessage(kMessageClose);
    gone.onWindowDestroyed();
    EXPECT_TRUE(gone.onMessageBoxClosed(purpose).actions.empty());
  }
  GameLoaderWndCore core(paramsOf(Launch::kPlatform));
  EXPECT_TRUE(core.onMessageBoxClosed(BoxPurpose::kNone).actions.empty());
}

TEST(GameLoaderWndCore, AStartedGameOwesNoNotice) {
  GameLoaderWndCore core(paramsOf(Launch::kPlatform));
  core.loadGame(L"C:\\vekt.exe", true);
  EXPECT_ACTIONS(core.onGameStartResult(true).actions, std::vector<WindowAction>{kClose});
  EXPECT_TRUE(core.onWindowMessage(kMessageClose).actions.empty());
  EXPECT_TRUE(core.closeRoutine().actions.empty());  // the close is on its way already
  EXPECT_FALSE(core.noticeSent());
}

TEST(GameLoaderWndCore, NothingAfterTheWindowIsGone) {
  GameLoaderWndCore core(paramsOf(Launch::kPlatform));
  core.onWindowDestroyed();
  for (uint32_t message = WM_GL_PAGE_LOADED; message <= WM_GL_PAGE_ERROR; ++message) {
    EXPECT_TRUE(core.onCustomMessage(message, 0).actions.empty());
  }
  EXPECT_TRUE(core.onClick(L"btnClose").actions.empty());
  EXPECT_TRUE(core.onSysCommand(0xF060).actions.empty());
  EXPECT_TRUE(core.onWindowMessage(kMessageClose).actions.empty());
  EXPECT_TRUE(core.closeRoutine().actions.empty());
  EXPECT_TRUE(core.onOpenGame("{\"token\":\"x\"}").actions.empty());
  EXPECT_FALSE(core.noticeSent());
}

TEST(GameLoaderWndCore, OpenGameRequests) {
  struct Case {
    const char* request;
    const wchar_t* token;
    const wchar_t* ocext;
    bool loads;
  } cases[] = {
      {"{\"funcation_name\":\"open_game\",\"token\":\"t2\",\"ocext\":\"e2\"}", L"t2", L"e2", true},
      {"{\"funcation_name\":\"open_game\"}", L"abc", L"old", true},  // the launch's token stays
      {"{\"token\":5,\"ocext\":null}", L"abc", L"old", true},
      {"{\"token\":\"\"}", L"", L"old", true},
      {"[\"token\",\"t2\"]", L"abc", L"old", true},
      {"{\"token\":", L"abc", L"old", false},
      {"", L"abc", L"old", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request);
    LaunchParams params = paramsOf(Launch::kPlatform);
    params.ocext = L"old";
    GameLoaderWndCore core(params);
    const size_t before = gltest::logText().size();
    const WindowReply reply = core.onOpenGame(c.request);
    EXPECT_TRUE(reply.handled);
    EXPECT_EQ(core.params().token, c.token);
    EXPECT_EQ(core.params().ocext, c.ocext);
    EXPECT_EQ(reply.actions.size() == 1 && reply.actions[0].step == WindowStep::kLoadGame, c.loads);
    EXPECT_EQ(gltest::logText().find("] : reader.parse:", before) != std::string::npos, !c.loads);
  }
}

WindowAction startGame(const wchar_t* exe, const wchar_t* parameters) {
  return WindowAction{WindowStep::kStartGame, exe, parameters, 0, BoxPurpose::kNone, 0};
}
WindowAction startFailed(WindowHandle manager) {
  return WindowAction{WindowStep::kPostStartFailed, {}, {}, 0, BoxPurpose::kNone, manager};
}

TEST(GameLoaderWndCore, LoadGameStartsCloseAndReportsFailures) {
  const wchar_t* exe = L"C:\\Program Files (x86)\\vekt\\vekt.exe";
  LaunchParams params = paramsOf(Launch::kPlatform);
  params.gameMgrId = L"777";
  params.typeMode = L"1";

  // Started: hidden, then ShellExecuteExW with the quoted parameters; the window closes.
  GameLoaderWndCore core(params);
  const WindowReply start = core.loadGame(exe, true);
  EXPECT_TRUE(start.handled);
  EXPECT_ACTIONS(start.actions,
                 (std::vector<WindowAction>{step(WindowStep::kHideWindow),
                                            startGame(exe, L"--source=OC --token=abc --winid=777 --typeMode=1")}));
  EXPECT_EQ(start.actions[1].caption, L"--source=OC --token=abc --winid=777 --typeMode=1");
  EXPECT_ACTIONS(core.onGameStartResult(true).actions, std::vector<WindowAction>{kClose});
  // The game reports its own end: the close that follows sends no notice.
  EXPECT_TRUE(core.onWindowMessage(kMessageClose).actions.empty());

  // ShellExecuteExW failed: 1347 to the game manager, then the close, which
  // owes the platform client its notice.
  GameLoaderWndCore failing(params);
  failing.loadGame(exe, true);
  EXPECT_ACTIONS(failing.onGameStartResult(false).actions, (std::vector<WindowAction>{startFailed(777), kClose}));
  EXPECT_ACTIONS(failing.onWindowMessage(kMessageClose).actions, std::vector<WindowAction>{notice(1234)});

  // The executable is missing: logged, 1347, closed; nothing is started.
  GameLoaderWndCore missing(params);
  const size_t before = gltest::logText().size();
  EXPECT_ACTIONS(missing.loadGame(exe, false).actions, (std::vector<WindowAction>{startFailed(777), kClose}));
  EXPECT_NE(gltest::logText().find("] : PathFileExists C:\\Program Files (x86)\\vekt\\vekt.exe not exists", before),
            std::string::npos);

  // Without a token nothing happens and the page stays; a later request with one starts.
  params.token.clear();
  GameLoaderWndCore noToken(params);
  EXPECT_TRUE(noToken.loadGame(exe, true).actions.empty());
  EXPECT_FALSE(noToken.gameStartAttempted());
  EXPECT_ACTIONS(noToken.onOpenGame("{\"token\":\"t 1\"}").actions,
                 std::vector<WindowAction>{step(WindowStep::kLoadGame)});
  EXPECT_EQ(noToken.loadGame(exe, true).actions.size(), 2u);
}

TEST(GameLoaderWndCore, TheGameStartsAtMostOnce) {
  const wchar_t* exe = L"C:\\vekt\\vekt.exe";
  struct Case {
    const char* what;
    bool firstExists;
  } cases[] = {{"after a start", true}, {"after a missing executable", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GameLoaderWndCore core(paramsOf(Launch::kPlatform));
    EXPECT_FALSE(core.loadGame(exe, c.firstExists).actions.empty());
    EXPECT_TRUE(core.gameStartAttempted());
    // A second queued open_game, then a late "files released" from the game manager.
    EXPECT_ACTIONS(core.onOpenGame("{\"token\":\"again\"}").actions,
                   std::vector<WindowAction>{step(WindowStep::kLoadGame)});
    EXPECT_TRUE(core.loadGame(exe, true).actions.empty());
    const WindowReply late = core.onCustomMessage(WM_GL_UNPACK_DONE, 0);
    ASSERT_FALSE(late.actions.empty());
    EXPECT_EQ(late.actions.back().step, WindowStep::kLoadGame);
    EXPECT_TRUE(core.loadGame(exe, true).actions.empty());
  }
  GameLoaderWndCore gone(paramsOf(Launch::kPlatform));
  gone.onWindowDestroyed();
  EXPECT_TRUE(gone.loadGame(exe, true).actions.empty());
  EXPECT_TRUE(gone.onGameStartResult(false).actions.empty());
}

TEST(DeferredDeletion, WaitsForTheOutermostHandler) {
  DeferredDeletion idle;
  EXPECT_TRUE(idle.windowGone());  // no handler running: delete at once

  DeferredDeletion nested;
  nested.enterHandler();  // 1134 with a failure
  nested.enterHandler();  // WM_CLOSE dispatched by the box's loop
  EXPECT_FALSE(nested.windowGone());
  EXPECT_FALSE(nested.leaveHandler());
  EXPECT_TRUE(nested.isWindowGone());
  EXPECT_TRUE(nested.leaveHandler());  // back out of the box: delete now

  DeferredDeletion alive;
  alive.enterHandler();
  EXPECT_FALSE(alive.leaveHandler());
}

TEST(DownloadBackground, ByGameId) {
  EXPECT_EQ(DownloadBackgroundFor(L"fai"), L"fai_download_bk.jpg");
  EXPECT_EQ(DownloadBackgroundFor(L"rusa"), L"rusa_download_bk.jpg");
  EXPECT_EQ(DownloadBackgroundFor(L"pnol"), L"pnol_download_bk.jpg");
  EXPECT_EQ(DownloadBackgroundFor(L"vekt"), L"");
  EXPECT_EQ(DownloadBackgroundFor(L"FAI"), L"");
}

TEST(GameExePath, FromTheInstallDirOrTheLaunchersOwn) {
  EXPECT_EQ(GameExePathFrom(L"D:\\Games\\vekt\\", L"C:\\L", L"vekt"), L"D:\\Games\\vekt\\vekt.exe");
  EXPECT_EQ(GameExePathFrom(L"", L"C:\\Program Files (x86)\\vekt", L"vekt"),
            L"C:\\Program Files (x86)\\vekt\\vekt.exe");
  // A DisplayIcon without any separator is the directory as it is.
  EXPECT_EQ(GameExePathFrom(L"vekt_main.exe", L"C:\\L", L"vekt"), L"vekt_main.exevekt.exe");
}

class StartLaunchTest : public gltest::TempHomeTest {};

TEST_F(StartLaunchTest, RecordsThePlatformWindowAndTellsTheGameManager) {
  TakeSentWindowMessages();
  const LaunchStart start = StartLaunch(
      L"{\"gameMgrId\":\"777\",\"installed\":\"1\",\"source\":\"OC\",\"token\":\"abc\",\"typeMode\":\"1\","
      L"\"winid\":\"1234\"}\n",
      kGameId);
  EXPECT_EQ(start.params.winid, L"1234");
  EXPECT_TRUE(start.suppressCookiePersistence);
  EXPECT_FALSE(start.loadGameAtOnce);
  const std::wstring path = GetSettingPath();
  std::wstring value;
  EXPECT_TRUE(ReadSetting(kSettingOcWindowId, path, value));
  EXPECT_EQ(value, L"1234");
  EXPECT_TRUE(ReadSetting(kSettingLoginSource, path, value));
  EXPECT_EQ(value, L"OC");
  const auto sent = TakeSentWindowMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].target, 777u);
  EXPECT_EQ(sent[0].message, WM_GM_LAUNCHER_READY);
  // The log holds the parameters without a stray line end.
  EXPECT_NE(gltest::logText().find("\"winid\":\"1234\"}\r\n"), std::string::npos);
  EXPECT_EQ(gltest::logText().find("}\n\r\n"), std::string::npos);
}

TEST_F(StartLaunchTest, WithoutWinidAnEarlierRecordStays) {
  const std::wstring path = GetSettingPath();
  ASSERT_TRUE(WriteSetting(kSettingOcWindowId, L"55", path));
  TakeSentWindowMessages();
  const LaunchStart start = StartLaunch(L"{\"tokenLogin\":\"1\",\"typeMode\":\"1\"}", kGameId);
  EXPECT_TRUE(start.loadGameAtOnce);
  EXPECT_FALSE(start.suppressCookiePersistence);
  EXPECT_TRUE(TakeSentWindowMessages().empty());  // no game manager named
  std::wstring value;
  EXPECT_TRUE(ReadSetting(kSettingOcWindowId, path, value));
  EXPECT_EQ(value, L"55");
  value.clear();
  EXPECT_TRUE(ReadSetting(kSettingLoginSource, path, value));
  EXPECT_EQ(value, L"");  // recorded on every start, also when empty
}

}  // namespace
