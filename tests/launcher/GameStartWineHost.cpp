// The web page and the game start end to end under Wine and Xvfb, with Wine's
// real WebBrowser object in the launcher's browser control:
//  - the real vekt_main.exe built for tests pointed at pages that fail (a
//    missing file page, a refused loopback port, an HTTP 404 served here): the
//    browser's own NavigateError brings "网络连接异常" once; after OK the
//    launcher ends and the stand-in platform client has its exit notice;
//  - the shipped vekt_main.exe never asks for the page the environment names;
//  - the main window built here, its page played by this test: the bridge taken
//    through the document host's GetExternal, good and bad requests, forged
//    1131 tokens, two queued "open_game" (one start), the stand-in vekt.exe in
//    a folder with spaces recording its arguments; a missing vekt.exe gives
//    1347 to the game manager. Only the close without a game sends the
//    platform client its exit notice.
// Wine here has no HTML engine: no page renders and no DocumentComplete comes,
// so the page's part is played through the bridge's COM interface.
// Usage: game_start_host <shipped vekt_main.exe> <vekt_main.exe built for tests> <StandinWindow.exe>
//                        <StandinRecordingGame.exe> <screenshot folder>
#include <windows.h>
#include <mshtmhst.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <shlwapi.h>

#include <string>
#include <vector>

#include "GameLoaderWnd.h"
#include "InstallRegistration.h"
#include "LauncherWineSupport.h"
#include "Logger.h"
#include "StartUp.h"
#include "winpath.h"
#include "winshot.h"

using namespace vekt;
using namespace launcherwine;

namespace {

std::wstring g_shots;

std::string logSince(size_t from) {
  const std::string text = readFile(MultiToWide(Logger::instance().fileName(), kCodePageAnsi));
  return from < text.size() ? text.substr(from) : std::string();
}

size_t logSize() { return readFile(MultiToWide(Logger::instance().fileName(), kCodePageAnsi)).size(); }

size_t countOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// ---- the real launcher and a page that fails ----

// The box "网络连接异常" of process pid, checked and pictured, then confirmed.
void confirmPageErrorBox(const Child& run, const std::wstring& shotName) {
  HWND box = waitForWindow(L"#32770", L"\u63d0\u793a", run.pi.dwProcessId);  // 提示
  if (!WCHECK(box != nullptr)) return;
  HWND text = findChildWithText(box, L"\u7f51\u7edc\u8fde\u63a5\u5f02\u5e38");  // 网络连接异常
  WCHECK(text != nullptr);
  const std::string path = WideToMulti(g_shots + L"\\" + shotName, kCodePageAnsi);
  const winshot::Picture shot = winshot::captureWhenPainted(box, path);
  WCHECK(shot.saved);
  WCHECK(shot.at(shot.width / 2, shot.height / 2) != RGB(0, 0, 0));
  WCHECK(text && winshot::textOfChild(shot, box, text, "of the page error box").drawn());
  // The page never loaded: the main window stayed hidden.
  HWND window = findMainWindow(run.pi.dwProcessId, 0);
  WCHECK(window && !IsWindowVisible(window));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  // One box for the one failure.
  Sleep(500);
  WCHECK(waitForWindow(L"#32770", L"\u63d0\u793a", run.pi.dwProcessId, 0) == nullptr);
}

// Every failure of the page ends the same way, whatever its status: one box,
// then the launcher ends and the platform client has one exit notice.
void checkFailedPagesClose(const std::wstring& launcher, const std::wstring& standInExe) {
  winhttp::LoopbackServer notFound(404, "Not Found");
  const std::wstring refused = L"http://127.0.0.1:" + std::to_wstring(winhttp::LoopbackServer::refusedPort()) + L"/";
  const struct {
    const wchar_t* name;
    std::wstring page;
  } pages[] = {
      {L"missing file page", L"file:///" + tempFolder(L"vekt_pages") + L"\\no-such-page.html"},
      {L"refused connection", refused},
      {L"HTTP 404", notFound.address(L"/client/index/vekt")},
  };
  wchar_t quiet[512] = {};
  GetEnvironmentVariableW(kTestHomePageVariable, quiet, 512);
  for (const auto& page : pages) {
    std::printf("page: %ls\n", page.name);
    StandIn platform(standInExe, L"page_platform");
    SetEnvironmentVariableW(kTestHomePageVariable, page.page.c_str());
    Child run = start(launcher, L"--winid=" + platform.handle + L" --source=OC --token=abc");
    SetEnvironmentVariableW(kTestHomePageVariable, quiet);
    confirmPageErrorBox(run, std::wstring(L"launcher-failed-page-") + std::to_wstring(&page - pages) + L".png");
    WCHECK_EQ(finish(run, 60000), 0u);
    WCHECK_EQ(platform.close().size(), 1u);
  }
  WCHECK(notFound.connections() >= 1);
}

// The shipped launcher opens the built-in site whatever the environment says:
// the page named there is never asked for. (The site cannot be reached from
// here, so that ends in the page error box too.)
void checkShippedIgnoresPageVariable(const std::wstring& shipped, const std::wstring& standInExe) {
  winhttp::LoopbackServer elsewhere(200);
  StandIn platform(standInExe, L"shipped_platform");
  wchar_t quiet[512] = {};
  GetEnvironmentVariableW(kTestHomePageVariable, quiet, 512);
  SetEnvironmentVariableW(kTestHomePageVariable, elsewhere.address().c_str());
  Child run = start(shipped, L"--winid=" + platform.handle + L" --source=OC --token=abc");
  SetEnvironmentVariableW(kTestHomePageVariable, quiet);
  confirmPageErrorBox(run, L"launcher-shipped-site-unreachable.png");
  WCHECK_EQ(finish(run, 60000), 0u);
  WCHECK_EQ(elsewhere.connections(), 0);
  WCHECK_EQ(platform.close().size(), 1u);
}

// ---- the page played through the bridge ----

struct GameFolder {
  std::wstring dir;
  std::wstring record;
  // The uninstall key names dir as the install directory; with game set, vekt.exe is that stand-in.
  GameFolder(const wchar_t* name, const std::wstring& game)
      : dir(tempFolder(name)), record(dir + L"\\command-line.txt") {
    DeleteFileW(record.c_str());
    const std::wstring exe = dir + L"\\vekt.exe";
    DeleteFileW(exe.c_str());
    if (!game.empty()) WCHECK(CopyFileW(game.c_str(), exe.c_str(), FALSE));
    const std::wstring icon = dir + L"\\vekt.ico";
    WCHECK(SHSetValueW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str(), L"DisplayIcon", REG_SZ, icon.c_str(),
                       static_cast<DWORD>((icon.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
  }
  ~GameFolder() { SHDeleteKeyW(HKEY_CURRENT_USER, UninstallKeyPath(kGameId).c_str()); }
  std::vector<std::string> recorded() const { return lines(readFile(record)); }
};

struct PageWindow {
  GameLoaderWnd* window = nullptr;
  HWND hwnd = nullptr;
  CIeBrowserUI* ie = nullptr;
  IDispatch* external = nullptr;

  explicit PageWindow(const std::wstring& cmdJson) {
    window = new GameLoaderWnd(cmdJson);
    hwnd = window->Create(nullptr, L"Tarnveil", kMainWindowStyle & ~WS_VISIBLE, 0, 0, 0, 0, 0);
    if (!WCHECK(hwnd != nullptr)) return;
    window->CenterWindow();
    pump();
    ie = dynamic_cast<CIeBrowserUI*>(window->FindControl(L"ie"));
    if (!WCHECK(ie != nullptr)) return;
    IDocHostUIHandler* host = nullptr;
    if (WCHECK(SUCCEEDED(ie->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&host))))) {
      WCHECK(host->GetExternal(&external) == S_OK && external);
      host->Release();
    }
  }
  ~PageWindow() {
    if (external) external->Release();
    waitUntil([&] { return !IsWindow(hwnd); }, 20000);
  }

  HRESULT call(const VARIANT* arguments, UINT count) const {
    DISPPARAMS params{const_cast<VARIANT*>(arguments), nullptr, count, 0};
    return external ? external->Invoke(1000, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr)
                    : E_POINTER;
  }
  HRESULT request(const std::wstring& text) const {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    const HRESULT hr = call(&argument, 1);
    VariantClear(&argument);
    return hr;
  }
};

std::wstring jsonText(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') out += L'\\';
    out += c;
  }
  return out;
}

void checkPageStartsTheGame(const std::wstring& standInExe, const std::wstring& gameExe) {
  StandIn platform(standInExe, L"bridge_platform");
  StandIn manager(standInExe, L"bridge_manager");
  GameFolder game(L"vekt game folder", gameExe);
  const std::wstring installPath = L"C:\\Program Files (x86)\\vekt";
  const size_t before = logSize();
  PageWindow page(L"{\"source\":\"OC\",\"token\":\"abc\",\"winid\":\"" + platform.handle + L"\",\"gameMgrId\":\"" +
                  manager.handle + L"\",\"typeMode\":\"1\",\"instGamePath\":\"" + jsonText(installPath) + L"\"}");
  if (!page.external) return;
  // The browser is hidden until the page reports it has loaded (which never happens here).
  WCHECK(page.ie->GetHostWindow() && !IsWindowVisible(page.ie->GetHostWindow()));
  WCHECK(!IsWindowVisible(page.hwnd));

  // The script's method name, then requests the bridge must refuse without effect.
  wchar_t exact[] = L"g_callCppFunc";
  wchar_t capitals[] = L"G_CALLCPPFUNC";
  LPOLESTR names[] = {exact};
  DISPID id = 0;
  WCHECK(page.external->GetIDsOfNames(IID_NULL, names, 1, 0, &id) == S_OK && id == 1000);
  names[0] = capitals;
  WCHECK_EQ(page.external->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  const std::wstring huge = L"{\"funcation_name\":\"min_wnd\",\"pad\":\"" + std::wstring(1 << 20, L'x') + L"\"}";
  const std::wstring refused[] = {L"",
                                  L"not json",
                                  L"[\"min_wnd\"]",
                                  L"\"min_wnd\"",
                                  L"{\"funcation_name\":5}",
                                  L"{\"function_name\":\"min_wnd\"}",
                                  L"{\"funcation_name\":\"MIN_WND\"}",
                                  L"{\"funcation_name\":\"open_game \"}",
                                  huge};
  for (const std::wstring& text : refused) WCHECK_EQ(page.request(text), S_OK);
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 5;
  WCHECK_EQ(page.call(&number, 1), S_OK);
  VARIANT two[2];
  VariantInit(&two[0]);
  VariantInit(&two[1]);
  WCHECK_EQ(page.call(nullptr, 0), DISP_E_MEMBERNOTFOUND);
  WCHECK_EQ(page.call(two, 2), DISP_E_MEMBERNOTFOUND);
  // Forged start messages: tokens the window never gave out.
  for (WPARAM forged : {static_cast<WPARAM>(0), static_cast<WPARAM>(1), static_cast<WPARAM>(0x7fff1234)})
    PostMessageW(page.hwnd, WM_GL_OPEN_GAME, forged, 0);
  pump(1000);
  WCHECK(IsWindow(page.hwnd) && !IsIconic(page.hwnd));
  WCHECK(game.recorded().empty());
  WCHECK(!contains(logSince(before), "CallCppFunc"));

  // A good request: logged by the bridge and acted on by the window.
  WCHECK_EQ(page.request(L"{\"funcation_name\":\"min_wnd\"}"), S_OK);
  WCHECK(waitUntil([&] { return IsIconic(page.hwnd) != FALSE; }, 10000));
  WCHECK(contains(logSince(before), "CallCppFunc] : min_wnd call\r\n"));

  // A double click: two "open_game" queued before the window acts; the token has spaces and quotes.
  const std::wstring startRequest =
      L"{\"funcation_name\":\"open_game\",\"token\":\"t k \\\"q\\\"\",\"ocext\":\"x y\",\"extra\":[1,2]}";
  WCHECK_EQ(page.request(startRequest), S_OK);
  WCHECK_EQ(page.request(startRequest), S_OK);
  WCHECK(waitUntil([&] { return !IsWindow(page.hwnd); }, 30000));
  WCHECK(waitUntil([&] { return game.recorded().size() >= 8; }, 30000));
  Sleep(1500);  // a second start would have been recorded by now
  const std::vector<std::string> recorded = game.recorded();
  const std::string written = logSince(before);
  WCHECK_EQ(countOf(written, "CallCppFunc] : open_game call\r\n"), 2u);
  WCHECK_EQ(countOf(written, "] : GameLoaderWnd LoadGame start\r\n"), 2u);
  const std::vector<std::string> expected = {
      "--source=OC",  "--token=t k \"q\"",
      "--ocext=x y",  "--winid=" + WideToMulti(manager.handle, kCodePageUtf8),
      "--typeMode=1", "--instGamePath=" + WideToMulti(installPath, kCodePageUtf8),
  };
  if (WCHECK_EQ(countOf(readFile(game.record), "start\n"), 1u) && WCHECK(recorded.size() == 3 + expected.size())) {
    std::printf("game started as: %s\n", recorded[1].c_str());
    WCHECK(contains(recorded[2], "vekt game folder\\vekt.exe"));
    for (size_t i = 0; i < expected.size(); ++i) {
      if (!WCHECK(recorded[3 + i] == "arg" + std::to_string(i + 1) + " " + expected[i]))
        std::printf("  got %s\n", recorded[3 + i].c_str());
    }
  }
  // The window closed after the start without an exit notice (the game reports
  // its own end); the game manager heard only of the launch.
  WCHECK_EQ(platform.close().size(), 0u);
  const std::vector<std::string> toManager = manager.close();
  WCHECK(toManager.size() == 1 && toManager[0] == "msg 1348 0 0");
}

void checkMissingGameReported(const std::wstring& standInExe) {
  StandIn platform(standInExe, L"missing_platform");
  StandIn manager(standInExe, L"missing_manager");
  GameFolder game(L"vekt empty folder", L"");
  const size_t before = logSize();
  PageWindow page(L"{\"source\":\"OC\",\"token\":\"abc\",\"winid\":\"" + platform.handle + L"\",\"gameMgrId\":\"" +
                  manager.handle + L"\"}");
  if (!page.external) return;
  WCHECK_EQ(page.request(L"{\"funcation_name\":\"open_game\"}"), S_OK);
  WCHECK(waitUntil([&] { return !IsWindow(page.hwnd); }, 30000));
  WCHECK(contains(logSince(before), " not exists\r\n"));
  WCHECK(contains(logSince(before), "vekt empty folder\\vekt.exe not exists"));
  WCHECK_EQ(platform.close().size(), 1u);
  const std::vector<std::string> toManager = manager.close();
  WCHECK(toManager.size() == 1 && toManager[0] == "msg 1347 0 0");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 6) {
    std::printf(
        "usage: game_start_host <shipped vekt_main.exe> <vekt_main.exe built for tests> <StandinWindow.exe> "
        "<StandinRecordingGame.exe> <shots>\n");
    return 2;
  }
  const InProcessLauncher setUp(argv[5], L"vekt_game_start_log");
  g_shots = setUp.shots;
  checkShippedIgnoresPageVariable(argv[1], argv[3]);
  checkFailedPagesClose(argv[2], argv[3]);
  checkPageStartsTheGame(argv[3], argv[4]);
  checkMissingGameReported(argv[3]);
  return wincheck::summary();
}
