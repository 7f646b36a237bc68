// The game-exit launch, the game-process clean-up against a stand-in system,
// and the install registration values.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "Common.h"
#include "GameLoader.h"
#include "InstallRegistration.h"
#include "PlatformLink.h"
#include "PlatformLinkHost.h"
#include "GameLoaderTestSupport.h"

namespace fs = std::filesystem;
using namespace vekt;

namespace {

TEST(GameExitText, KindsOfLaunchText) {
  struct Case {
    const wchar_t* text;
    bool gameExit;
  } cases[] = {
      {L"{\"type\":1}", true},
      {L"{\"type\":1,\"source\":\"OC\",\"token\":\"abc\"}\n", true},
      {L"{\"type\":1.0}", true},  // still exactly the integer 1
      {L"{\"type\":\"1\"}", false},
      {L"{\"type\":2}", false},
      {L"{\"type\":0}", false},
      {L"{\"type\":1.5}", false},
      {L"{\"type\":4294967297}", false},
      {L"{\"type\":true}", false},
      {L"{\"type\":null}", false},
      {L"{\"Type\":1}", false},
      {L"{}", false},
      {L"[1]", false},
      {L"1", false},
      {L"\"type:1\"", false},
      {L"{type:1}", true},
      {L"type:1", true},
      {L" {type:1}", false},
      {L"{type:1} ", false},
      {L"type: 1", false},
      {L"", false},
      {L"--token=abc", false},
      {L"C:\\Games\\vekt\\vekt_main.exe", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToMulti(c.text, kCodePageUtf8));
    EXPECT_EQ(IsGameExitText(c.text), c.gameExit);
  }
}

TEST(GameExitText, DeepNestingIsANormalLaunch) {
  std::wstring deep = L"{\"type\":1,\"x\":";
  for (int i = 0; i < 100000; ++i) deep += L"[";
  EXPECT_FALSE(IsGameExitText(deep));
}

TEST(GameExitText, BareTextsAreLogged) {
  const size_t before = gltest::logText().size();
  EXPECT_TRUE(IsGameExitText(L"{type:1}"));
  EXPECT_FALSE(IsGameExitText(L"nonsense"));
  const std::string logged = gltest::logText().substr(before);
  EXPECT_NE(logged.find("] : reader.parse:{type:1} false"), std::string::npos);
  EXPECT_NE(logged.find("] : get type:1"), std::string::npos);
  EXPECT_NE(logged.find("] : reader.parse:nonsense false"), std::string::npos);
}

class GameExitLaunch : public gltest::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    TakeSentWindowMessages();
  }
  void setting(const std::string& content) {
    fs::create_directories(home() / ".local/share/Orbisk_Center");
    gltest::writeFile(home() / ".local/share/Orbisk_Center/setting.xml", content);
  }
};

TEST_F(GameExitLaunch, NoticeGoesToTheRecordedPlatformWindow) {
  setting("<settings><ocwindowid>1234</ocwindowid><loginsource>OC</loginsource></settings>");
  const size_t before = gltest::logText().size();
  EXPECT_TRUE(IsGameExit(L"{\"type\":1}"));
  const auto sent = TakeSentWindowMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].target, 1234u);
  EXPECT_EQ(sent[0].message, 74u);
  EXPECT_EQ(sent[0].wParam, 0u);
  EXPECT_EQ(sent[0].copyDataKind, 1u);
  const auto expected = GameExitNoticeBytes(MakeGameExitNotice());
  EXPECT_EQ(sent[0].data, std::vector<unsigned char>(expected.begin(), expected.end()));
  const std::string logged = gltest::logText().substr(before);
  EXPECT_NE(logged.find("] : IsGameExit:{\"type\":1}"), std::string::npos);
  EXPECT_NE(logged.find("] : game exit notify:{\"type\":1}"), std::string::npos);
  EXPECT_NE(logged.find("] : Orbisk Center wnd get"), std::string::npos);
}

TEST_F(GameExitLaunch, CasesWithoutNotice) {
  struct Case {
    const char* name;
    const char* setting;  // nullptr: no file
    const wchar_t* text;
    bool result;
    const char* logPart;
  } cases[] = {
      {"normal launch", "<settings><ocwindowid>1</ocwindowid><loginsource>OC</loginsource></settings>",
       L"{\"type\":\"1\"}", false, "IsGameExit:"},
      {"no setting.xml", nullptr, L"{\"type\":1}", true, "ReadSetting loginsource cannot read:"},
      {"empty loginsource", "<settings><ocwindowid>1</ocwindowid><loginsource/></settings>", L"{type:1}", true,
       "game exit notify:"},
      {"no loginsource", "<settings><ocwindowid>1</ocwindowid></settings>", L"type:1", true,
       "ReadSetting loginsource not found:"},
      {"no ocwindowid", "<settings><loginsource>OC</loginsource></settings>", L"{\"type\":1}", true,
       "] : Orbisk Center wnd not get"},
      {"garbled setting.xml", "<settings><loginsource>OC</loginsource>", L"{\"type\":1}", true,
       "ReadSetting loginsource bad xml:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(home() / ".local/share/Orbisk_Center/setting.xml");
    if (c.setting) setting(c.setting);
    const size_t before = gltest::logText().size();
    EXPECT_EQ(IsGameExit(c.text), c.result);
    EXPECT_TRUE(TakeSentWindowMessages().empty());
    EXPECT_NE(gltest::logText().find(c.logPart, before), std::string::npos);
  }
}

// A stand-in process table: the game processes and how they take a kill.
struct FakeSystem {
  std::map<std::wstring, int32_t> running;  // name -> pid
  bool killWorks = true;                    // KillProcess succeeds
  bool killEnds = true;                     // and the process then ends
  bool taskkillEnds = false;
  int kills = 0, pauses = 0;
  std::vector<std::string> commands;
  std::vector<int32_t> killed;

  GameProcessOps ops(int32_t self = 4242) {
    GameProcessOps o;
    o.findProcess = [this](const std::wstring& name) {
      auto it = running.find(name);
      return it == running.end() ? -1 : it->second;
    };
    o.killProcess = [this](int32_t pid) {
      ++kills;
      killed.push_back(pid);
      if (!killWorks) return false;
      if (killEnds) erasePid(pid);
      return true;
    };
    o.runHidden = [this](const std::string& command) {
      commands.push_back(command);
      if (taskkillEnds) running.clear();
      return taskkillEnds ? 33u : 2u;
    };
    o.lastError = [] { return 5u; };
    o.pause = [this] { ++pauses; };
    o.selfPid = self;
    o.systemDir = L"C:\\Windows\\system32";
    return o;
  }
  void erasePid(int32_t pid) {
    for (auto it = running.begin(); it != running.end();) it = it->second == pid ? running.erase(it) : ++it;
  }
};

TEST(GameProcessCleanup, NothingRunningReturnsAtOnce) {
  FakeSystem system;
  EXPECT_EQ(CleanupGameProcesses(system.ops()), 0);
  EXPECT_EQ(system.pauses, 0);
  EXPECT_EQ(system.kills, 0);
}

TEST(GameProcessCleanup, EndedByIdInOneAttempt) {
  FakeSystem system;
  system.running[L"vekt.exe"] = 77;
  system.running[L"VEKT.EXE"] = 78;  // names compare with case: not a game process
  const size_t before = gltest::logText().size();
  EXPECT_EQ(CleanupGameProcesses(system.ops()), 1);
  EXPECT_EQ(system.killed, std::vector<int32_t>{77});
  EXPECT_EQ(system.pauses, 1);
  EXPECT_TRUE(system.commands.empty());
  EXPECT_NE(gltest::logText().find("] : GeneralProcessExist,GetProcessIdByName vekt.exe idProcess:77", before),
            std::string::npos);
}

TEST(GameProcessCleanup, TaskKillWhenTheIdCannotBeEnded) {
  FakeSystem system;
  system.running[L"vekt.exe"] = 77;
  system.killWorks = false;
  system.taskkillEnds = true;
  EXPECT_EQ(CleanupGameProcesses(system.ops()), 1);
  // By its full path: a taskkill.exe planted beside the launcher is never run.
  EXPECT_EQ(system.commands, std::vector<std::string>{"\"C:\\Windows\\system32\\taskkill.exe\" /f /im vekt.exe"});
}

TEST(GameProcessCleanup, NoSystemFolderRunsNoCommand) {
  FakeSystem system;
  system.running[L"vekt.exe"] = 77;
  system.killWorks = false;
  GameProcessOps ops = system.ops();
  ops.systemDir.clear();
  const size_t before = gltest::logText().size();
  KillGeneralProcess(ops);
  EXPECT_TRUE(system.commands.empty());
  EXPECT_NE(gltest::logText().find("] : KillProcess vekt.exe falsed code:", before), std::string::npos);
  EXPECT_EQ(TaskKillCommand(L"", L"vekt.exe"), "");
  EXPECT_EQ(TaskKillCommand(L"C:\\Program Files\\sys", L"vekt.exe"),
            "\"C:\\Program Files\\sys\\taskkill.exe\" /f /im vekt.exe");
}

TEST(GameProcessCleanup, StubbornProcessEndsAfterThirtyAttempts) {
  FakeSystem system;
  system.running[L"vekt.exe"] = 77;
  system.killWorks = false;
  const size_t before = gltest::logText().size();
  EXPECT_EQ(CleanupGameProcesses(system.ops()), kCleanupAttemptLimit);
  EXPECT_EQ(system.kills, 30);
  EXPECT_EQ(system.pauses, 30);
  EXPECT_EQ(system.commands.size(), 30u);
  EXPECT_NE(gltest::logText().find("] : KillProcess vekt.exe falsed code:5", before), std::string::npos);

  FakeSystem ignoring;  // terminated "successfully" but still there
  ignoring.running[L"vekt.exe"] = 77;
  ignoring.killEnds = false;
  EXPECT_EQ(CleanupGameProcesses(ignoring.ops()), 30);
  EXPECT_TRUE(ignoring.commands.empty());
}

TEST(GameProcessCleanup, OwnProcessIsNeverATarget) {
  FakeSystem system;
  system.running[L"vekt.exe"] = 4242;
  EXPECT_FALSE(GeneralProcessExist(system.ops(4242)));
  KillGeneralProcess(system.ops(4242));
  EXPECT_EQ(CleanupGameProcesses(system.ops(4242)), 0);
  EXPECT_EQ(system.kills, 0);
  EXPECT_TRUE(system.commands.empty());
}

TEST(InstallValues, KeyValuesInOrder) {
  const auto values = UninstallValues(L"C:\\Program Files (x86)\\vekt");
  const std::vector<std::pair<std::wstring, std::wstring>> expected{
      {L"DisplayVersion", L"3.8.3.4"},
      {L"DisplayIcon", L"C:\\Program Files (x86)\\vekt\\vekt_main.exe"},
      {L"DisplayName", L"Tarnveil"},
      {L"Publisher", L""},
      {L"UninstallString", L"C:\\Program Files (x86)\\vekt\\VektSorvenuninst.exe"},
  };
  EXPECT_EQ(values, expected);
  EXPECT_EQ(UninstallKeyPath(kGameId), L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\vekt");
  EXPECT_EQ(DesktopShortcutPath(L"C:\\Users\\p\\Desktop"), L"C:\\Users\\p\\Desktop\\Tarnveil.lnk");
}

TEST(InstallValues, GameDirectoryFromDisplayIcon) {
  struct Case {
    const wchar_t* icon;
    const wchar_t* dir;
  } cases[] = {
      {L"D:/Games/vekt/vekt_main.exe", L"D:\\Games\\vekt\\"},
      {L"C:\\Program Files (x86)\\vekt\\vekt_main.exe", L"C:\\Program Files (x86)\\vekt\\"},
      {L"vekt_main.exe", L"vekt_main.exe"},
      {L"D:\\Games/", L"D:\\Games\\"},
      {L"\\", L"\\"},
      {L"", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstallDirFromDisplayIcon(c.icon), c.dir);
  }
  EXPECT_EQ(InstallDirFromDisplayIcon(L"D:/Games/vekt/vekt_main.exe") + L"vekt.exe", L"D:\\Games\\vekt\\vekt.exe");
}

}  // namespace
