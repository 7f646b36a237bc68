// Vistrel.exe as another program meets it, with a stand-in owner window:
//  - its class name resource and DPI-aware manifest;
//  - started centred on the owner's client area, owned by it, topmost with a
//    modal frame, with the browser inside and no error box;
//  - a picture of the tool over its owner (PNG in the build folder, probed);
//  - a second start ends at once with 0 and leaves the first as it was;
//  - copy-data sent from this process: navigate requests (good and bad) and
//    code 102 leave it running, 101 ends it with 0;
//  - moving it from outside does not end it, resizing does (exit code 0);
//  - owner 0 takes the foreground window;
//  - bad command lines end with 0 and never leave a window behind.
// Usage: vistrel_wine_host <Vistrel.exe> <StandinOwner.exe> <folder for pictures>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "wincheck.h"
#include "winpath.h"
#include "winshot.h"

namespace {

// Upper bounds only: generous enough for the PE32 build under emulation.
constexpr DWORD kStartWithin = 60000;
constexpr DWORD kEndWithin = 60000;

std::wstring g_vistrel;
std::wstring g_standin;
std::string g_pictures;

struct Started {
  HANDLE process = nullptr;
  DWORD id = 0;
};

Started startProgram(const std::wstring& program, const std::wstring& arguments, WORD showCommand = SW_SHOWNORMAL) {
  std::wstring line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showCommand;
  PROCESS_INFORMATION info{};
  Started started;
  if (CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    CloseHandle(info.hThread);
    started.process = info.hProcess;
    started.id = info.dwProcessId;
  }
  return started;
}

// Exit code, or STILL_ACTIVE when it did not end in time.
DWORD waitForExit(const Started& program, DWORD milliseconds) {
  if (!program.process) return STILL_ACTIVE;
  WaitForSingleObject(program.process, milliseconds);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(program.process, &code);
  return code;
}

void finish(Started& program) {
  if (!program.process) return;
  if (waitForExit(program, 0) == STILL_ACTIVE) TerminateProcess(program.process, 99);
  WaitForSingleObject(program.process, 5000);
  CloseHandle(program.process);
  program.process = nullptr;
}

struct WindowSearch {
  DWORD process;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (owner == search->process && std::wstring(name) == search->className) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND findWindowOf(DWORD process, const wchar_t* className) {
  WindowSearch search{process, className, nullptr};
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND waitForWindow(const Started& program, const wchar_t* className, DWORD milliseconds = kStartWithin) {
  const DWORD end = GetTickCount() + milliseconds;
  do {
    if (HWND window = findWindowOf(program.id, className)) return window;
    if (waitForExit(program, 0) != STILL_ACTIVE) return nullptr;
    Sleep(50);
  } while (static_cast<int>(end - GetTickCount()) > 0);
  return nullptr;
}

std::wstring number(HWND window) { return std::to_wstring(static_cast<long long>(reinterpret_cast<INT_PTR>(window))); }

std::wstring toolArguments(HWND owner, int width, int height, const wchar_t* address = L"about:blank") {
  return L"\"Vistrel test\" " + std::to_wstring(width) + L" " + std::to_wstring(height) + L" " + number(owner) +
         L" \"" + address + L"\"";
}

// Where the tool's window should stand for an owner.
POINT expectedCorner(HWND owner, int width, int height) {
  RECT client{};
  GetClientRect(owner, &client);
  POINT corner{(client.right - width) / 2, (client.bottom - height) / 2};
  MapWindowPoints(owner, nullptr, &corner, 1);
  return corner;
}

bool checkCentred(HWND tool, HWND owner, int width, int height) {
  RECT rect{};
  GetWindowRect(tool, &rect);
  const POINT corner = expectedCorner(owner, width, height);
  const bool ok = WCHECK_EQ(rect.left, corner.x) & WCHECK_EQ(rect.top, corner.y) &
                  WCHECK_EQ(rect.right - rect.left, width) & WCHECK_EQ(rect.bottom - rect.top, height);
  if (!ok) {
    std::printf("  window {%ld,%ld,%ld,%ld}, corner wanted (%ld,%ld)\n", rect.left, rect.top, rect.right, rect.bottom,
                corner.x, corner.y);
  }
  return ok;
}

LRESULT sendCopyData(HWND window, ULONG_PTR code, const void* data, DWORD bytes, bool* answered) {
  COPYDATASTRUCT copy{code, bytes, const_cast<void*>(data)};
  DWORD_PTR result = 0;
  *answered = SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG, 10000,
                                  &result) != 0;
  return static_cast<LRESULT>(result);
}

constexpr COLORREF kOwnerColour = RGB(0, 128, 255);

// Probes of one picture: the owner's colour beside the tool, something else
// inside it. Empty when all hold, else the first that failed.
const char* failedProbe(const winshot::Picture& picture, const RECT& pictureRect, HWND owner, HWND tool) {
  RECT toolRect{};
  GetWindowRect(tool, &toolRect);
  const auto probe = [&](LONG x, LONG y) { return picture.at(x - pictureRect.left, y - pictureRect.top); };
  RECT ownerClient{};
  GetClientRect(owner, &ownerClient);
  POINT beside{ownerClient.left + 10, ownerClient.bottom - 10};
  MapWindowPoints(owner, nullptr, &beside, 1);
  if (probe(beside.x, beside.y) != kOwnerColour) return "owner colour below the tool";
  if (probe(toolRect.left - 5, (toolRect.top + toolRect.bottom) / 2) != kOwnerColour) {
    return "owner colour left of the tool";
  }
  if (probe((toolRect.left + toolRect.right) / 2, (toolRect.top + toolRect.bottom) / 2) == kOwnerColour) {
    return "tool centre";
  }
  RECT toolClient{};
  GetClientRect(tool, &toolClient);
  POINT clientCorner{toolClient.left + 2, toolClient.top + 2};
  MapWindowPoints(tool, nullptr, &clientCorner, 1);
  if (probe(clientCorner.x, clientCorner.y) == kOwnerColour) return "tool client corner";
  return nullptr;
}

// Other tests may open windows on the same display: a picture spoilt by one
// is taken again after bringing the owner and the tool back to the front.
void checkPicture(HWND owner, HWND tool) {
  RECT ownerRect{};
  GetWindowRect(owner, &ownerRect);
  const std::string file = g_pictures + "/vistrel_over_owner.png";
  const char* failed = "no picture";
  for (int attempt = 0; attempt < 3 && failed; ++attempt) {
    if (attempt > 0) {
      SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      SetWindowPos(tool, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    Sleep(500);
    const winshot::Picture picture = winshot::captureRect(ownerRect, file);
    if (!WCHECK(picture.saved)) return;
    failed = failedProbe(picture, ownerRect, owner, tool);
  }
  std::printf("picture: %s\n", file.c_str());
  if (!WCHECK(failed == nullptr)) std::printf("  probe: %s\n", failed);
}

// The program's resources: the class name in string 109 and a manifest that
// declares it DPI-aware. (Wine reports every window as DPI-aware, so the
// declaration is read from the file rather than from the running tool.)
void checkResources() {
  HMODULE file = LoadLibraryExW(g_vistrel.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!WCHECK(file != nullptr)) return;
  wchar_t className[100] = {};
  WCHECK(LoadStringW(file, 109, className, 100) > 0 && std::wstring(className) == L"VISTREL");
  HRSRC found = FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  std::string manifest;
  if (WCHECK(found != nullptr)) {
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(file, found)));
    if (bytes) manifest.assign(bytes, SizeofResource(file, found));
  }
  WCHECK(manifest.find(">true</dpiAware>") != std::string::npos);
  WCHECK(manifest.find("level=\"asInvoker\"") != std::string::npos);
  FreeLibrary(file);
}

// A copy of the tool that started properly: window found, browser inside, no error box.
HWND startedTool(Started& tool, const char* name) {
  HWND window = waitForWindow(tool, L"VISTREL");
  bool ok = WCHECK(window != nullptr);
  HWND browser = nullptr;
  for (DWORD waited = 0; ok && !browser && waited < kStartWithin; waited += 50) {
    Sleep(50);
    browser = FindWindowExW(window, nullptr, L"Shell Embedding", nullptr);
  }
  ok = ok && WCHECK(browser != nullptr);
  ok = WCHECK(findWindowOf(tool.id, L"#32770") == nullptr) && ok;
  if (!ok) std::printf("  start: %s\n", name);
  return window;
}

void checkRunningTool(HWND owner) {
  const int width = 640, height = 480;
  Started tool = startProgram(g_vistrel, toolArguments(owner, width, height));
  HWND window = startedTool(tool, "owned, shown normally");
  if (!window) return finish(tool);
  checkCentred(window, owner, width, height);
  WCHECK(GetWindow(window, GW_OWNER) == owner);
  WCHECK((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) != 0);
  checkPicture(owner, window);

  // A second copy ends at once; the first keeps its place.
  RECT before{};
  GetWindowRect(window, &before);
  Started second = startProgram(g_vistrel, toolArguments(owner, 300, 200));
  WCHECK_EQ(waitForExit(second, kEndWithin), 0u);
  finish(second);
  RECT after{};
  GetWindowRect(window, &after);
  WCHECK(IsWindow(window) && EqualRect(&before, &after));

  // Copy-data from another process: nothing here may end or hang the tool.
  char padded[256] = "about:blank#padded";
  const char accented[] = "about:blank#caf\xE9\x80\xFF";
  const char next[] = "about:blank#next";
  const struct {
    const char* name;
    ULONG_PTR code;
    const void* data;
    DWORD bytes;
  } harmless[] = {
      {"navigate", 100, next, sizeof next},
      {"navigate with the count past the NUL", 100, padded, sizeof padded},
      {"navigate with bytes above 0x7F", 100, accented, sizeof accented},
      {"navigate without data", 100, nullptr, 0},
      {"navigate without a NUL", 100, next, 6},
      {"navigate to an empty text", 100, "", 1},
      {"code 102", 102, next, sizeof next},
      {"code 0 without data", 0, nullptr, 0},
  };
  for (const auto& item : harmless) {
    bool answered = false;
    const LRESULT result = sendCopyData(window, item.code, item.data, item.bytes, &answered);
    Sleep(100);
    if (!WCHECK(answered) || !WCHECK_EQ(result, 0) || !WCHECK(IsWindow(window)) ||
        !WCHECK_EQ(waitForExit(tool, 0), static_cast<DWORD>(STILL_ACTIVE))) {
      std::printf("  copy-data case: %s\n", item.name);
    }
  }

  // Moving it from outside keeps it; so does setting the same size.
  SetWindowPos(window, nullptr, before.left + 40, before.top + 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Sleep(300);
  WCHECK(IsWindow(window));
  SetWindowPos(window, nullptr, before.left, before.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  Sleep(300);
  WCHECK(IsWindow(window));
  WCHECK_EQ(waitForExit(tool, 0), static_cast<DWORD>(STILL_ACTIVE));

  // Resizing it from outside ends it.
  SetWindowPos(window, nullptr, 0, 0, width + 20, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  WCHECK_EQ(waitForExit(tool, kEndWithin), 0u);
  finish(tool);
}

// Started hidden, so the window system sets up no COM for the tool (an
// activated window lets Wine's input method do that): the browser is there
// only because the tool initialised OLE itself.
void checkCloseCode(HWND owner) {
  Started tool = startProgram(g_vistrel, toolArguments(owner, 500, 360), SW_HIDE);
  HWND window = startedTool(tool, "hidden");
  if (window) {
    bool answered = false;
    WCHECK_EQ(sendCopyData(window, 101, nullptr, 0, &answered), 0);
    WCHECK(answered);
    WCHECK_EQ(waitForExit(tool, kEndWithin), 0u);
  }
  finish(tool);
}

// Another test's window may take the foreground between our choice and the
// tool's start; that attempt is repeated.
void checkForegroundOwner(HWND owner) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    SetForegroundWindow(owner);
    Sleep(300);
    if (GetForegroundWindow() != owner) continue;
    Started tool = startProgram(g_vistrel, toolArguments(nullptr, 520, 380));
    HWND window = startedTool(tool, "owner 0");
    const bool disturbed = window && GetWindow(window, GW_OWNER) != owner && GetForegroundWindow() != owner;
    if (window && !disturbed) {
      WCHECK(GetWindow(window, GW_OWNER) == owner);
      checkCentred(window, owner, 520, 380);
    }
    if (window) {
      bool answered = false;
      sendCopyData(window, 101, nullptr, 0, &answered);
      WCHECK_EQ(waitForExit(tool, kEndWithin), 0u);
    }
    finish(tool);
    if (!disturbed) return;
  }
  WCHECK(!"the stand-in owner could not stay in the foreground");
}

void checkBadCommandLines(HWND owner) {
  const HWND notAWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(999999999));
  WCHECK(!IsWindow(notAWindow));
  const std::wstring o = number(owner);
  const struct {
    const char* name;
    std::wstring arguments;
  } cases[] = {
      {"no arguments", L""},
      {"four arguments", L"t 640 480 " + o},
      {"six arguments", L"t 640 480 " + o + L" about:blank extra"},
      {"owner that is no window", L"t 640 480 " + number(notAWindow) + L" about:blank"},
      {"sizes that are no numbers", L"t wide tall " + o + L" about:blank"},
      {"negative sizes", L"t -640 -480 " + o + L" about:blank"},
      {"size 0", L"t 0 480 " + o + L" about:blank"},
  };
  for (const auto& c : cases) {
    Started tool = startProgram(g_vistrel, c.arguments);
    const DWORD code = waitForExit(tool, kEndWithin);
    const bool ok =
        WCHECK(tool.process != nullptr) & WCHECK_EQ(code, 0u) & WCHECK(findWindowOf(tool.id, L"#32770") == nullptr);
    if (!ok) std::printf("  command line case: %s (exit %lu)\n", c.name, static_cast<unsigned long>(code));
    finish(tool);
  }

  // An empty address still gives a running tool that ends normally.
  Started tool = startProgram(g_vistrel, toolArguments(owner, 450, 350, L""));
  HWND window = startedTool(tool, "empty address");
  if (window) {
    bool answered = false;
    sendCopyData(window, 101, nullptr, 0, &answered);
    WCHECK_EQ(waitForExit(tool, kEndWithin), 0u);
  }
  finish(tool);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::printf("usage: vistrel_wine_host <Vistrel.exe> <StandinOwner.exe> <picture folder>\n");
    return 2;
  }
  g_vistrel = winpath::fromBuild(argv[1]);
  g_standin = winpath::fromBuild(argv[2]);
  g_pictures = std::string("Z:") + argv[3];

  Started standin = startProgram(g_standin, L"120 90 1000 760");
  HWND owner = waitForWindow(standin, L"StandinOwner");
  if (!WCHECK(owner != nullptr)) {
    finish(standin);
    return wincheck::summary();
  }
  Sleep(300);
  checkResources();
  checkRunningTool(owner);
  checkCloseCode(owner);
  checkForegroundOwner(owner);
  checkBadCommandLines(owner);
  PostMessageW(owner, WM_CLOSE, 0, 0);
  finish(standin);
  return wincheck::summary();
}
