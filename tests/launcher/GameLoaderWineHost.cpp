// Windows checks of the platform client link, the game-exit launch, the
// game-process clean-up and the install registration, run under Wine.
// Usage: gameloader_host <vekt_main.exe built for tests> <standin_window.exe> <vekt.exe stand-in>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "Common.h"
#include "GameLoader.h"
#include "InstallRegistration.h"
#include "LaunchParams.h"
#include "Logger.h"
#include "PlatformLink.h"
#include "LauncherWineSupport.h"
#include "wincheck.h"

using namespace vekt;
using namespace launcherwine;

namespace {

struct WindowSearch {
  DWORD pid;
  int found;
};

BOOL CALLBACK countWindowsOf(HWND hwnd, LPARAM lp) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == search->pid) ++search->found;
  return TRUE;
}

// Runs the launcher and watches, until it ends, that it owns no top-level window.
DWORD runLauncherWatchingWindows(const std::wstring& exe, const std::wstring& args, int& windowsSeen) {
  Child child = start(exe, args);
  windowsSeen = 0;
  if (!child.started) return 0xFFFFFFFF;
  const DWORD deadline = GetTickCount() + 60000;
  while (WaitForSingleObject(child.pi.hProcess, 20) == WAIT_TIMEOUT && GetTickCount() < deadline) {
    WindowSearch search{child.pi.dwProcessId, 0};
    EnumWindows(countWindowsOf, reinterpret_cast<LPARAM>(&search));
    if (search.found > windowsSeen) windowsSeen = search.found;
  }
  return finish(child, 1000);
}

// ---- setting.xml through the Windows file layer ----

void checkSettingFiles() {
  const std::wstring dir = tempFolder(L"vekt_setting_\u4e2d\u6587");  // outside the ANSI code page too
  const std::wstring path = dir + L"\\setting.xml";
  DeleteFileW(path.c_str());

  WCHECK(WriteSetting(kSettingOcWindowId, L"1234", path));
  WCHECK(WriteSetting(kSettingLoginSource, L"OC", path));
  WCHECK_EQ(readFile(path),
            "<settings>\r\n    <ocwindowid>1234</ocwindowid>\r\n    <loginsource>OC</loginsource>\r\n</settings>\r\n");
  WCHECK(WriteSetting(kSettingOcWindowId, L"\u00e9\u4e2d", path));
  std::wstring value;
  WCHECK(ReadSetting(kSettingOcWindowId, path, value));
  WCHECK(value == L"\u00e9\u4e2d");
  WCHECK(contains(readFile(path), "<ocwindowid>\xC3\xA9\xE4\xB8\xAD</ocwindowid>"));
  WCHECK(!PathFileExistsW((path + L".vekt-tmp").c_str()));

  // Elements of the platform client stay; a garbled file is left alone.
  writeFile(path, "<?xml version=\"1.0\"?>\r\n<settings><theme dark=\"1\">blue  sky</theme><x/></settings>");
  WCHECK(WriteSetting(kSettingLoginSource, L"", path));
  WCHECK_EQ(readFile(path),
            "<?xml version=\"1.0\" ?>\r\n<settings>\r\n    <theme dark=\"1\">blue  sky</theme>\r\n    <x />\r\n"
            "    <loginsource></loginsource>\r\n</settings>\r\n");
  const std::string garbled = "<settings><theme>blue</settings>";
  writeFile(path, garbled);
  WCHECK(!WriteSetting(kSettingLoginSource, L"OC", path));
  WCHECK_EQ(readFile(path), garbled);
  WCHECK(!ReadSetting(kSettingLoginSource, path, value));

  // A file the platform client holds open without sharing: neither read nor written.
  const std::string held = "<settings><loginsource>OC</loginsource></settings>";
  writeFile(path, held);
  HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  WCHECK(lock != INVALID_HANDLE_VALUE);
  WCHECK(!WriteSetting(kSettingLoginSource, L"web", path));
  WCHECK(!ReadSetting(kSettingLoginSource, path, value));
  CloseHandle(lock);
  WCHECK_EQ(readFile(path), held);

  // Held open as the C runtime's fopen does (read and write sharing, no delete
  // sharing): the replace is refused, and the checked text goes in place.
  writeFile(path, held);
  HANDLE shared = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  WCHECK(shared != INVALID_HANDLE_VALUE);
  WCHECK(WriteSetting(kSettingOcWindowId, L"4321", path));
  WCHECK(WriteSetting(kSettingLoginSource, L"web", path));
  const std::string inPlace =
      "<settings>\r\n    <loginsource>web</loginsource>\r\n    <ocwindowid>4321</ocwindowid>\r\n</settings>\r\n";
  WCHECK_EQ(readFile(path), inPlace);
  char seen[256] = {};
  DWORD got = 0;
  SetFilePointer(shared, 0, nullptr, FILE_BEGIN);
  WCHECK(ReadFile(shared, seen, sizeof seen - 1, &got, nullptr));
  WCHECK_EQ(std::string(seen, got), inPlace);  // the holder reads the new text through its handle
  value.clear();
  WCHECK(ReadSetting(kSettingOcWindowId, path, value));
  WCHECK(value == L"4321");
  CloseHandle(shared);
  WCHECK(!PathFileExistsW((path + L".vekt-tmp").c_str()));

  // A read-only file is read but not replaced.
  const std::string readOnly = "<settings><loginsource>OC</loginsource></settings>";
  writeFile(path, readOnly);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  WCHECK(!WriteSetting(kSettingLoginSource, L"web", path));
  WCHECK_EQ(readFile(path), readOnly);
  value.clear();
  WCHECK(ReadSetting(kSettingLoginSource, path, value));
  WCHECK(value == L"OC");
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
  value = L"keep";
  WCHECK(!ReadSetting(kSettingLoginSource, path, value));
  WCHECK(value == L"keep");

  const std::string log = readFile(MultiToWide(Logger::instance().fileName(), kCodePageAnsi));
  WCHECK(contains(log, "] : WriteSetting loginsource bad xml, not written:"));
  WCHECK(contains(log, "] : WriteSetting loginsource cannot save:"));
  WCHECK(contains(log, "] : ReadSetting loginsource cannot read:"));
  WCHECK(contains(log, "] : WriteSetting loginsource cannot read:"));

  // The real location: the folder is made when missing.
  const std::wstring folder = GetLocalAppDataDir() + L"\\Orbisk_Center";
  const std::wstring real = GetSettingPath();
  WCHECK(real == folder + L"\\setting.xml");
  WCHECK(PathIsDirectoryW(folder.c_str()) != FALSE);
}

// ---- game-exit launch of vekt_main.exe ----

void checkGameExitLaunch(const std::wstring& launcher, const std::wstring& standInExe) {
  StandIn platform(standInExe, L"platform");
  const std::wstring setting = GetSettingPath();
  DeleteFileW(setting.c_str());
  WCHECK(RecordPlatformWindow(platform.handle));
  WCHECK(RecordLoginSource(L"OC"));

  const std::wstring log = launcherLog();
  size_t before = readFile(log).size();
  int windows = -1;
  WCHECK_EQ(runLauncherWatchingWindows(launcher, L"{\\\"type\\\":1}", windows), 0u);
  WCHECK_EQ(windows, 0);
  WCHECK_EQ(platform.received().size(), 1u);
  std::string written = readFile(log).substr(before);
  WCHECK(contains(written, "] : IsGameExit:{\"type\":1}\r\n"));
  WCHECK(contains(written, "] : game exit notify:{\"type\":1}\r\n"));
  WCHECK(contains(written, "] : Orbisk Center wnd get\r\n"));
  WCHECK(!contains(written, "GameLoaderWnd"));

  // The bare text counts as well.
  before = readFile(log).size();
  WCHECK_EQ(runLauncherWatchingWindows(launcher, L"{type:1}", windows), 0u);
  WCHECK_EQ(windows, 0);
  WCHECK_EQ(platform.received().size(), 2u);
  written = readFile(log).substr(before);
  WCHECK(contains(written, "] : get type:1\r\n"));

  // No platform window recorded: nothing is sent.
  writeFile(setting, "<settings>\n    <loginsource>OC</loginsource>\n</settings>\n");
  before = readFile(log).size();
  WCHECK_EQ(runLauncherWatchingWindows(launcher, L"{\\\"type\\\":1}", windows), 0u);
  WCHECK_EQ(windows, 0);
  written = readFile(log).substr(before);
  WCHECK(contains(written, "] : Orbisk Center wnd not get\r\n"));
  WCHECK_EQ(platform.received().size(), 2u);

  // Empty loginsource: nothing is sent either.
  writeFile(setting, "<settings><ocwindowid>" + WideToMulti(platform.handle, kCodePageAnsi) +
                         "</ocwindowid><loginsource></loginsource></settings>");
  WCHECK_EQ(runLauncherWatchingWindows(launcher, L"{\\\"type\\\":1}", windows), 0u);
  WCHECK_EQ(platform.received().size(), 2u);

  // The close routine's notice for a launch by the platform client.
  LaunchParams params;
  params.source = L"OC";
  params.winid = platform.handle;
  WCHECK(SendCloseNotice(params));
  params.source = L"web";
  WCHECK(!SendCloseNotice(params));

  const auto expected = GameExitNoticeBytes(MakeGameExitNotice());
  const std::string line = "copydata 1 528 " + hexOf(expected.data(), expected.size());
  const std::vector<std::string> received = platform.close();
  WCHECK_EQ(received.size(), 3u);  // two game-exit launches and the close notice
  for (const std::string& got : received) {
    if (!WCHECK(got == line)) std::printf("  received: %s\n", got.c_str());
  }

  // A platform window that does not answer cannot hold the launcher.
  StandIn slow(standInExe, L"slowplatform", L"--slow");
  WCHECK(RecordPlatformWindow(slow.handle));
  WCHECK(RecordLoginSource(L"OC"));
  WCHECK_EQ(runLauncherWatchingWindows(launcher, L"{\\\"type\\\":1}", windows), 0u);
  WCHECK_EQ(slow.received().size(), 1u);  // it ended while the window still sat on the notice
  WCHECK_EQ(slow.close().size(), 2u);
  DeleteFileW(setting.c_str());
}

// ---- a normal start records what the game-exit launch needs ----

void checkNormalStartRecords(const std::wstring& launcher, const std::wstring& standInExe) {
  StandIn platform(standInExe, L"platform_normal");
  StandIn manager(standInExe, L"manager_normal");
  const std::wstring setting = GetSettingPath();
  DeleteFileW(setting.c_str());
  const std::wstring log = launcherLog();
  const size_t before = readFile(log).size();
  Child normal = start(launcher, L"--winid=" + platform.handle + L" --source=OC --token=abc --gameMgrId=" +
                                     manager.handle + L" --typeMode=1");
  HWND window = findMainWindow(normal.pi.dwProcessId);
  WCHECK(window != nullptr);
  // Closed from the taskbar: the platform client hears of it once.
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  WCHECK_EQ(finish(normal), 0u);
  WCHECK_EQ(platform.received().size(), 1u);
  std::wstring value;
  WCHECK(ReadSetting(kSettingOcWindowId, setting, value));
  WCHECK(value == platform.handle);
  WCHECK(ReadSetting(kSettingLoginSource, setting, value));
  WCHECK(value == L"OC");
  // The parameters' JSON text ends in a line end of its own: logged once.
  const std::string written = readFile(log).substr(before);
  WCHECK(contains(written, "\"winid\":\"" + WideToMulti(platform.handle, kCodePageAnsi) + "\"}\r\n"));
  WCHECK(!contains(written, "}\n\r\n"));

  // The game's end is reported to the recorded platform window.
  int windows = -1;
  WCHECK_EQ(runLauncherWatchingWindows(launcher, L"{\\\"type\\\":1}", windows), 0u);
  WCHECK_EQ(windows, 0);
  WCHECK_EQ(platform.close().size(), 2u);
  const std::vector<std::string> toManager = manager.close();
  WCHECK_EQ(toManager.size(), 1u);
  if (!toManager.empty()) WCHECK_EQ(toManager[0], std::string("msg 1348 0 0"));
  DeleteFileW(setting.c_str());
}

// ---- messages to the game manager ----

void checkGameManagerMessages(const std::wstring& standInExe) {
  StandIn manager(standInExe, L"gamemanager");
  LaunchParams params;
  params.gameMgrId = manager.handle;
  params.winid = L"1";  // the platform's handle is not where these go
  params.typeMode = L"0";
  WCHECK(!PostLauncherReady(params));
  params.typeMode = L"1";
  WCHECK(PostLauncherReady(params));
  WCHECK(PostGameStartFailed(params));
  params.gameMgrId.clear();
  WCHECK(!PostLauncherReady(params));
  const std::vector<std::string> received = manager.close();
  WCHECK_EQ(received.size(), 2u);
  if (received.size() == 2) {
    WCHECK_EQ(received[0], std::string("msg 1348 0 0"));
    WCHECK_EQ(received[1], std::string("msg 1347 0 0"));
  }
}

// ---- uninstall key and desktop shortcut ----

HKEY openGameKey() {
  HKEY key = nullptr;
  RegOpenKeyExW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str(), 0, KEY_READ, &key);
  return key;
}

void setRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                  nullptr);
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void setText(const wchar_t* name, const std::wstring& text) {
  setRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void checkRegistry() {
  SHDeleteKeyW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str());
  WCHECK(GetInstallDir(kGameId).empty());
  WCHECK(GetBagFileParam(kGameId).empty());

  // Values an installer left: FileParam is read, and goes with the old key.
  setText(L"FileParam", L"bag=17&x=1");
  setText(L"DisplayIcon", L"D:/Games/vekt/vekt_main.exe");
  HKEY sub = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, (UninstallKeyPath(kGameId) + L"\\Old").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                  &sub, nullptr);
  RegCloseKey(sub);
  WCHECK(GetBagFileParam(kGameId) == L"bag=17&x=1");
  WCHECK(GetInstallDir(kGameId) == L"D:\\Games\\vekt\\");
  setText(L"DisplayIcon", L"vekt_main.exe");
  WCHECK(GetInstallDir(kGameId) == L"vekt_main.exe");

  // 259 characters fit the 520-byte buffer; 260 count as missing.
  setText(L"FileParam", std::wstring(259, L'p'));
  WCHECK(GetBagFileParam(kGameId) == std::wstring(259, L'p'));
  setText(L"FileParam", std::wstring(260, L'p'));
  WCHECK(GetBagFileParam(kGameId).empty());
  setText(L"DisplayIcon", L"C:\\" + std::wstring(300, L'd'));
  WCHECK(GetInstallDir(kGameId).empty());
  const DWORD number = 5;
  setRaw(L"FileParam", REG_DWORD, &number, sizeof number);
  WCHECK(GetBagFileParam(kGameId).empty());
  const wchar_t unterminated[3] = {L'a', L'b', L'c'};
  setRaw(L"FileParam", REG_SZ, unterminated, sizeof unterminated);
  WCHECK(GetBagFileParam(kGameId) == L"abc");
  setText(L"FileParam", L"bag=17");

  const std::wstring gameDir = L"C:\\Program Files (x86)\\vekt";
  RegisterUninstall(gameDir, L"OC");

  HKEY key = openGameKey();
  if (!WCHECK(key != nullptr)) return;
  DWORD values = 0, subkeys = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  WCHECK_EQ(values, 5u);
  WCHECK_EQ(subkeys, 0u);
  const auto expected = UninstallValues(gameDir);
  WCHECK(expected[2].second == L"Tarnveil");
  WCHECK(expected[4].second == L"C:\\Program Files (x86)\\vekt\\VektSorvenuninst.exe");
  WCHECK(expected[1].second == L"C:\\Program Files (x86)\\vekt\\vekt_main.exe");
  for (const auto& value : expected) {
    wchar_t data[300] = {};
    DWORD size = sizeof data, type = 0;
    const LONG status =
        RegQueryValueExW(key, value.first.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    WCHECK_EQ(status, ERROR_SUCCESS);
    WCHECK_EQ(type, static_cast<DWORD>(REG_SZ));
    WCHECK_EQ(size, static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t)));  // NUL included
    if (!WCHECK(value.second == data)) std::printf("  %ls = %ls\n", value.first.c_str(), data);
  }
  WCHECK(RegQueryValueExW(key, L"FileParam", nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  WCHECK(GetBagFileParam(kGameId).empty());
  WCHECK(GetInstallDir(kGameId) == L"C:\\Program Files (x86)\\vekt\\");

  // The same through the system's own tool.
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring out = std::wstring(temp) + L"vekt_reg_query.txt";
  DeleteFileW(out.c_str());
  std::wstring cmd = L"cmd.exe /c reg query \"HKCU\\" + UninstallKeyPath(kGameId) + L"\" > \"" + out + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (WCHECK(CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))) {
    WaitForSingleObject(pi.hProcess, 60000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    const std::string listing = readFile(out);
    WCHECK(contains(listing, "DisplayVersion    REG_SZ    3.8.3.4"));
    WCHECK(contains(listing, "UninstallString    REG_SZ    C:\\Program Files (x86)\\vekt\\VektSorvenuninst.exe"));
    WCHECK(contains(listing, "Publisher    REG_SZ"));
    WCHECK(!contains(listing, "FileParam"));
    if (!contains(listing, "DisplayVersion")) std::printf("reg query said:\n%s\n", listing.c_str());
  }
}

// The desktop of this prefix is pointed at a folder of the test, and the
// system's menu builder is kept from copying links out of the prefix.
struct TestDesktop {
  std::wstring dir;
  std::wstring old;
  bool hadOld = false;
  TestDesktop() {
    dir = tempFolder(L"vekt_desktop");
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0,
                    nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = sizeof buffer, type = 0;
    hadOld = RegQueryValueExW(key, L"Desktop", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
    old = buffer;
    RegSetValueExW(key, L"Desktop", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                   static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  ~TestDesktop() {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0,
                  KEY_WRITE, &key);
    if (hadOld) {
      RegSetValueExW(key, L"Desktop", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(old.c_str()),
                     static_cast<DWORD>((old.size() + 1) * sizeof(wchar_t)));
    } else {
      RegDeleteValueW(key, L"Desktop");
    }
    RegCloseKey(key);
  }
};

void checkShortcut() {
  SetEnvironmentVariableW(L"WINEDLLOVERRIDES", L"mscoree,mshtml=;winemenubuilder.exe=d");
  TestDesktop desktop;
  if (!WCHECK(GetDesktopDir() == desktop.dir)) {
    std::printf("  desktop is %ls\n", GetDesktopDir().c_str());
    return;
  }
  const std::wstring link = desktop.dir + L"\\Tarnveil.lnk";
  DeleteFileW(link.c_str());
  WCHECK(DeleteDesktopShortcut());  // a missing link is no error

  const std::wstring gameDir = L"C:\\Games\\vekt";
  RegisterUninstall(gameDir, L"");
  WCHECK(PathFileExistsW(link.c_str()) != FALSE);

  IShellLinkW* shell = nullptr;
  if (WCHECK(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                        reinterpret_cast<void**>(&shell))))) {
    IPersistFile* file = nullptr;
    shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    WCHECK(file && SUCCEEDED(file->Load(link.c_str(), STGM_READ)));
    wchar_t text[MAX_PATH] = {};
    shell->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    WCHECK(std::wstring(text) == L"C:\\Games\\vekt\\vekt_main.exe");
    text[0] = L'x';
    shell->GetArguments(text, MAX_PATH);
    WCHECK(std::wstring(text).empty());
    shell->GetWorkingDirectory(text, MAX_PATH);
    WCHECK(std::wstring(text) == L"C:\\Games\\vekt");
    int icon = -1;
    shell->GetIconLocation(text, MAX_PATH, &icon);
    WCHECK(std::wstring(text) == L"C:\\Games\\vekt\\vekt_main.exe");
    WCHECK_EQ(icon, 0);
    if (file) file->Release();
    shell->Release();
  }

  // Started by the platform client: the old link goes and no new one is made.
  RegisterUninstall(gameDir, L"OC");
  WCHECK(PathFileExistsW(link.c_str()) == FALSE);
  WCHECK(GetInstallDir(kGameId) == L"C:\\Games\\vekt\\");
  SHDeleteKeyW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str());
}

// ---- game-process clean-up with real processes ----

bool ended(Child& child, DWORD& code) {
  if (WaitForSingleObject(child.pi.hProcess, 10000) != WAIT_OBJECT_0) return false;
  code = finish(child, 0);
  return true;
}

void checkCleanup(const std::wstring& gameExe, const std::wstring& logDir) {
  WCHECK_EQ(CleanupGameProcesses(), 0);  // nothing running: back at once

  std::vector<Child> games;
  for (int i = 0; i < 3; ++i) games.push_back(start(gameExe, L""));
  Sleep(500);
  WCHECK(GeneralProcessExist(DefaultGameProcessOps()));
  const int attempts = CleanupGameProcesses();
  WCHECK(attempts >= 3 && attempts <= 4);  // one process per attempt
  for (Child& game : games) {
    DWORD code = 99;
    WCHECK(ended(game, code));
    WCHECK_EQ(code, 0u);  // TerminateProcess with exit code 0
  }
  WCHECK(!GeneralProcessExist(DefaultGameProcessOps()));

  // Ending by id fails: the task-kill command does it.
  Child stubborn = start(gameExe, L"");
  Sleep(500);
  GameProcessOps ops = DefaultGameProcessOps();
  ops.killProcess = [](int32_t) { return false; };
  WCHECK(CleanupGameProcesses(ops) >= 1);
  DWORD code = 99;
  WCHECK(ended(stubborn, code));

  // A process carrying the game's name runs the clean-up itself: it ends the
  // other game process and never itself.
  Child other = start(gameExe, L"");
  Sleep(500);
  Child runner = start(gameExe, L"--cleanup \"" + logDir + L"\\\\\"");
  WCHECK_EQ(finish(runner, 90000), 7u);
  if (other.started) {
    // The other one is either ended by the runner or, when the snapshot named
    // the runner first, still there; then it goes now.
    if (WaitForSingleObject(other.pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(other.pi.hProcess, 5);
    finish(other, 5000);
  }
  WCHECK_EQ(RunGameProcessCleanupAndWait(), 0);

  // A taskkill.exe planted beside the program is never run: the command names
  // the one in the system folder. (The plant would wait two minutes.)
  const std::wstring planted = GetModuleDir() + L"\\taskkill.exe";
  WCHECK(CopyFileW(gameExe.c_str(), planted.c_str(), FALSE) != FALSE);
  Child target = start(gameExe, L"");
  Sleep(500);
  WCHECK(CleanupGameProcesses(ops) >= 1);
  WCHECK(ended(target, code));
  Sleep(1000);
  const int32_t plant = GetProcessIdByName(L"taskkill.exe");
  WCHECK_EQ(plant, -1);
  if (plant != -1) KillProcess(plant);
  Sleep(200);
  DeleteFileW(planted.c_str());
}

// ---- process termination's log lines ----

void checkKillProcessLog() {
  // No such process: both opens fail, and every line names KillProcess.
  const int32_t missing = 0x7FFFFFF0;
  const std::wstring file = MultiToWide(Logger::instance().fileName(), kCodePageAnsi);
  const size_t before = readFile(file).size();
  WCHECK(!KillProcess(missing));
  const std::vector<std::string> written = lines(readFile(file).substr(before));
  int privilegeLines = 0;
  for (const std::string& line : written) {
    if (!contains(line, "EnableDebugPrivilege " + std::to_string(missing))) continue;
    ++privilegeLines;
    WCHECK(contains(line, ">KillProcess] : EnableDebugPrivilege"));
  }
  WCHECK_EQ(privilegeLines, 1);
  WCHECK(contains(readFile(file).substr(before), ">KillProcess] : OpenProcess1 "));
  WCHECK(contains(readFile(file).substr(before), ">KillProcess] : OpenProcess2 "));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::printf("usage: gameloader_host <vekt_main.exe built for tests> <standin_window.exe> <vekt.exe stand-in>\n");
    return 2;
  }
  const QuietHomePage quiet;
  const std::wstring logDir = tempFolder(L"vekt_gameloader_log");
  Logger::initializePathDir(WideToMulti(logDir + L"\\", kCodePageAnsi));
  CoInitialize(nullptr);
  checkSettingFiles();
  checkGameExitLaunch(argv[1], argv[2]);
  checkNormalStartRecords(argv[1], argv[2]);
  checkGameManagerMessages(argv[2]);
  checkRegistry();
  checkShortcut();
  checkCleanup(argv[3], logDir);
  checkKillProcessLog();
  CoUninitialize();
  return wincheck::summary();
}
