#include "WebBrowserEventWin.h"

#include <exdisp.h>
#include <exdispid.h>
#include <shellapi.h>

#include <string>

#include "BridgeRequest.h"

namespace vekt::browser {
namespace {

// The variant behind any number of by-reference wrappers.
const VARIANT* dereferenced(const VARIANT* value) {
  for (int depth = 0; value && depth < 4; ++depth) {
    if (value->vt != (VT_BYREF | VT_VARIANT)) return value;
    value = value->pvarVal;
  }
  return nullptr;
}

// Arguments arrive last first: argument i of n is rgvarg[n - 1 - i].
const VARIANT* argumentAt(const DISPPARAMS* params, UINT index, UINT expected) {
  if (!params || !params->rgvarg || params->cArgs != expected || index >= expected) return nullptr;
  return &params->rgvarg[expected - 1 - index];
}

const wchar_t* textOf(const VARIANT* value) {
  value = dereferenced(value);
  if (value && value->vt == VT_BSTR) return value->bstrVal;
  if (value && value->vt == (VT_BYREF | VT_BSTR) && value->pbstrVal) return *value->pbstrVal;
  return nullptr;
}

}  // namespace

void openInSystemBrowser(const wchar_t* address) {
  ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

CWebBrowserEvent::CWebBrowserEvent(HWND owner, AddressOpener opener) : owner_(owner), opener_(std::move(opener)) {}

CWebBrowserEvent::~CWebBrowserEvent() {
  if (topLevel_) topLevel_->Release();
}

void CWebBrowserEvent::SetTopLevelBrowser(IUnknown* browser) {
  IUnknown* identity = nullptr;
  if (browser) browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  if (topLevel_) topLevel_->Release();
  topLevel_ = identity;
}

bool CWebBrowserEvent::isTopLevel(IDispatch* raisedBy) const {
  if (!topLevel_ || !raisedBy) return true;
  IUnknown* identity = nullptr;
  if (FAILED(raisedBy->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))) || !identity) return true;
  identity->Release();
  return identity == topLevel_;
}

void CWebBrowserEvent::NavigateError(const VARIANT* status, IDispatch* raisedBy) {
  const VARIANT* code = dereferenced(status);
  if (!code || (code->vt != VT_I4 && code->vt != VT_UI4)) return;
  if (!isTopLevel(raisedBy)) return;
  // The window closes the launcher on the first report; more boxes would pile up.
  if (navigationFailed_) return;
  navigationFailed_ = true;
  PostMessageW(owner_, kMessagePageError, 0, 0);
}

void CWebBrowserEvent::DocumentComplete() {
  if (!navigationFailed_) PostMessageW(owner_, kMessagePageLoaded, 0, 0);
}

void CWebBrowserEvent::NewWindow3(VARIANT_BOOL* cancel, const wchar_t* address) {
  if (cancel) *cancel = VARIANT_TRUE;
  if (!address || !opener_) return;
  const std::u16string_view text(reinterpret_cast<const char16_t*>(address), lstrlenW(address));
  if (IsWebAddress(text)) opener_(address);
}

bool CWebBrowserEvent::answersTo(REFIID riid) const { return riid == DIID_DWebBrowserEvents2; }

STDMETHODIMP CWebBrowserEvent::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
  if (ids) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  }
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CWebBrowserEvent::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  switch (id) {
    case DISPID_NAVIGATEERROR: {  // browser, address, frame, status, cancel
      const VARIANT* status = argumentAt(params, 3, 5);
      const VARIANT* browser = dereferenced(argumentAt(params, 0, 5));
      if (status) NavigateError(status, browser && browser->vt == VT_DISPATCH ? browser->pdispVal : nullptr);
      return S_OK;
    }
    case DISPID_DOCUMENTCOMPLETE:  // browser, address
      if (params && params->cArgs == 2) DocumentComplete();
      return S_OK;
    case DISPID_NEWWINDOW3: {  // browser out, cancel, flags, referrer, address
      const VARIANT* cancel = argumentAt(params, 1, 5);
      if (!cancel) return S_OK;
      VARIANT_BOOL* cancelFlag = cancel->vt == (VT_BYREF | VT_BOOL) ? cancel->pboolVal : nullptr;
      NewWindow3(cancelFlag, textOf(argumentAt(params, 4, 5)));
      return S_OK;
    }
    default:
      return S_OK;  // every other event is of no interest
  }
}

}  // namespace vekt::browser
