// The WebBrowser object as a toolkit control: hosted through CActiveXUI, it is
// also the browser's document host (fixed answers: dialog-style host, no 3D
// border, no script error dialogs, no downloads) and event sink. Events go on
// to one replaceable handler, an IDispatch that receives them as the browser
// raises them; page script sees ExternalObject() as window.external.
#pragma once
#include <windows.h>
#include <docobj.h>
#include <downloadmgr.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <servprov.h>

#include <string>

#include "UIActiveXWin.h"

namespace VantorUI {

class CWebBrowserUI : public CActiveXUI,
                      public IDocHostUIHandler,
                      public IServiceProvider,
                      public IOleCommandTarget,
                      public IDispatch {
 public:
  CWebBrowserUI();
  ~CWebBrowserUI() override;

  std::wstring GetClass() const override { return L"WebBrowserUI"; }
  void SetManager(CManagerUI* manager, CControlUI* parent) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  void SetHomePage(const std::wstring& address) { m_sHomePage = address; }
  const std::wstring& GetHomePage() const { return m_sHomePage; }
  void SetAutoNavigation(bool on) { m_bAutoNavi = on; }
  bool IsAutoNavigation() const { return m_bAutoNavi; }
  // The handler receives every browser event the control forwards; it is
  // kept (AddRef) until replaced or the control goes. Null is ignored.
  void SetWebBrowserEventHandler(IDispatch* handler);
  // Navigate2 with the address as VT_BSTR; S_FALSE without address or object.
  HRESULT Navigate2(const wchar_t* address);
  IWebBrowser2* GetWebBrowser2() const { return m_pWebBrowser2; }
  DWORD GetEventCookie() const { return m_dwCookie; }

  // IUnknown of every sub-interface: one count that never deletes the control.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch: the browser's events.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD id, POINT* point, IUnknown* target, IDispatch* object) override;
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override;
  STDMETHODIMP HideUI() override;
  STDMETHODIMP UpdateUI() override;
  STDMETHODIMP EnableModeless(BOOL) override;
  STDMETHODIMP OnDocWindowActivate(BOOL) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL) override;
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override;
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override;
  STDMETHODIMP GetExternal(IDispatch** external) override;
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override;
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override;

  // IServiceProvider: only the download manager, which drops every download.
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** object) override;

  // IOleCommandTarget: script errors keep the page running without a dialog.
  STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override;
  STDMETHODIMP Exec(const GUID* group, DWORD command, DWORD options, VARIANT* in, VARIANT* out) override;

 protected:
  bool DoCreateControl() override;
  void ReleaseControl() override;
  // window.external for page script: the control's own dispatch here.
  virtual IDispatch* ExternalObject();

 private:
  class Accelerators;
  class Downloads;
  HRESULT EventPoint(IConnectionPoint** point);
  HRESULT ConnectEvents();
  HRESULT DisconnectEvents();
  void InstallDocumentHost();

  IWebBrowser2* m_pWebBrowser2 = nullptr;
  long m_refs = 0;
  DWORD m_dwCookie = 0;
  std::wstring m_sHomePage;
  bool m_bAutoNavi = false;
  IDispatch* m_pEventHandler = nullptr;
  bool m_bScrollBarsHidden = false;
  bool m_bContextMenuSuppressed = false;
  Accelerators* m_accelerators;
  Downloads* m_downloads;
};

}  // namespace VantorUI
