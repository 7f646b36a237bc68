// Windows checks of launcher start-up, run under Wine:
//  - the portable command-line splitter agrees with CommandLineToArgvW;
//  - a second launcher posts 1133 to the first one's window and exits, logging it;
//  - the first launcher of a session logs its parameters.
// Usage: startup_host <path of vekt_main.exe built for tests>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "LauncherWineSupport.h"
#include "LaunchParams.h"
#include "wincheck.h"

namespace {

int g_activateCount = 0;
WPARAM g_lastWParam = 1;
LPARAM g_lastLParam = 1;

LRESULT CALLBACK standInProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == 1133) {
    ++g_activateCount;
    g_lastWParam = wp;
    g_lastLParam = lp;
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void checkSplitter() {
  const wchar_t* lines[] = {
      L"a.exe b c",
      L"\"C:\\Program Files\\a.exe\" b",
      L"a.exe \t b\t\tc  ",
      L"a.exe \"b c\" d",
      L"a.exe a\\\\b a\\b",
      L"a.exe a\\\"b",
      L"a.exe a\\\\\\\"b",
      L"a.exe \"a\\\\\" b",
      L"a.exe \"\"",
      L"a.exe \"unterminated b",
      L"a.exe \"\"\"\"",
      L"a.exe \"\"\"\"\"\" x",
      L"a.exe a\"b\"c \"d\"\"e\" f",
      L"a.exe \"--instGamePath=C:\\Program Files\\Game\" --token=t",
      L"\"C:\\--source=X\\vekt_main.exe\" --token=a b",
  };
  for (const wchar_t* line : lines) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(line, &argc);
    if (!WCHECK(argv != nullptr)) continue;
    const std::vector<std::wstring> system(argv, argv + argc);
    LocalFree(argv);
    if (!WCHECK(vekt::SplitCommandLine(line) == system)) {
      std::printf("  line: %ls\n", line);
      for (const auto& a : system) std::printf("  system: [%ls]\n", a.c_str());
      for (const auto& a : vekt::SplitCommandLine(line)) std::printf("  ours:   [%ls]\n", a.c_str());
    }
  }
}

std::wstring logFilePath() { return launcherwine::launcherLog(); }

std::string readFrom(const std::wstring& path, size_t offset) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return offset < text.size() ? text.substr(offset) : std::string();
}

size_t sizeOf(const std::wstring& path) { return readFrom(path, 0).size(); }

// Starts the launcher and pumps this thread's messages until it exits.
DWORD runLauncher(const std::wstring& exe, const std::wstring& args) {
  std::wstring commandLine = L"\"" + exe + L"\" " + args;
  // The launcher's standard error copy of its log is not wanted here.
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("CreateProcessW failed: %lu\n", GetLastError());
    return 0xFFFFFFFF;
  }
  const DWORD deadline = GetTickCount() + 60000;
  while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 200, QS_ALLINPUT) != WAIT_OBJECT_0 &&
         GetTickCount() < deadline) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    // A first instance stays with its window until it is closed.
    if (HWND window = launcherwine::findMainWindow(pi.dwProcessId, 0)) PostMessageW(window, WM_CLOSE, 0, 0);
  }
  MSG msg;
  Sleep(100);
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(pi.hProcess, &code);
  if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void checkSecondInstance(const std::wstring& exe) {
  // The stand-in first instance: the named mutex and a window with the title.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"vekt_main.exe");
  WCHECK(mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = standInProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"StandInGameLoader";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"StandInGameLoader", L"Tarnveil", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                              wc.hInstance, nullptr);
  WCHECK(window != nullptr);

  const std::wstring log = logFilePath();
  size_t before = sizeOf(log);
  WCHECK_EQ(runLauncher(exe, L"--source=OC --token=abc"), 0u);
  WCHECK_EQ(g_activateCount, 1);
  WCHECK_EQ(g_lastWParam, 0u);
  WCHECK_EQ(g_lastLParam, 0);
  std::string written = readFrom(log, before);
  WCHECK(contains(written, "] : CreateMutex ERROR_ALREADY_EXISTS:vekt_main.exe\r\n"));
  WCHECK(contains(written, "] : FindWindow:Tarnveil\r\n"));
  WCHECK(contains(written, "<") && contains(written, ">wWinMain] : "));
  WCHECK(!contains(written, "CommandLineToArgvW"));  // it stopped before reading its parameters

  // The first instance's window is gone: the second exits quietly.
  DestroyWindow(window);
  before = sizeOf(log);
  WCHECK_EQ(runLauncher(exe, L"--token=abc"), 0u);
  WCHECK_EQ(g_activateCount, 1);
  written = readFrom(log, before);
  WCHECK(contains(written, "CreateMutex ERROR_ALREADY_EXISTS:vekt_main.exe"));
  WCHECK(!contains(written, "FindWindow:"));
  CloseHandle(mutex);
}

void checkFirstInstance(const std::wstring& exe) {
  const std::wstring log = logFilePath();
  const size_t before = sizeOf(log);
  WCHECK_EQ(runLauncher(exe, L"--source=OC --token=abc \"--instGamePath=C:\\Program Files\\Game\""), 0u);
  const std::string written = readFrom(log, before);
  WCHECK(contains(written, "] : Logger::initializePathDir:"));
  WCHECK(contains(written, "\\Orbisk_Center\\Log\\\r\n"));
  WCHECK(contains(written, "] : CreateMutex not ERROR_ALREADY_EXISTS:vekt_main.exe\r\n"));
  WCHECK(contains(written, "CommandLineToArgvW argCount:3 szArgList:--instGamePath=C:\\Program Files\\Game\r\n"));
  WCHECK(contains(written, "{\"instGamePath\":\"C:\\\\Program Files\\\\Game\",\"source\":\"OC\",\"token\":\"abc\"}"));
  // Timestamp: date, time, a point and space-padded milliseconds, then " [".
  const size_t line = written.find("CreateMutex not");
  const size_t start = written.rfind("\r\n", line) == std::string::npos ? 0 : written.rfind("\r\n", line) + 2;
  const std::string stamp = written.substr(start, 25);
  WCHECK(stamp.size() == 25 && stamp[4] == '-' && stamp[7] == '-' && stamp[10] == ' ' && stamp[13] == ':' &&
         stamp[19] == '.' && stamp.substr(23) == " [");
  WCHECK(sizeOf(log.substr(0, log.rfind(L'\\')) + L"\\debug.txt") == 0);
}

void checkMalformedParameters(const std::wstring& exe) {
  const std::wstring log = logFilePath();
  size_t before = sizeOf(log);
  WCHECK_EQ(runLauncher(exe, L"{\\\"token\\\":"), 0u);
  std::string written = readFrom(log, before);
  WCHECK(contains(written, "] : m_strCmdJson is:{\"token\":\r\n"));
  WCHECK(contains(written, "] : reader.parse:{\"token\": false\r\n"));
  WCHECK(contains(written, "] : GameLoaderWnd LoadWeb\r\n"));  // the window opens anyway

  // A command line near the system's limit.
  before = sizeOf(log);
  WCHECK_EQ(runLauncher(exe, L"--source=OC --token=" + std::wstring(30000, L'x')), 0u);
  written = readFrom(log, before);
  WCHECK(contains(written, "\"token\":\"" + std::string(30000, 'x') + "\"}"));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: startup_host <vekt_main.exe built for tests>\n");
    return 2;
  }
  const launcherwine::QuietHomePage quiet;
  checkSplitter();
  checkSecondInstance(argv[1]);
  checkFirstInstance(argv[1]);
  checkMalformedParameters(argv[1]);
  return wincheck::summary();
}
