// The WebBrowser control embedded in a plain window as an in-place active OLE
// object. The host is the control's client site, in-place site and storage;
// only what the control needs to show itself does real work. It is made once
// per window and lives as long as the process: its count never deletes it.
#pragma once
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <string>

#include "OleSupportWin.h"

namespace vekt::browser {

class WebBrowser : public IOleClientSite, public IOleInPlaceSite, public IStorage {
 public:
  // Creates, activates and silences the control in `parent` and opens
  // "about:blank". OLE must be initialised on this thread. A failed step is
  // reported and leaves the host without the interfaces not obtained.
  explicit WebBrowser(HWND parent, ErrorReporter report = showErrorBox);
  WebBrowser(const WebBrowser&) = delete;
  WebBrowser& operator=(const WebBrowser&) = delete;

  // IUnknown, shared by the three interfaces.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Places and sizes the control; bounds in pixels of the parent's client area.
  virtual void setBounds(const RECT& bounds);
  // The control's own window, asked from the in-place object once known.
  virtual HWND windowHandle();

  // Opens the address without a history entry; an error result, never a throw.
  HRESULT navigate(const std::wstring& address);

  IWebBrowser2* browser() const { return browser_; }
  IOleObject* oleObject() const { return oleObject_; }
  long referenceCount() const { return references_; }
  const RECT& bounds() const { return bounds_; }

  // IOleClientSite
  STDMETHODIMP SaveObject() override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override;
  STDMETHODIMP OnShowWindow(BOOL show) override;
  STDMETHODIMP RequestNewObjectLayout() override;

  // IOleWindow / IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;
  STDMETHODIMP CanInPlaceActivate() override;
  STDMETHODIMP OnInPlaceActivate() override;
  STDMETHODIMP OnUIActivate() override;
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO frameInfo) override;
  STDMETHODIMP Scroll(SIZE extent) override;
  STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
  STDMETHODIMP OnInPlaceDeactivate() override;
  STDMETHODIMP DiscardUndoState() override;
  STDMETHODIMP DeactivateAndUndo() override;
  STDMETHODIMP OnPosRectChange(LPCRECT position) override;

  // IStorage: only SetClass succeeds.
  STDMETHODIMP CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream**) override;
  STDMETHODIMP OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream**) override;
  STDMETHODIMP CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage**) override;
  STDMETHODIMP OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage**) override;
  STDMETHODIMP CopyTo(DWORD, const IID*, SNB, IStorage*) override;
  STDMETHODIMP MoveElementTo(LPCOLESTR, IStorage*, LPCOLESTR, DWORD) override;
  STDMETHODIMP Commit(DWORD) override;
  STDMETHODIMP Revert() override;
  STDMETHODIMP EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override;
  STDMETHODIMP DestroyElement(LPCOLESTR) override;
  STDMETHODIMP RenameElement(LPCOLESTR, LPCOLESTR) override;
  STDMETHODIMP SetElementTimes(LPCOLESTR, const FILETIME*, const FILETIME*, const FILETIME*) override;
  STDMETHODIMP SetClass(REFCLSID clsid) override;
  STDMETHODIMP SetStateBits(DWORD, DWORD) override;
  STDMETHODIMP Stat(STATSTG*, DWORD) override;

 protected:
  ~WebBrowser() = default;  // never deleted: the process ends first

 private:
  bool create(ErrorReporter report);

  IOleObject* oleObject_ = nullptr;
  IOleInPlaceObject* inPlaceObject_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  long references_ = 0;
  RECT bounds_{-300, -300, 300, 300};
  HWND parent_ = nullptr;
  HWND controlWindow_ = nullptr;
};

}  // namespace vekt::browser
