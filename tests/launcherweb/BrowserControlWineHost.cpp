// The launcher's browser control against Wine's real WebBrowser object, in a
// plain parent window: created while the layout is read (the home page opened
// at creation only when autonavi came first, seen by a loopback server),
// hosted in "ActiveXWnd"/"UIActiveX", sized in HIMETRIC, shown and hidden with
// the control; events advised and forwarded (a missing file page raises a real
// NavigateError 0x800C0005); document host answers; the bridge through
// GetExternal; a failed creation tried once; the page's keys reach the object.
// Wine here has no HTML engine: no page renders and no DocumentComplete comes.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>

#include <memory>
#include <string>
#include <vector>

#include "BrowserTestSupport.h"
#include "Himetric.h"
#include "IeBrowserWin.h"
#include "OleSupportWin.h"
#include "UIManager.h"
#include "WebBrowserEventWin.h"
#include "wincheck.h"
#include "winhttpserver.h"

namespace {

using browsertest::pump;
using VantorUI::CActiveXUI;
using VantorUI::UIRect;
using vekt::CIeBrowserUI;

const GUID kDownloadManager = {0x988934a4, 0x064b, 0x11d3, {0xbb, 0x80, 0x00, 0x10, 0x4b, 0x35, 0xe7, 0xf9}};
const GUID kDocHostCommandHandler = {0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

HWND makeParent() {
  return CreateWindowExW(0, L"STATIC", L"browser control", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40,
                         700, 500, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Records the events the control forwards, then hands them to a real sink.
class RecordingHandler : public vekt::browser::DispatchObject {
 public:
  explicit RecordingHandler(IDispatch* next) : next_(next) {}
  std::vector<DISPID> ids;
  std::vector<LONG> statuses;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    ids.push_back(id);
    if (id == DISPID_NAVIGATEERROR && params && params->cArgs == 5) {
      const VARIANT* status = &params->rgvarg[1];
      if (status->vt == (VT_BYREF | VT_VARIANT) && status->pvarVal) status = status->pvarVal;
      statuses.push_back(status->vt == VT_I4 ? status->lVal : -1);
    }
    return next_ ? next_->Invoke(id, riid, locale, flags, params, result, exception, argError) : S_OK;
  }

 private:
  IDispatch* next_;
};

class CountingActiveX : public CActiveXUI {
 public:
  int attempts = 0;

 protected:
  bool DoCreateControl() override {
    ++attempts;
    return CActiveXUI::DoCreateControl();
  }
};

std::wstring windowClass(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

std::wstring windowTitle(HWND w) {
  wchar_t name[64] = {};
  GetWindowTextW(w, name, 64);
  return name;
}

// Waits (bounded) for a message posted to window; other messages are handled.
bool takeMessage(HWND window, UINT message, WPARAM* wParam = nullptr, DWORD waitMs = 5000) {
  const DWORD deadline = GetTickCount() + waitMs;
  MSG msg;
  do {
    if (PeekMessageW(&msg, window, message, message, PM_REMOVE)) {
      if (wParam) *wParam = msg.wParam;
      return true;
    }
    while (PeekMessageW(&msg, nullptr, 0, message - 1, PM_REMOVE) ||
           PeekMessageW(&msg, nullptr, message + 1, 0xFFFF, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
  return false;
}

void checkFailedCreationNotRetried(HWND parent) {
  CountingActiveX control;
  control.SetOwnerWindow(parent);
  control.SetAttribute(L"clsid", L"No.Such.ProgId");  // no class: the identifier stays null
  control.SetPos(UIRect{0, 0, 10, 10});
  WCHECK_EQ(control.attempts, 0);
  control.SetAttribute(L"clsid", L"{0badc1d0-1111-2222-3333-444444444444}");
  for (int i = 0; i < 3; ++i) control.SetPos(UIRect{0, 0, 100 + i, 100});
  WCHECK_EQ(control.attempts, 1);
  WCHECK(control.IsCreated() && control.GetOleObject() == nullptr && control.GetHostWindow() == nullptr);
  // A new identifier is tried again, once.
  control.SetAttribute(L"clsid", L"{0badc1d0-1111-2222-3333-555555555555}");
  control.SetPos(UIRect{0, 0, 10, 10});
  control.SetPos(UIRect{0, 0, 20, 10});
  WCHECK_EQ(control.attempts, 2);
}

// Hidden with its page: a tab switch hides the host window, switching back shows it.
void checkHiddenWithItsPage(HWND parent) {
  vekt::browser::RequestTextQueue queue;
  VantorUI::CTabLayoutUI tab;
  auto page = std::make_unique<VantorUI::CVerticalLayoutUI>();
  auto control = std::make_unique<CIeBrowserUI>(parent, queue, nullptr);
  control->SetAttribute(L"delaycreate", L"false");
  CIeBrowserUI* browser = control.get();
  page->Add(std::move(control));
  tab.Add(std::move(page));
  tab.Add(std::make_unique<VantorUI::CVerticalLayoutUI>());
  const HWND host = browser->GetHostWindow();
  if (!WCHECK(host != nullptr)) return;
  WCHECK(IsWindowVisible(host) != FALSE);
  tab.SelectItem(1);
  WCHECK(!IsWindowVisible(host));
  tab.SelectItem(0);
  WCHECK(IsWindowVisible(host) != FALSE);
}

void checkDocumentHost(CIeBrowserUI& control, HWND owner, RecordingHandler& handler) {
  IDocHostUIHandler* host = nullptr;
  if (!WCHECK(SUCCEEDED(control.QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&host))) && host))
    return;
  DOCHOSTUIINFO info{};
  info.dwFlags = DOCHOSTUIFLAG_OPENNEWWIN;
  info.dwDoubleClick = 3;
  WCHECK_EQ(host->GetHostInfo(&info), S_OK);
  WCHECK_EQ(info.cbSize, static_cast<ULONG>(sizeof(DOCHOSTUIINFO)));
  WCHECK_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_OPENNEWWIN | 0x200005));
  WCHECK_EQ(info.dwDoubleClick, 0u);
  for (DWORD menu : {0u, 2u, 4u, 5u}) WCHECK_EQ(host->ShowContextMenu(menu, nullptr, nullptr, nullptr), S_FALSE);
  WCHECK_EQ(host->TranslateAccelerator(nullptr, nullptr, 0), S_FALSE);

  IOleCommandTarget* target = nullptr;
  if (WCHECK(SUCCEEDED(host->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&target))))) {
    VARIANT out;
    VariantInit(&out);
    WCHECK_EQ(target->Exec(&kDocHostCommandHandler, 40, 0, nullptr, &out), S_OK);
    WCHECK(out.vt == VT_BOOL && out.boolVal == VARIANT_TRUE);
    WCHECK_EQ(target->Exec(&kDocHostCommandHandler, 41, 0, nullptr, &out), OLECMDERR_E_NOTSUPPORTED);
    WCHECK_EQ(target->Exec(nullptr, 40, 0, nullptr, &out), OLECMDERR_E_UNKNOWNGROUP);
    WCHECK_EQ(target->Exec(&IID_IUnknown, 40, 0, nullptr, &out), OLECMDERR_E_UNKNOWNGROUP);
    WCHECK_EQ(target->QueryStatus(nullptr, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);
    target->Release();
  }
  IServiceProvider* services = nullptr;
  if (WCHECK(SUCCEEDED(host->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services))))) {
    void* out = nullptr;
    WCHECK(services->QueryService(kDownloadManager, kDownloadManager, &out) == S_OK && out);
    if (out) static_cast<IUnknown*>(out)->Release();
    out = reinterpret_cast<void*>(1);
    WCHECK(services->QueryService(IID_IWebBrowser2, IID_IWebBrowser2, &out) == E_NOINTERFACE && !out);
    services->Release();
  }

  // The page's side: window.external is the bridge.
  IDispatch* external = nullptr;
  if (WCHECK(host->GetExternal(&external) == S_OK && external)) {
    wchar_t name[] = L"g_callCppFunc";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    WCHECK_EQ(external->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    WCHECK_EQ(id, 1000);
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(L"{\"funcation_name\":\"min_wnd\"}");
    DISPPARAMS params{&argument, nullptr, 1, 0};
    WCHECK_EQ(external->Invoke(1000, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    VariantClear(&argument);
    WCHECK(takeMessage(owner, 1129));
    // Other identifiers reach the control's event dispatch, and the handler.
    const size_t before = handler.ids.size();
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    WCHECK_EQ(
        external->Invoke(DISPID_COMMANDSTATECHANGE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
        S_OK);
    WCHECK(handler.ids.size() == before + 1 && handler.ids.back() == DISPID_COMMANDSTATECHANGE);
    WCHECK_EQ(external->Invoke(4242, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    external->Release();
  }
  host->Release();

  // The control's own dispatch table.
  IDispatch& events = control;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  WCHECK_EQ(events.Invoke(DISPID_STATUSTEXTCHANGE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            S_OK);
  WCHECK_EQ(events.Invoke(DISPID_STATUSTEXTCHANGE, IID_IDispatch, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            E_INVALIDARG);
  WCHECK_EQ(events.Invoke(1000, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  wchar_t anyName[] = L"g_callCppFunc";
  LPOLESTR names[] = {anyName};
  DISPID id = 0;
  WCHECK(events.GetIDsOfNames(IID_NULL, names, 1, 0, &id) == S_OK && id == DISPID_UNKNOWN);
}

void checkBrowser(HWND parent) {
  vekt::browser::RequestTextQueue queue;
  std::vector<std::string> logLines;
  // Home pages that are asked for but never answered: a request is the proof.
  winhttp::LoopbackServer notOpened(0), opened(0);
  auto* control = new CIeBrowserUI(parent, queue, [&](const char* line) { logLines.emplace_back(line); });
  // The launcher's skin order: created at "delaycreate", before "autonavi" is read.
  control->SetAttribute(L"name", L"ie");
  control->SetAttribute(L"homepage", notOpened.address().c_str());
  control->SetAttribute(L"delaycreate", L"false");
  control->SetAttribute(L"autonavi", L"true");
  WCHECK(control->IsCreated());
  WCHECK(control->GetWebBrowser2() != nullptr);
  WCHECK(control->GetEventCookie() != 0);
  pump(1000);
  WCHECK_EQ(notOpened.connections(), 0);
  const HWND host = control->GetHostWindow();
  if (!WCHECK(host != nullptr)) {
    delete control;
    return;
  }
  WCHECK(windowClass(host) == L"ActiveXWnd");
  WCHECK(windowTitle(host) == L"UIActiveX");
  WCHECK(GetParent(host) == parent);
  WCHECK(IsWindowVisible(host));
  WCHECK((GetWindowLongW(host, GWL_STYLE) & 0x56000000) == 0x56000000);

  // The first layout places the host window and tells the object its extent.
  control->SetPos(UIRect{10, 20, 410, 320});
  RECT rc{};
  GetWindowRect(host, &rc);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
  WCHECK(rc.left == 10 && rc.top == 20 && rc.right == 410 && rc.bottom == 320);
  SIZEL extent{};
  WCHECK(SUCCEEDED(control->GetOleObject()->GetExtent(DVASPECT_CONTENT, &extent)));
  const vekt::browser::ScreenDpi dpi = vekt::browser::screenDpi();
  const vekt::browser::HimetricSize expected =
      vekt::browser::himetricExtent(vekt::browser::PixelRect{0, 0, 400, 300}, dpi.x, dpi.y);
  if (!WCHECK(extent.cx == expected.cx && extent.cy == expected.cy))
    std::printf("  extent %ld x %ld, expected %ld x %ld\n", extent.cx, extent.cy, expected.cx, expected.cy);

  control->SetVisible(false);
  WCHECK(!IsWindowVisible(host));
  control->SetVisible(true);
  WCHECK(IsWindowVisible(host) != FALSE);

  // Events: the real sink behind a recorder; a missing file page fails for real.
  auto* sink = new vekt::browser::CWebBrowserEvent(parent);
  auto* handler = new RecordingHandler(sink);
  control->SetWebBrowserEventHandler(handler);
  WCHECK_EQ(control->Navigate2(nullptr), S_FALSE);
  wchar_t missing[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, missing);
  const std::wstring page = std::wstring(L"file:///") + missing + L"vekt-no-such-page.html";
  WCHECK(SUCCEEDED(control->Navigate2(page.c_str())));
  const DWORD deadline = GetTickCount() + 20000;
  while (handler->statuses.empty() && static_cast<LONG>(deadline - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, WM_USER, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
  std::printf("events:");
  for (DISPID id : handler->ids) std::printf(" %ld", static_cast<long>(id));
  std::printf("\n");
  WCHECK(handler->statuses.size() >= 1 && handler->statuses[0] == static_cast<LONG>(0x800C0005));
  WCHECK(takeMessage(parent, vekt::browser::kMessagePageError));
  WCHECK(sink->navigationFailed());

  checkDocumentHost(*control, parent, *handler);
  WCHECK(logLines.size() == 1 && logLines[0] == "min_wnd call");

  delete control;  // releases the object and its host window
  WCHECK(!IsWindow(host));
  handler->Release();
  sink->Release();

  // "autonavi" read before "delaycreate": the home page is opened at creation.
  auto* first = new CIeBrowserUI(parent, queue, nullptr);
  first->SetAttribute(L"autonavi", L"true");
  first->SetAttribute(L"homepage", opened.address().c_str());
  first->SetAttribute(L"delaycreate", L"false");
  const DWORD asked = GetTickCount() + 10000;
  while (opened.connections() == 0 && static_cast<LONG>(asked - GetTickCount()) > 0) pump(50);
  WCHECK_EQ(opened.connections(), 1);
  delete first;
}

// The real object's in-place active object, its TranslateAccelerator counted
// for key-down messages:
// the vtable slot is replaced for the test and put back after.
struct AcceleratorSpy {
  using Translate = HRESULT(STDMETHODCALLTYPE*)(IOleInPlaceActiveObject*, MSG*);
  static int calls;
  static UINT lastKey;
  static Translate original;
  static HRESULT STDMETHODCALLTYPE counting(IOleInPlaceActiveObject* self, MSG* msg) {
    if (msg && msg->message == WM_KEYDOWN) {
      ++calls;
      lastKey = static_cast<UINT>(msg->wParam);
    }
    return original(self, msg);
  }

  Translate* slot = nullptr;
  explicit AcceleratorSpy(IWebBrowser2* browser) {
    IOleInPlaceActiveObject* active = nullptr;
    if (!browser ||
        FAILED(browser->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active))) || !active)
      return;
    // QueryInterface, AddRef, Release, GetWindow, ContextSensitiveHelp, TranslateAccelerator.
    slot = &(*reinterpret_cast<Translate**>(active))[5];
    active->Release();
    swap(counting);
  }
  ~AcceleratorSpy() {
    if (slot) swap(original);
  }
  void swap(Translate with) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_EXECUTE_READWRITE, &protection);
    if (with == counting) original = *slot;
    *slot = with;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
  }
};
int AcceleratorSpy::calls = 0;
UINT AcceleratorSpy::lastKey = 0;
AcceleratorSpy::Translate AcceleratorSpy::original = nullptr;

// A control made while the layout is read (before it has a manager, as the
// skin's browser is) gets the page's keys once the layout is attached: a key
// for a window inside the browser, through the message loop's translation,
// reaches the in-place object's TranslateAccelerator.
void checkKeysReachThePage(HWND parent) {
  vekt::browser::RequestTextQueue queue;
  winhttp::LoopbackServer page(0);
  VantorUI::CManagerUI manager;
  manager.Init(parent);
  auto root = std::make_unique<VantorUI::CVerticalLayoutUI>();
  auto control = std::make_unique<CIeBrowserUI>(parent, queue, nullptr);
  control->SetAttribute(L"delaycreate", L"false");
  CIeBrowserUI* browser = control.get();
  WCHECK(browser->IsCreated() && browser->GetManager() == nullptr);
  root->Add(std::move(control));
  manager.AttachDialog(std::move(root));
  browser->SetPos(UIRect{0, 0, 400, 300});
  browser->Navigate2(page.address().c_str());
  const HWND host = browser->GetHostWindow();
  if (!WCHECK(host != nullptr)) return;
  SetFocus(host);
  pump(200);
  const HWND focus = GetFocus();
  WCHECK(focus == host || IsChild(host, focus));

  AcceleratorSpy spy(browser->GetWebBrowser2());
  if (!WCHECK(spy.slot != nullptr)) return;
  const UINT keys[] = {VK_TAB, VK_RETURN, 'C'};
  for (UINT key : keys) {
    const int before = AcceleratorSpy::calls;
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
      if (!VantorUI::CManagerUI::TranslateMessage(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    if (!WCHECK(AcceleratorSpy::calls == before + 1 && AcceleratorSpy::lastKey == key))
      std::printf("  key %u: %d calls\n", key, AcceleratorSpy::calls - before);
  }
  // Keys outside the browser are not the page's.
  SetFocus(parent);
  const int before = AcceleratorSpy::calls;
  MSG outside{parent, WM_KEYDOWN, VK_TAB, 1, 0, {0, 0}};
  VantorUI::CManagerUI::TranslateMessage(&outside);
  WCHECK_EQ(AcceleratorSpy::calls, before);
}

}  // namespace

int main() {
  vekt::browser::OleApartment ole;
  if (!WCHECK(ole.ok())) return wincheck::summary();
  HWND parent = makeParent();
  checkFailedCreationNotRetried(parent);
  checkBrowser(parent);
  checkHiddenWithItsPage(parent);
  checkKeysReachThePage(parent);
  DestroyWindow(parent);
  return wincheck::summary();
}
