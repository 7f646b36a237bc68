// The launcher's receiver of the browser's events: page loaded (1128), the
// page failed (1137), new windows cancelled and, for web addresses, opened in
// the system's browser. Driven through IDispatch::Invoke with the browser's
// DWebBrowserEvents2 identifiers.
// Any failure of the top-level document counts, whatever its status (an
// unreachable server, a refused or timed-out connection, a TLS failure, an
// HTTP error): the player would otherwise be left with the browser's own
// error page in a frameless window. A frame's failure inside a loaded page
// does not count.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <functional>

#include "DispatchObjectWin.h"

namespace vekt::browser {

constexpr UINT kMessagePageLoaded = 1128;
constexpr UINT kMessagePageError = 1137;

// Opens an address outside the launcher; the default is the shell's "open".
using AddressOpener = std::function<void(const wchar_t* address)>;
void openInSystemBrowser(const wchar_t* address);

class CWebBrowserEvent : public DispatchObject {
 public:
  explicit CWebBrowserEvent(HWND owner, AddressOpener opener = openInSystemBrowser);

  // The browser whose own document is the page; a failure raised by another
  // (a frame inside the page) is not the page's. Unset, every failure counts.
  void SetTopLevelBrowser(IUnknown* browser);
  // status may be VT_I4 or a VT_BYREF|VT_VARIANT around it; raisedBy is the
  // event's browser argument.
  void NavigateError(const VARIANT* status, IDispatch* raisedBy = nullptr);
  void DocumentComplete();
  // cancel is set to VARIANT_TRUE whatever the address.
  void NewWindow3(VARIANT_BOOL* cancel, const wchar_t* address);
  bool navigationFailed() const { return navigationFailed_; }

  ~CWebBrowserEvent() override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

 protected:
  bool answersTo(REFIID riid) const override;

 private:
  bool isTopLevel(IDispatch* raisedBy) const;

  HWND owner_;
  IUnknown* topLevel_ = nullptr;  // identity (IUnknown) of the page's browser, held
  AddressOpener opener_;
  bool navigationFailed_ = false;
};

}  // namespace vekt::browser
