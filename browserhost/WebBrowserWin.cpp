#include "WebBrowserWin.h"

namespace vekt::browser {

namespace {
constexpr RECT kStartBounds{-300, -300, 300, 300};
}

WebBrowser::WebBrowser(HWND parent, ErrorReporter report) : parent_(parent) {
  if (!report) report = showErrorBox;
  if (!create(report)) return;
  if (HWND control = windowHandle()) ShowWindow(control, SW_SHOW);
  navigate(L"about:blank");
}

bool WebBrowser::create(ErrorReporter report) {
  void* object = nullptr;
  if (FAILED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr, static_cast<IOleClientSite*>(this),
                       static_cast<IStorage*>(this), &object)) ||
      !object) {
    report(L"Cannot create oleObject CLSID_WebBrowser");
    return false;
  }
  oleObject_ = static_cast<IOleObject*>(object);
  oleObject_->SetClientSite(this);
  OleSetContainedObject(oleObject_, TRUE);

  RECT start = kStartBounds;
  if (FAILED(oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, -1, parent_, &start))) {
    report(L"oleObject->DoVerb() failed");
    return false;
  }
  object = nullptr;
  if (FAILED(oleObject_->QueryInterface(IID_IWebBrowser2, &object)) || !object) {
    report(L"oleObject->QueryInterface(&webBrowser2) failed");
    return false;
  }
  browser_ = static_cast<IWebBrowser2*>(object);
  browser_->put_Silent(VARIANT_TRUE);
  return true;
}

STDMETHODIMP WebBrowser::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(riid, IID_IOleInPlaceSite)) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) WebBrowser::AddRef() { return static_cast<ULONG>(++references_); }

STDMETHODIMP_(ULONG) WebBrowser::Release() { return static_cast<ULONG>(--references_); }

void WebBrowser::setBounds(const RECT& bounds) {
  bounds_ = bounds;
  if (oleObject_) placeObject(oleObject_, inPlaceObject_, bounds_);
}

HWND WebBrowser::windowHandle() {
  if (!controlWindow_) controlWindow_ = inPlaceWindow(inPlaceObject_);
  return controlWindow_;
}

HRESULT WebBrowser::navigate(const std::wstring& address) { return navigateWithoutHistory(browser_, address); }

// IOleClientSite

STDMETHODIMP WebBrowser::SaveObject() { return E_NOTIMPL; }

STDMETHODIMP WebBrowser::GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  if (assign == OLEGETMONIKER_ONLYIFTHERE && whichMoniker == OLEWHICHMK_CONTAINER) return E_FAIL;
  return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP WebBrowser::ShowObject() { return S_OK; }

STDMETHODIMP WebBrowser::OnShowWindow(BOOL) { return S_OK; }

STDMETHODIMP WebBrowser::RequestNewObjectLayout() { return E_NOTIMPL; }

// IOleInPlaceSite

STDMETHODIMP WebBrowser::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = parent_;
  return S_OK;
}

STDMETHODIMP WebBrowser::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP WebBrowser::CanInPlaceActivate() { return S_OK; }

STDMETHODIMP WebBrowser::OnInPlaceActivate() {
  if (!oleObject_) return E_UNEXPECTED;
  OleLockRunning(oleObject_, TRUE, FALSE);
  void* inPlace = nullptr;
  if (SUCCEEDED(oleObject_->QueryInterface(IID_IOleInPlaceObject, &inPlace)) && inPlace) {
    inPlaceObject_ = static_cast<IOleInPlaceObject*>(inPlace);
    RECT position = bounds_;
    RECT clip = bounds_;
    inPlaceObject_->SetObjectRects(&position, &clip);
  }
  return S_OK;
}

STDMETHODIMP WebBrowser::OnUIActivate() { return S_OK; }

STDMETHODIMP WebBrowser::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                          LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) {
  if (frame) *frame = nullptr;
  if (document) *document = nullptr;
  if (position) *position = bounds_;
  if (clip) *clip = bounds_;
  if (frameInfo) {
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = parent_;
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
  }
  return S_OK;
}

STDMETHODIMP WebBrowser::Scroll(SIZE) { return E_NOTIMPL; }

STDMETHODIMP WebBrowser::OnUIDeactivate(BOOL) { return S_OK; }

STDMETHODIMP WebBrowser::OnInPlaceDeactivate() {
  // The control owns these; forgetting them is enough.
  controlWindow_ = nullptr;
  inPlaceObject_ = nullptr;
  return S_OK;
}

STDMETHODIMP WebBrowser::DiscardUndoState() { return E_NOTIMPL; }

STDMETHODIMP WebBrowser::DeactivateAndUndo() { return E_NOTIMPL; }

STDMETHODIMP WebBrowser::OnPosRectChange(LPCRECT) { return E_NOTIMPL; }

// IStorage

STDMETHODIMP WebBrowser::CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream**) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream**) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage**) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage**) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::CopyTo(DWORD, const IID*, SNB, IStorage*) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::MoveElementTo(LPCOLESTR, IStorage*, LPCOLESTR, DWORD) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::Commit(DWORD) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::Revert() { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::DestroyElement(LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::RenameElement(LPCOLESTR, LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::SetElementTimes(LPCOLESTR, const FILETIME*, const FILETIME*, const FILETIME*) {
  return E_NOTIMPL;
}
STDMETHODIMP WebBrowser::SetClass(REFCLSID) { return S_OK; }
STDMETHODIMP WebBrowser::SetStateBits(DWORD, DWORD) { return E_NOTIMPL; }
STDMETHODIMP WebBrowser::Stat(STATSTG*, DWORD) { return E_NOTIMPL; }

}  // namespace vekt::browser
