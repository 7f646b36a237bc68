// Shared pieces of the launcher's Windows test hosts: files, child processes
// and the stand-in windows of the platform client and the game manager.
#pragma once

#include <windows.h>
#include <shlwapi.h>
#include <psapi.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "Common.h"
#include "GameLoaderWnd.h"
#include "Logger.h"
#include "PlatformLink.h"
#include "wincheck.h"
#include "winhttpserver.h"
#include "winpath.h"

namespace launcherwine {

using namespace vekt;

inline std::string readFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::wstring& path, const std::string& content) {
  std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc) << content;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

inline std::wstring tempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring dir = std::wstring(temp) + name;
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

inline std::string hexOf(const unsigned char* bytes, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(digits[bytes[i] >> 4]);
    out.push_back(digits[bytes[i] & 15]);
  }
  return out;
}

struct Child {
  PROCESS_INFORMATION pi = {};
  bool started = false;
};

inline Child start(const std::wstring& exe, const std::wstring& args) {
  Child child;
  std::wstring commandLine = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  child.started = CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                 &child.pi) != FALSE;
  if (!child.started) std::printf("CreateProcessW %ls failed: %lu\n", exe.c_str(), GetLastError());
  return child;
}

// Waits (bounded) for a child; returns its exit code, ending it when it hangs.
inline DWORD finish(Child& child, DWORD waitMs = 60000) {
  if (!child.started) return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(child.pi.hProcess, waitMs) != WAIT_OBJECT_0) {
    std::printf("child %lu did not end\n", child.pi.dwProcessId);
    TerminateProcess(child.pi.hProcess, 99);
    WaitForSingleObject(child.pi.hProcess, 5000);
  }
  GetExitCodeProcess(child.pi.hProcess, &code);
  CloseHandle(child.pi.hProcess);
  CloseHandle(child.pi.hThread);
  child.started = false;
  return code;
}

// A stand-in window in its own process: the platform client or the game manager.
struct StandIn {
  Child process;
  std::wstring record;
  std::wstring handle;  // decimal

  StandIn(const std::wstring& exe, const std::wstring& name, const std::wstring& mode = L"") {
    const std::wstring dir = tempFolder(L"vekt_standins");
    record = dir + L"\\" + name + L".txt";
    const std::wstring ready = dir + L"\\" + name + L".ready";
    DeleteFileW(ready.c_str());
    process = start(exe, L"\"" + record + L"\" \"" + ready + L"\" " + mode);
    for (int i = 0; i < 600 && handle.empty() && process.started; ++i) {
      if (PathFileExistsW(ready.c_str())) handle = AnsiToWide(readFile(ready));
      if (handle.empty()) Sleep(50);
    }
    WCHECK(!handle.empty());
  }
  HWND window() const { return reinterpret_cast<HWND>(WindowHandleFromDecimal(handle)); }
  // What it has recorded so far (each record is flushed before it answers).
  std::vector<std::string> received() const { return lines(readFile(record)); }
  // Closes the window and returns what it recorded.
  std::vector<std::string> close() {
    PostMessageW(window(), WM_CLOSE, 0, 0);
    WCHECK_EQ(finish(process), 0u);
    return lines(readFile(record));
  }
};

// The launcher names its log after K32GetModuleBaseNameA, or "" when that
// fails. It fails for every process under qemu-emulated 32-bit Wine, whose
// server cannot read an emulated process's memory: probe it on this process.
inline const wchar_t* launcherBaseName() {
  char own[260] = {};
  if (K32GetModuleBaseNameA(GetCurrentProcess(), nullptr, own, sizeof own) != 0) return L"vekt_main.exe";
  static bool told = false;
  if (!told) std::printf("note: no module base names here; the launcher's log is named by its fallback\n");
  told = true;
  return L"";
}

inline std::wstring launcherLog() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return GetLocalAppDataDir() + L"\\Orbisk_Center\\Log\\" + launcherBaseName() + L"_" + std::to_wstring(st.wYear) +
         L"_" + std::to_wstring(st.wMonth) + L"_" + std::to_wstring(st.wDay) + L".log";
}

// The launcher's main window owned by process pid, waiting for it up to waitMs.
inline HWND findMainWindow(DWORD pid, DWORD waitMs = 60000) {
  const DWORD deadline = GetTickCount() + waitMs;
  do {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"GameLoaderResClass", nullptr); w;
         w = FindWindowExW(nullptr, w, L"GameLoaderResClass", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid) return w;
    }
    if (waitMs) Sleep(50);
  } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
  return nullptr;
}

// Handles this process's messages until none is left (the window's own work
// then is done), at most waitMs.
inline void pump(DWORD waitMs = 300) {
  const DWORD deadline = GetTickCount() + waitMs;
  MSG msg;
  do {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
}

// Handles this process's messages until cond holds, at most waitMs; the
// launcher answers at its own pace on a shared machine or under emulation.
template <class Cond>
bool waitUntil(Cond cond, DWORD waitMs = 60000) {
  const DWORD deadline = GetTickCount() + waitMs;
  while (!cond()) {
    if (static_cast<LONG>(deadline - GetTickCount()) <= 0) return false;
    pump(50);
  }
  return true;
}

struct ChildTextSearch {
  const wchar_t* text;
  HWND child;
};

inline BOOL CALLBACK findChildText(HWND child, LPARAM lp) {
  auto* search = reinterpret_cast<ChildTextSearch*>(lp);
  wchar_t shown[128] = {};
  GetWindowTextW(child, shown, 128);
  if (std::wstring(shown) == search->text) search->child = child;
  return search->child == nullptr;
}

// The child window of `parent` that shows `text`, or null.
inline HWND findChildWithText(HWND parent, const wchar_t* text) {
  ChildTextSearch search{text, nullptr};
  EnumChildWindows(parent, findChildText, reinterpret_cast<LPARAM>(&search));
  return search.child;
}

inline HWND waitForWindow(const wchar_t* cls, const wchar_t* title, DWORD pid, DWORD waitMs = 60000) {
  for (DWORD waited = 0;; waited += 50) {
    for (HWND w = FindWindowExW(nullptr, nullptr, cls, title); w; w = FindWindowExW(nullptr, w, cls, title)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && IsWindowVisible(w)) return w;
    }
    if (waited >= waitMs) return nullptr;
    Sleep(50);
  }
}

// A home page that neither loads nor fails, for every launcher this test
// program builds or starts (inherited by the started ones): a loopback server
// that never answers. Under Wine, which has no HTML engine here, any page that
// answers (about:blank included) ends in a navigation error, and nothing
// leaves the machine. Only the launcher built for tests reads the variable.
struct QuietHomePage {
  winhttp::LoopbackServer server{0};
  QuietHomePage() { SetEnvironmentVariableW(kTestHomePageVariable, server.address().c_str()); }
};

// A test program that builds launcher windows in its own process: the
// screenshot folder made, its own log folder, the toolkit's instance, OLE on
// this thread, and a quiet home page.
struct InProcessLauncher {
  std::wstring shots;
  QuietHomePage quiet;
  InProcessLauncher(const wchar_t* shotsFolder, const wchar_t* logFolder) : shots(winpath::fromBuild(shotsFolder)) {
    CreateDirectoryW(shots.substr(0, shots.rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(shots.c_str(), nullptr);
    Logger::initializePathDir(WideToMulti(tempFolder(logFolder) + L"\\", kCodePageAnsi));
    VantorUI::CWindowWnd::SetInstance(GetModuleHandleW(nullptr));
    OleInitialize(nullptr);
  }
  ~InProcessLauncher() { OleUninitialize(); }
  InProcessLauncher(const InProcessLauncher&) = delete;
  InProcessLauncher& operator=(const InProcessLauncher&) = delete;
};

}  // namespace launcherwine
