// The browser host against Wine's real WebBrowser object:
//  - without OLE on the thread the control cannot be made: the failure is
//    reported and later calls touch no missing interface;
//  - with OLE: created, silenced, shown in its own child window, on "about:blank";
//  - interface answers of the site; sizes in HIMETRIC as the system's MulDiv gives;
//  - navigate reaches the browser.
#include <windows.h>
#include <exdisp.h>

#include "BrowserTestSupport.h"
#include "Himetric.h"
#include "WebBrowserWin.h"
#include "wincheck.h"

namespace {

using browsertest::pump;
using browsertest::recordReport;
using browsertest::reports;

HWND makeParent(DWORD visible) {
  return CreateWindowExW(0, L"STATIC", L"browser host", WS_OVERLAPPEDWINDOW | visible, 50, 50, 840, 660, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Hidden parent: activating a window lets Wine's input method set up COM on
// the thread by itself, which would hide the missing initialisation.
DWORD WINAPI createWithoutOle(void*) {
  HWND parent = makeParent(0);
  auto* host = new vekt::browser::WebBrowser(parent, recordReport);
  WCHECK(reports().size() == 1 && reports()[0] == L"Cannot create oleObject CLSID_WebBrowser");
  WCHECK(host->browser() == nullptr && host->oleObject() == nullptr);
  WCHECK(host->windowHandle() == nullptr);
  RECT bounds{0, 0, 100, 100};
  host->setBounds(bounds);
  WCHECK_EQ(host->navigate(L"about:blank"), E_POINTER);
  DestroyWindow(parent);
  return 0;
}

void checkWithoutOle() {
  HANDLE thread = CreateThread(nullptr, 0, createWithoutOle, nullptr, 0, nullptr);
  WCHECK_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  CloseHandle(thread);
  reports().clear();
}

void checkInterfaces(vekt::browser::WebBrowser& host) {
  const struct {
    const char* name;
    const IID& iid;
    bool given;
  } cases[] = {
      {"IUnknown", IID_IUnknown, true},
      {"IOleInPlaceSite", IID_IOleInPlaceSite, true},
      {"IOleClientSite", IID_IOleClientSite, false},
      {"IStorage", IID_IStorage, false},
      {"IOleWindow", IID_IOleWindow, false},
      {"IDispatch", IID_IDispatch, false},
      {"IOleInPlaceSiteEx", IID_IOleInPlaceSiteEx, false},
  };
  for (const auto& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    const long before = host.referenceCount();
    const HRESULT hr = host.QueryInterface(c.iid, &out);
    bool ok;
    if (c.given) {
      ok = hr == S_OK && out != nullptr && host.referenceCount() == before + 1;
      if (out) static_cast<IUnknown*>(out)->Release();
    } else {
      ok = hr == E_NOINTERFACE && out == nullptr && host.referenceCount() == before;
    }
    if (!WCHECK(ok)) std::printf("  interface %s: %08lx\n", c.name, static_cast<unsigned long>(hr));
  }
  const long count = host.referenceCount();
  WCHECK_EQ(static_cast<long>(host.AddRef()), count + 1);
  WCHECK_EQ(static_cast<long>(host.Release()), count);

  IOleClientSite& site = host;
  IMoniker* moniker = reinterpret_cast<IMoniker*>(1);
  WCHECK_EQ(site.GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &moniker), E_FAIL);
  WCHECK_EQ(site.GetMoniker(OLEGETMONIKER_FORCEASSIGN, OLEWHICHMK_CONTAINER, &moniker), E_NOTIMPL);
  IOleContainer* container = nullptr;
  WCHECK_EQ(site.GetContainer(&container), E_NOINTERFACE);
  WCHECK_EQ(site.SaveObject(), E_NOTIMPL);
  WCHECK_EQ(site.ShowObject(), S_OK);

  IOleInPlaceSite& inPlace = host;
  IOleInPlaceFrame* frame = reinterpret_cast<IOleInPlaceFrame*>(1);
  IOleInPlaceUIWindow* document = reinterpret_cast<IOleInPlaceUIWindow*>(1);
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  info.cAccelEntries = 7;
  WCHECK_EQ(inPlace.GetWindowContext(&frame, &document, &position, &clip, &info), S_OK);
  WCHECK(frame == nullptr && document == nullptr);
  WCHECK(EqualRect(&position, &host.bounds()) && EqualRect(&clip, &host.bounds()));
  WCHECK(!info.fMDIApp && info.haccel == nullptr && info.cAccelEntries == 0);
  HWND window = nullptr;
  WCHECK_EQ(inPlace.GetWindow(&window), S_OK);
  WCHECK(window == info.hwndFrame && window != nullptr);
  WCHECK_EQ(inPlace.Scroll(SIZE{1, 1}), E_NOTIMPL);

  IStorage& storage = host;
  WCHECK_EQ(storage.SetClass(CLSID_WebBrowser), S_OK);
  WCHECK_EQ(storage.Commit(0), E_NOTIMPL);
}

void checkExtent(vekt::browser::WebBrowser& host) {
  const vekt::browser::ScreenDpi dpi = vekt::browser::screenDpi();
  const RECT sizes[] = {{0, 0, 800, 600}, {0, 0, 640, 480}, {10, 20, 333, 257}};
  for (const RECT& bounds : sizes) {
    host.setBounds(bounds);
    SIZEL extent{};
    WCHECK_EQ(host.oleObject()->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    WCHECK_EQ(extent.cx, MulDiv(2540, bounds.right, dpi.x) - MulDiv(2540, bounds.left, dpi.x));
    WCHECK_EQ(extent.cy, MulDiv(2540, bounds.bottom, dpi.y) - MulDiv(2540, bounds.top, dpi.y));
    WCHECK(EqualRect(&host.bounds(), &bounds));
  }
  if (dpi.x == 96 && dpi.y == 96) {
    host.setBounds(RECT{0, 0, 800, 600});
    SIZEL extent{};
    host.oleObject()->GetExtent(DVASPECT_CONTENT, &extent);
    WCHECK(extent.cx == 21167 && extent.cy == 15875);
  }
  // The portable arithmetic agrees with the system's.
  const int values[][3] = {{2540, 800, 96}, {2540, -301, 96},   {7, 5, 2},         {-7, 5, 2},
                           {1, 1, 0},       {0x7fffffff, 2, 1}, {2540, 1919, 144}, {2540, -1, -96}};
  for (const auto& v : values) {
    WCHECK_EQ(vekt::browser::mulDivRounded(v[0], v[1], v[2]), MulDiv(v[0], v[1], v[2]));
  }
}

void checkWithOle() {
  vekt::browser::OleApartment ole;
  if (!WCHECK(ole.ok())) return;
  HWND parent = makeParent(WS_VISIBLE);
  auto* host = new vekt::browser::WebBrowser(parent, recordReport);
  pump(200);
  WCHECK(reports().empty());
  if (!WCHECK(host->browser() != nullptr)) return;
  VARIANT_BOOL silent = VARIANT_FALSE;
  host->browser()->get_Silent(&silent);
  WCHECK(silent == VARIANT_TRUE);
  HWND control = host->windowHandle();
  WCHECK(control != nullptr && GetParent(control) == parent && IsWindowVisible(control));
  WCHECK(browsertest::locationOf(host->browser()) == L"about:blank");

  checkInterfaces(*host);
  checkExtent(*host);

  WCHECK_EQ(host->navigate(L"about:blank#moved"), S_OK);
  pump(100);
  WCHECK(browsertest::locationOf(host->browser()) == L"about:blank#moved");
  DestroyWindow(parent);
  pump(50);
}

}  // namespace

int main() {
  checkWithoutOle();
  checkWithOle();
  return wincheck::summary();
}
