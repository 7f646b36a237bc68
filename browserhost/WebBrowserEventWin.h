// The launcher's receiver of the browser's events: page loaded (1128), server
// not found (1137), new windows cancelled and, for web addresses, opened in the
// system's browser. Driven through IDispatch::Invoke with the browser's
// DWebBrowserEvents2 identifiers.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <functional>

#include "DispatchObjectWin.h"

namespace vekt::browser {

constexpr UINT kMessagePageLoaded = 1128;
constexpr UINT kMessagePageError = 1137;
constexpr HRESULT kStatusServerNotFound = static_cast<HRESULT>(0x800C0005);  // INET_E_RESOURCE_NOT_FOUND

// Opens an address outside the launcher; the default is the shell's "open".
using AddressOpener = std::function<void(const wchar_t* address)>;
void openInSystemBrowser(const wchar_t* address);

class CWebBrowserEvent : public DispatchObject {
 public:
  explicit CWebBrowserEvent(HWND owner, AddressOpener opener = openInSystemBrowser);

  // status may be VT_I4 or a VT_BYREF|VT_VARIANT around it.
  void NavigateError(const VARIANT* status);
  void DocumentComplete();
  // cancel is set to VARIANT_TRUE whatever the address.
  void NewWindow3(VARIANT_BOOL* cancel, const wchar_t* address);
  bool navigationFailed() const { return navigationFailed_; }

  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

 protected:
  bool answersTo(REFIID riid) const override;

 private:
  HWND owner_;
  AddressOpener opener_;
  bool navigationFailed_ = false;
};

}  // namespace vekt::browser
