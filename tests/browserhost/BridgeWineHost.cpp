// The script bridge and the browser event sink driven through their IDispatch
// interfaces, as the page's script and the WebBrowser object call them; what
// they post arrives at a real stand-in window and is checked there.
#include <windows.h>
#include <exdispid.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "ScriptBridgeWin.h"
#include "WebBrowserEventWin.h"
#include "wincheck.h"

namespace {

using vekt::browser::CWebBrowserEvent;
using vekt::browser::RequestTextQueue;
using vekt::browser::ScriptBridge;

struct Posted {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

HWND makeStandinWindow() {
  return CreateWindowExW(0, L"STATIC", L"stand-in main window", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

std::vector<Posted> drain(HWND window) {
  std::vector<Posted> posted;
  MSG msg;
  while (PeekMessageW(&msg, window, WM_USER, 0x7FFF, PM_REMOVE))
    posted.push_back({msg.message, msg.wParam, msg.lParam});
  return posted;
}

class BstrArg {
 public:
  explicit BstrArg(const std::wstring& text) {
    VariantInit(&value_);
    value_.vt = VT_BSTR;
    value_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  ~BstrArg() { VariantClear(&value_); }
  VARIANT& get() { return value_; }

 private:
  VARIANT value_;
};

HRESULT callBridge(IDispatch* bridge, VARIANT* args, UINT count) {
  DISPPARAMS params{args, nullptr, count, 0};
  return bridge->Invoke(1000, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

void testNames(IDispatch* bridge) {
  struct Case {
    const wchar_t* name;
    HRESULT hr;
    DISPID id;
  };
  const Case cases[] = {
      {L"g_callCppFunc", S_OK, 1000},
      {L"G_CALLCPPFUNC", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {L"g_callcppfunc", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {L"g_callCppFunc2", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {L"", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
  };
  for (const Case& c : cases) {
    std::wstring name = c.name;
    LPOLESTR names[] = {&name[0]};
    DISPID id = 12345;
    WCHECK_EQ(bridge->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), c.hr);
    WCHECK_EQ(id, c.id);
  }
}

void testRequests(HWND window, IDispatch* bridge, RequestTextQueue& queue, std::vector<std::string>& log) {
  struct Case {
    std::wstring text;
    UINT message;  // 0: nothing posted
    const char* logLine;
  };
  const Case cases[] = {
      {L"{\"funcation_name\":\"min_wnd\"}", 1129, "min_wnd call"},
      {L"{\"funcation_name\":\"close_wnd\"}", 1130, "close_wnd call"},
      {L"{\"funcation_name\":\"wnd_mousemove\"}", 1132, "wnd_mousemove call"},
      {L"not json", 0, nullptr},
      {L"[1,2]", 0, nullptr},
      {L"{\"funcation_name\":5}", 0, nullptr},
      {L"{\"function_name\":\"min_wnd\"}", 0, nullptr},
      {L"{\"funcation_name\":\"MIN_WND\"}", 0, nullptr},
      {L"", 0, nullptr},
      {std::wstring(1 << 20, L' ') + L"{\"funcation_name\":\"min_wnd\"}", 0, nullptr},
  };
  for (const Case& c : cases) {
    log.clear();
    BstrArg arg(c.text);
    WCHECK_EQ(callBridge(bridge, &arg.get(), 1), S_OK);
    const std::vector<Posted> posted = drain(window);
    if (c.message == 0) {
      WCHECK(posted.empty());
      WCHECK(log.empty());
    } else if (WCHECK_EQ(posted.size(), 1u)) {
      WCHECK_EQ(posted[0].message, c.message);
      WCHECK_EQ(posted[0].wParam, 0u);
      WCHECK_EQ(posted[0].lParam, 0);
      WCHECK(log.size() == 1 && log[0] == c.logLine);
    }
  }

  // open_game: the whole text waits in the queue; the message carries its token.
  const std::wstring open = L"{\"funcation_name\":\"open_game\",\"token\":\"a b\\\" --x\",\"ocext\":\"e\"}";
  BstrArg openArg(open);
  WCHECK_EQ(callBridge(bridge, &openArg.get(), 1), S_OK);
  std::vector<Posted> posted = drain(window);
  if (WCHECK_EQ(posted.size(), 1u)) {
    WCHECK_EQ(posted[0].message, 1131u);
    std::string text;
    WCHECK(queue.take(posted[0].wParam, text));
    WCHECK(text == "{\"funcation_name\":\"open_game\",\"token\":\"a b\\\" --x\",\"ocext\":\"e\"}");
    WCHECK(!queue.take(posted[0].wParam, text));
  }

  // A numeric argument becomes the text "5": valid JSON, not an object.
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 5;
  WCHECK_EQ(callBridge(bridge, &number, 1), S_OK);
  WCHECK(drain(window).empty());

  // A null has no text: refused, nothing posted.
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  WCHECK(FAILED(callBridge(bridge, &null, 1)));
  WCHECK(drain(window).empty());

  // Zero or two arguments are not the method's call.
  BstrArg a(L"{\"funcation_name\":\"min_wnd\"}");
  BstrArg b(L"{\"funcation_name\":\"min_wnd\"}");
  VARIANT two[] = {a.get(), b.get()};
  WCHECK_EQ(callBridge(bridge, two, 2), DISP_E_MEMBERNOTFOUND);
  WCHECK_EQ(callBridge(bridge, nullptr, 0), DISP_E_MEMBERNOTFOUND);
  WCHECK(drain(window).empty());
  WCHECK_EQ(queue.pending(), 0u);
}

// A window that is gone: the open_game text is not left behind.
void testPostFailure(RequestTextQueue& queue) {
  HWND gone = makeStandinWindow();
  DestroyWindow(gone);
  auto* bridge = new ScriptBridge(gone, queue, nullptr);
  BstrArg arg(L"{\"funcation_name\":\"open_game\",\"token\":\"t\"}");
  WCHECK_EQ(callBridge(bridge, &arg.get(), 1), S_OK);
  WCHECK_EQ(queue.pending(), 0u);
  bridge->Release();
}

HRESULT raise(IDispatch* sink, DISPID id, VARIANT* args, UINT count) {
  DISPPARAMS params{args, nullptr, count, 0};
  return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

// NavigateError(browser, address, frame, status, cancel), arguments last first.
void navigateError(IDispatch* sink, LONG status, bool byRef, IDispatch* raisedBy = nullptr) {
  VARIANT code;
  VariantInit(&code);
  code.vt = VT_I4;
  code.lVal = status;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT args[5];
  for (VARIANT& arg : args) VariantInit(&arg);
  args[0].vt = VT_BYREF | VT_BOOL;
  args[0].pboolVal = &cancel;
  if (byRef) {
    args[1].vt = VT_BYREF | VT_VARIANT;
    args[1].pvarVal = &code;
  } else {
    args[1] = code;
  }
  args[4].vt = VT_DISPATCH;
  args[4].pdispVal = raisedBy;
  WCHECK_EQ(raise(sink, DISPID_NAVIGATEERROR, args, 5), S_OK);
  WCHECK_EQ(cancel, VARIANT_FALSE);
}

void documentComplete(IDispatch* sink) {
  VARIANT address;
  VariantInit(&address);
  address.vt = VT_BSTR;
  address.bstrVal = SysAllocString(L"about:blank");
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_VARIANT;
  byRef.pvarVal = &address;
  VARIANT args[2];
  VariantInit(&args[1]);
  args[1].vt = VT_DISPATCH;
  args[1].pdispVal = nullptr;
  args[0] = byRef;
  WCHECK_EQ(raise(sink, DISPID_DOCUMENTCOMPLETE, args, 2), S_OK);
  VariantClear(&address);
}

// Every failure of the page itself closes the launcher, whatever its status:
// the ones Wine raises here for a missing file page, a refused loopback port,
// an HTTP 404, a page with no document viewer, about:blank; and others.
void testPageFailures(HWND window) {
  struct Case {
    LONG status;
    bool byRef;
  };
  const Case cases[] = {{static_cast<LONG>(0x800C0005), true}, {static_cast<LONG>(0x800C0005), false},
                        {static_cast<LONG>(0x800C0008), true}, {404, true},
                        {500, false},                           {static_cast<LONG>(0x80040154), true},
                        {static_cast<LONG>(0x800401E4), true},  {static_cast<LONG>(0x800C0007), false},
                        {static_cast<LONG>(0x800C000E), true}};  // timed out, TLS
  for (const Case& c : cases) {
    auto* sink = new CWebBrowserEvent(window, nullptr);
    navigateError(sink, c.status, c.byRef);
    std::vector<Posted> posted = drain(window);
    if (!WCHECK(posted.size() == 1 && posted[0].message == 1137u)) std::printf("  status %08lx\n", c.status);
    WCHECK(sink->navigationFailed());
    navigateError(sink, 404, false);
    WCHECK(drain(window).empty());  // reported once
    documentComplete(sink);         // the browser's own error page
    WCHECK(drain(window).empty());
    sink->Release();
  }

  // A frame inside the page fails: not the page's failure. The page's browser
  // is known by identity, whichever of its interfaces the event carries.
  auto* page = new CWebBrowserEvent(window, nullptr);
  auto* frame = new CWebBrowserEvent(window, nullptr);
  auto* sink = new CWebBrowserEvent(window, nullptr);
  sink->SetTopLevelBrowser(page);
  navigateError(sink, 404, true, frame);
  WCHECK(drain(window).empty() && !sink->navigationFailed());
  documentComplete(sink);
  std::vector<Posted> posted = drain(window);
  WCHECK(posted.size() == 1 && posted[0].message == 1128u);
  navigateError(sink, static_cast<LONG>(0x800C0008), false, page);
  posted = drain(window);
  WCHECK(posted.size() == 1 && posted[0].message == 1137u);
  sink->Release();
  frame->Release();
  page->Release();
}

void testEvents(HWND window) {
  std::vector<std::wstring> opened;
  auto* sink = new CWebBrowserEvent(window, [&](const wchar_t* address) { opened.push_back(address); });

  documentComplete(sink);
  std::vector<Posted> posted = drain(window);
  WCHECK(posted.size() == 1 && posted[0].message == 1128u);

  // Malformed event arguments are ignored.
  WCHECK_EQ(raise(sink, DISPID_NAVIGATEERROR, nullptr, 0), S_OK);
  WCHECK_EQ(raise(sink, DISPID_NEWWINDOW3, nullptr, 0), S_OK);

  // NewWindow3(browser out, cancel, flags, referrer, address): always cancelled.
  const wchar_t* addresses[] = {L"https://example.test/news", L"file:///C:/windows/notepad.exe",
                                L"\\\\server\\share\\run.exe", L"HTTP://example.test/"};
  for (const wchar_t* address : addresses) {
    IDispatch* newBrowser = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[5];
    for (VARIANT& arg : args) VariantInit(&arg);
    args[4].vt = VT_BYREF | VT_DISPATCH;
    args[4].ppdispVal = &newBrowser;
    args[3].vt = VT_BYREF | VT_BOOL;
    args[3].pboolVal = &cancel;
    args[2].vt = VT_I4;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"https://example.test/");
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(address);
    WCHECK_EQ(raise(sink, DISPID_NEWWINDOW3, args, 5), S_OK);
    WCHECK_EQ(cancel, VARIANT_TRUE);
    VariantClear(&args[1]);
    VariantClear(&args[0]);
  }
  WCHECK(opened.size() == 2 && opened[0] == L"https://example.test/news" && opened[1] == L"HTTP://example.test/");
  sink->Release();
}

// Other identifiers go on to the browser event dispatch behind the bridge.
void testFallback(HWND window, RequestTextQueue& queue) {
  auto* events = new CWebBrowserEvent(window, nullptr);
  auto* bridge = new ScriptBridge(window, queue, nullptr, events);
  events->Release();  // the bridge holds it now
  documentComplete(bridge);
  std::vector<Posted> posted = drain(window);
  WCHECK(posted.size() == 1 && posted[0].message == 1128u);
  bridge->Release();
}

}  // namespace

int main() {
  OleInitialize(nullptr);
  HWND window = makeStandinWindow();
  RequestTextQueue queue;
  std::vector<std::string> log;
  auto* bridge = new ScriptBridge(window, queue, [&](const char* line) { log.emplace_back(line); });
  testNames(bridge);
  testRequests(window, bridge, queue, log);
  bridge->Release();
  testPostFailure(queue);
  testPageFailures(window);
  testEvents(window);
  testFallback(window, queue);
  DestroyWindow(window);
  OleUninitialize();
  return wincheck::summary();
}
