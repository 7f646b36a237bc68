// The tool's window and its browser host in this process, where the browser's
// own LocationURL shows what a copy-data message did:
//  - start-up: class, styles, owner, centring, the first address;
//  - copy-data 100 navigates (bounded by the byte count, ANSI code page),
//    bad navigate data is ignored, 102 is left to default processing,
//    101 destroys the window and frees the mutex;
//  - a second start while one runs ends at once;
//  - a size the system clamps ends the tool without using the dead window;
//  - resizing ends it, moving does not;
//  - an allocation failing inside the window procedure does not leave it.
#include <windows.h>
#include <exdisp.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "BrowserTestSupport.h"
#include "ToolWin.h"
#include "wincheck.h"

namespace {
bool g_failAllocations = false;
}  // namespace

// Every allocation of this program, so a test can make them fail.
void* operator new(std::size_t size) {
  if (!g_failAllocations) {
    if (void* block = std::malloc(size ? size : 1)) return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

using browsertest::pump;
using browsertest::recordReport;
using browsertest::reports;

std::wstring locationOf(const vistrel::ToolWindow& tool) {
  return browsertest::locationOf(tool.browser() ? tool.browser()->browser() : nullptr);
}

// No copy of the tool holds the single-instance name.
bool mutexFree() {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, vistrel::kMutexName);
  if (mutex) CloseHandle(mutex);
  return mutex == nullptr;
}

LRESULT sendCopyData(HWND window, ULONG_PTR code, const void* data, DWORD bytes) {
  COPYDATASTRUCT copy{code, bytes, const_cast<void*>(data)};
  return SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
}

HWND makeOwner() {
  HWND owner = CreateWindowExW(0, L"STATIC", L"in-process owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 900, 700,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  pump(100);
  return owner;
}

vistrel::ToolArguments argumentsFor(HWND owner, int width, int height, const wchar_t* address) {
  vistrel::ToolArguments args;
  args.title = L"In-process tool";
  args.width = width;
  args.height = height;
  args.owner = static_cast<int>(reinterpret_cast<INT_PTR>(owner));
  args.address = address;
  return args;
}

std::unique_ptr<vistrel::ToolWindow> startTool(const vistrel::ToolArguments& args) {
  auto tool = vistrel::ToolWindow::start(GetModuleHandleW(nullptr), args, SW_SHOWNORMAL, recordReport);
  pump(200);
  return tool;
}

void checkStartUp(HWND owner) {
  auto tool = startTool(argumentsFor(owner, 640, 480, L"about:blank#first"));
  if (!WCHECK(tool != nullptr)) return;
  HWND window = tool->window();
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  WCHECK(std::wstring(className) == L"VISTREL");
  WCHECK(GetWindow(window, GW_OWNER) == owner);
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  WCHECK((style & 0x80001) == 0x80001);
  WCHECK((style & WS_CAPTION) == WS_CAPTION);
  WCHECK((style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0);
  // 9 is ORed in; the system keeps the modal frame and drops topmost set this way.
  WCHECK((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) != 0);

  RECT ownerClient{}, rect{};
  GetClientRect(owner, &ownerClient);
  GetWindowRect(window, &rect);
  POINT expected{(ownerClient.right - 640) / 2, (ownerClient.bottom - 480) / 2};
  MapWindowPoints(owner, nullptr, &expected, 1);
  WCHECK_EQ(rect.left, expected.x);
  WCHECK_EQ(rect.top, expected.y);
  WCHECK_EQ(rect.right - rect.left, 640);
  WCHECK_EQ(rect.bottom - rect.top, 480);

  // The browser fills the client area and opened the address from the command line.
  WCHECK(reports().empty());
  HWND control = tool->browser() ? tool->browser()->windowHandle() : nullptr;
  WCHECK(control != nullptr && GetParent(control) == window && IsWindowVisible(control));
  RECT client{};
  GetClientRect(window, &client);
  WCHECK(EqualRect(&client, &tool->browser()->bounds()));
  WCHECK(locationOf(*tool) == L"about:blank#first");
}

void checkCopyData(HWND owner) {
  auto tool = startTool(argumentsFor(owner, 500, 400, L"about:blank"));
  if (!WCHECK(tool != nullptr)) return;
  HWND window = tool->window();

  const char next[] = "about:blank#next";
  WCHECK_EQ(sendCopyData(window, 100, next, sizeof next), 0);
  pump(100);
  WCHECK(locationOf(*tool) == L"about:blank#next");

  // The byte count may run past the NUL: the text still ends there.
  char padded[64] = "about:blank#padded";
  std::memset(padded + 19, 'x', sizeof padded - 19);
  WCHECK_EQ(sendCopyData(window, 100, padded, sizeof padded), 0);
  pump(100);
  WCHECK(locationOf(*tool) == L"about:blank#padded");

  // A byte above 0x7F arrives as the ANSI code page says, not sign-extended.
  const char accented[] = "about:blank#caf\xE9";
  WCHECK_EQ(sendCopyData(window, 100, accented, sizeof accented), 0);
  pump(100);
  wchar_t e9 = 0;
  MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, &e9, 1);
  const std::wstring arrived = locationOf(*tool);
  WCHECK(arrived == std::wstring(L"about:blank#caf") + e9);
  WCHECK(arrived.find(static_cast<wchar_t>(0xFFE9)) == std::wstring::npos);

  // Data without a NUL before its end is not read past its byte count: the
  // text sits right before a page that cannot be read.
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  auto* pages =
      static_cast<char*>(VirtualAlloc(nullptr, info.dwPageSize * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD oldProtection = 0;
  VirtualProtect(pages + info.dwPageSize, info.dwPageSize, PAGE_NOACCESS, &oldProtection);
  const char unterminated[] = "about:blank#unterminated";
  const DWORD unterminatedBytes = sizeof unterminated - 1;
  char* atEdge = pages + info.dwPageSize - unterminatedBytes;
  std::memcpy(atEdge, unterminated, unterminatedBytes);

  const struct {
    const char* name;
    const void* data;
    DWORD bytes;
  } ignored[] = {
      {"no data", nullptr, 0},
      {"data pointer with no bytes", next, 0},
      {"empty text", "", 1},
      {"no NUL inside the byte count", next, 5},
      {"no NUL before an unreadable page", atEdge, unterminatedBytes},
  };
  for (const auto& item : ignored) {
    const LRESULT result = sendCopyData(window, 100, item.data, item.bytes);
    pump(50);
    if (!WCHECK_EQ(result, 0) || !WCHECK(locationOf(*tool) == arrived) || !WCHECK(IsWindow(window))) {
      std::printf("  case: %s\n", item.name);
    }
  }
  VirtualFree(pages, 0, MEM_RELEASE);

  // Other codes are not the tool's.
  WCHECK_EQ(sendCopyData(window, 102, next, sizeof next), 0);
  pump(50);
  WCHECK(IsWindow(window));
  WCHECK(locationOf(*tool) == arrived);

  // 101 ends it and frees the single-instance name.
  WCHECK_EQ(sendCopyData(window, 101, nullptr, 0), 0);
  pump(50);
  WCHECK(!IsWindow(window));
  WCHECK(mutexFree());
}

void checkSingleCopy(HWND owner) {
  auto first = startTool(argumentsFor(owner, 400, 300, L"about:blank#one"));
  if (!WCHECK(first != nullptr)) return;
  RECT before{};
  GetWindowRect(first->window(), &before);
  auto second = startTool(argumentsFor(owner, 400, 300, L"about:blank#two"));
  WCHECK(second == nullptr);
  RECT after{};
  GetWindowRect(first->window(), &after);
  WCHECK(IsWindow(first->window()) && EqualRect(&before, &after));
  WCHECK(locationOf(*first) == L"about:blank#one");
}

void checkSizeRule(HWND owner) {
  auto tool = startTool(argumentsFor(owner, 420, 320, L"about:blank"));
  if (!WCHECK(tool != nullptr)) return;
  HWND window = tool->window();
  SetWindowPos(window, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  pump(50);
  WCHECK(IsWindow(window));
  SetWindowPos(window, nullptr, 60, 70, 420, 320, SWP_NOZORDER);
  pump(50);
  WCHECK(IsWindow(window));
  SetWindowPos(window, nullptr, 0, 0, 421, 320, SWP_NOMOVE | SWP_NOZORDER);
  pump(50);
  WCHECK(!IsWindow(window));
  WCHECK(mutexFree());
}

// Sizes the system will not keep end the tool during start-up: no step after
// that may touch the dead window or build a browser in it.
void checkClampedSizes(HWND owner) {
  const struct {
    int width;
    int height;
  } sizes[] = {{0, 0}, {0, 300}, {-5, -5}, {1, 1}};
  for (const auto& size : sizes) {
    reports().clear();
    auto tool = startTool(argumentsFor(owner, size.width, size.height, L"about:blank"));
    if (!WCHECK(tool == nullptr) || !WCHECK(reports().empty())) {
      std::printf("  size %d x %d\n", size.width, size.height);
    }
    WCHECK(mutexFree());
  }
}

// Reading a navigate request allocates; when that fails the request is
// dropped and the tool carries on.
void checkAllocationFailure(HWND owner) {
  auto tool = startTool(argumentsFor(owner, 460, 340, L"about:blank#before"));
  if (!WCHECK(tool != nullptr)) return;
  const char address[] = "about:blank#an-address-too-long-for-any-small-string-buffer";
  LRESULT result = -1;
  bool escaped = false;
  g_failAllocations = true;
  try {
    result = sendCopyData(tool->window(), 100, address, sizeof address);
  } catch (...) {
    escaped = true;
  }
  g_failAllocations = false;
  WCHECK(!escaped);
  WCHECK_EQ(result, 0);
  WCHECK(IsWindow(tool->window()));
  pump(50);
  WCHECK(locationOf(*tool) == L"about:blank#before");
  WCHECK_EQ(sendCopyData(tool->window(), 100, address, sizeof address), 0);
  pump(100);
  WCHECK(locationOf(*tool) == L"about:blank#an-address-too-long-for-any-small-string-buffer");
}

// A thread that never set up COM or OLE: the tool sets up OLE itself (not
// just COM, which Wine's input method may start with the thread's first
// window) and gets its browser.
DWORD WINAPI startWithoutOle(void* owner) {
  reports().clear();
  auto tool = vistrel::ToolWindow::start(GetModuleHandleW(nullptr),
                                         argumentsFor(static_cast<HWND>(owner), 480, 360, L"about:blank#own"), SW_HIDE,
                                         recordReport);
  pump(200);
  const HRESULT oleAgain = OleInitialize(nullptr);
  WCHECK_EQ(oleAgain, S_FALSE);  // S_OK would mean OLE was not set up yet
  if (SUCCEEDED(oleAgain)) OleUninitialize();
  if (WCHECK(tool != nullptr)) {
    WCHECK(reports().empty());
    WCHECK(tool->browser() && tool->browser()->browser() != nullptr);
    WCHECK(locationOf(*tool) == L"about:blank#own");
  }
  tool.reset();
  pump(50);
  return 0;
}

void checkOleOnItsOwn(HWND owner) {
  HANDLE thread = CreateThread(nullptr, 0, startWithoutOle, owner, 0, nullptr);
  WCHECK_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  CloseHandle(thread);
}

}  // namespace

int wmain() {
  HWND firstOwner = makeOwner();
  checkOleOnItsOwn(firstOwner);
  DestroyWindow(firstOwner);
  vekt::browser::OleApartment ole;
  if (!WCHECK(ole.ok())) return wincheck::summary();
  HWND owner = makeOwner();
  checkStartUp(owner);
  checkCopyData(owner);
  checkSingleCopy(owner);
  checkSizeRule(owner);
  checkClampedSizes(owner);
  checkAllocationFailure(owner);
  DestroyWindow(owner);
  return wincheck::summary();
}
