#include "UIWebBrowserWin.h"

#include <exdispid.h>
#include <ocidl.h>

#include "OleSupportWin.h"

namespace VantorUI {

namespace {

// Declared by the SDK headers but not in every import library: written out here.
constexpr GUID kDownloadManager = {0x988934a4, 0x064b, 0x11d3, {0xbb, 0x80, 0x00, 0x10, 0x4b, 0x35, 0xe7, 0xf9}};
constexpr GUID kDocHostCommandHandler = {0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};
constexpr GUID kCustomDoc = {0x3050f3f0, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};
constexpr DWORD kShowScriptError = 40;  // OLECMDID_SHOWSCRIPTERROR
constexpr DWORD kContextMenuControl = 2;
constexpr DWORD kContextMenuTextSelection = 4;
constexpr DWORD kHostFlags = DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_NO3DOUTERBORDER;
constexpr wchar_t kWebBrowserClsid[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

}  // namespace

// Keyboard messages for the page while the focus is inside the browser.
class CWebBrowserUI::Accelerators : public ITranslateAccelerator {
 public:
  explicit Accelerators(CWebBrowserUI& owner) : m_owner(owner) {}
  LRESULT TranslateAccelerator(MSG* msg) override {
    if (!msg || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return S_FALSE;
    if (!m_owner.m_pWebBrowser2) return E_NOTIMPL;
    const HWND host = m_owner.GetHostWindow();
    bool inside = false;
    for (HWND w = GetFocus(); w && host; w = ::GetParent(w)) {
      if (w == host) {
        inside = true;
        break;
      }
    }
    if (!inside) return S_FALSE;
    IOleInPlaceActiveObject* active = nullptr;
    if (FAILED(
            m_owner.m_pWebBrowser2->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active))) ||
        !active) {
      return S_FALSE;
    }
    const HRESULT hr = active->TranslateAccelerator(msg);
    active->Release();
    return hr;
  }

 private:
  CWebBrowserUI& m_owner;
};

// The download manager the browser asks for: every download is dropped.
class CWebBrowserUI::Downloads final : public IDownloadManager {
 public:
  explicit Downloads(CWebBrowserUI& owner) : m_owner(owner) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != kDownloadManager) return E_NOINTERFACE;
    *object = static_cast<IDownloadManager*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_owner.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_owner.Release(); }
  STDMETHODIMP Download(IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, LPCOLESTR, LPCOLESTR, UINT) override {
    return S_OK;
  }

 private:
  CWebBrowserUI& m_owner;
};

CWebBrowserUI::CWebBrowserUI() : m_accelerators(new Accelerators(*this)), m_downloads(new Downloads(*this)) {
  CLSID clsid = CLSID_NULL;
  CLSIDFromString(kWebBrowserClsid, &clsid);
  SetCLSID(clsid);
}

CWebBrowserUI::~CWebBrowserUI() {
  if (m_manager) m_manager->RemoveTranslateAccelerator(m_accelerators);
  ReleaseControl();
  if (m_pEventHandler) m_pEventHandler->Release();
  delete m_accelerators;
  delete m_downloads;
}

// The page's keys follow the manager: a control made while the layout is read
// gets its manager only when the layout is attached, after the object exists.
void CWebBrowserUI::SetManager(CManagerUI* manager, CControlUI* parent) {
  if (m_manager && m_manager != manager) m_manager->RemoveTranslateAccelerator(m_accelerators);
  CActiveXUI::SetManager(manager, parent);
  if (m_manager) m_manager->AddTranslateAccelerator(m_accelerators);
}

void CWebBrowserUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"homepage") {
    m_sHomePage = value;
  } else if (name == L"autonavi") {
    m_bAutoNavi = value == L"true";
  } else {
    CActiveXUI::SetAttribute(name, value);
  }
}

void CWebBrowserUI::SetWebBrowserEventHandler(IDispatch* handler) {
  if (!handler || handler == m_pEventHandler) return;
  handler->AddRef();
  if (m_pEventHandler) m_pEventHandler->Release();
  m_pEventHandler = handler;
}

HRESULT CWebBrowserUI::Navigate2(const wchar_t* address) {
  if (!address || !m_pWebBrowser2) return S_FALSE;
  VARIANT url;
  VariantInit(&url);
  url.vt = VT_BSTR;
  url.bstrVal = SysAllocString(address);
  if (!url.bstrVal) return E_OUTOFMEMORY;
  const HRESULT hr = m_pWebBrowser2->Navigate2(&url, nullptr, nullptr, nullptr, nullptr);
  VariantClear(&url);
  return hr;
}

bool CWebBrowserUI::DoCreateControl() {
  if (!CActiveXUI::DoCreateControl()) return false;
  GetControl(IID_IWebBrowser2, reinterpret_cast<void**>(&m_pWebBrowser2));
  if (m_bAutoNavi && !m_sHomePage.empty()) Navigate2(m_sHomePage.c_str());
  ConnectEvents();
  return true;
}

void CWebBrowserUI::ReleaseControl() {
  DisconnectEvents();
  if (m_pWebBrowser2) {
    m_pWebBrowser2->Release();
    m_pWebBrowser2 = nullptr;
  }
  CActiveXUI::ReleaseControl();
}

// The hosted object's DWebBrowserEvents2 connection point, looked up afresh.
HRESULT CWebBrowserUI::EventPoint(IConnectionPoint** point) {
  *point = nullptr;
  IWebBrowser2* browser = nullptr;
  if (FAILED(GetControl(IID_IWebBrowser2, reinterpret_cast<void**>(&browser))) || !browser) return E_PENDING;
  IConnectionPointContainer* container = nullptr;
  HRESULT hr = browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  if (SUCCEEDED(hr) && container) {
    hr = container->FindConnectionPoint(DIID_DWebBrowserEvents2, point);
    container->Release();
  }
  browser->Release();
  if (SUCCEEDED(hr) && !*point) hr = E_NOINTERFACE;
  return hr;
}

HRESULT CWebBrowserUI::ConnectEvents() {
  IConnectionPoint* point = nullptr;
  HRESULT hr = EventPoint(&point);
  if (SUCCEEDED(hr)) {
    hr = point->Advise(static_cast<IDispatch*>(this), &m_dwCookie);
    point->Release();
  }
  return hr;
}

HRESULT CWebBrowserUI::DisconnectEvents() {
  IConnectionPoint* point = nullptr;
  HRESULT hr = EventPoint(&point);
  if (SUCCEEDED(hr)) {
    if (m_dwCookie) hr = point->Unadvise(m_dwCookie);
    point->Release();
  }
  if (hr != E_PENDING) m_dwCookie = 0;
  return hr;
}

void CWebBrowserUI::InstallDocumentHost() {
  if (!m_pWebBrowser2) return;
  IDispatch* document = nullptr;
  if (FAILED(m_pWebBrowser2->get_Document(&document)) || !document) return;
  ICustomDoc* custom = nullptr;
  if (SUCCEEDED(document->QueryInterface(kCustomDoc, reinterpret_cast<void**>(&custom))) && custom) {
    custom->SetUIHandler(static_cast<IDocHostUIHandler*>(this));
    custom->Release();
  }
  document->Release();
}

IDispatch* CWebBrowserUI::ExternalObject() { return static_cast<IDispatch*>(this); }

// IUnknown

STDMETHODIMP CWebBrowserUI::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDocHostUIHandler) {
    *object = static_cast<IDocHostUIHandler*>(this);
  } else if (riid == IID_IDispatch) {
    *object = static_cast<IDispatch*>(this);
  } else if (riid == IID_IServiceProvider) {
    *object = static_cast<IServiceProvider*>(this);
  } else if (riid == IID_IOleCommandTarget) {
    *object = static_cast<IOleCommandTarget*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CWebBrowserUI::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

STDMETHODIMP_(ULONG) CWebBrowserUI::Release() { return static_cast<ULONG>(InterlockedDecrement(&m_refs)); }

// IDispatch

STDMETHODIMP CWebBrowserUI::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserUI::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserUI::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
  if (ids) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  }
  return S_OK;
}

STDMETHODIMP CWebBrowserUI::Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) {
  if (riid != IID_NULL) return E_INVALIDARG;
  switch (id) {
    case DISPID_NAVIGATECOMPLETE2:
      // Every new document answers with this host.
      InstallDocumentHost();
      [[fallthrough]];
    case DISPID_BEFORENAVIGATE2:
    case DISPID_DOCUMENTCOMPLETE:
    case DISPID_NAVIGATEERROR:
    case DISPID_NEWWINDOW3:
    case DISPID_COMMANDSTATECHANGE:
      if (m_pEventHandler) m_pEventHandler->Invoke(id, riid, locale, flags, params, result, exception, argError);
      return S_OK;
    case DISPID_STATUSTEXTCHANGE:
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

// IDocHostUIHandler

STDMETHODIMP CWebBrowserUI::ShowContextMenu(DWORD id, POINT*, IUnknown*, IDispatch*) {
  if (id == kContextMenuControl || id == kContextMenuTextSelection) return S_FALSE;
  return m_bContextMenuSuppressed ? S_OK : S_FALSE;
}

STDMETHODIMP CWebBrowserUI::GetHostInfo(DOCHOSTUIINFO* info) {
  if (!info) return E_POINTER;
  info->cbSize = sizeof(DOCHOSTUIINFO);
  info->dwFlags |= kHostFlags;
  if (m_bScrollBarsHidden) info->dwFlags |= DOCHOSTUIFLAG_SCROLL_NO;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

STDMETHODIMP CWebBrowserUI::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                   IOleInPlaceUIWindow*) {
  return S_OK;
}
STDMETHODIMP CWebBrowserUI::HideUI() { return S_OK; }
STDMETHODIMP CWebBrowserUI::UpdateUI() { return S_OK; }
STDMETHODIMP CWebBrowserUI::EnableModeless(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CWebBrowserUI::OnDocWindowActivate(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CWebBrowserUI::OnFrameWindowActivate(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CWebBrowserUI::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return E_NOTIMPL; }
STDMETHODIMP CWebBrowserUI::TranslateAccelerator(LPMSG, const GUID*, DWORD) { return S_FALSE; }

STDMETHODIMP CWebBrowserUI::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key) *key = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserUI::GetDropTarget(IDropTarget*, IDropTarget** target) {
  if (target) *target = nullptr;
  return S_FALSE;
}

STDMETHODIMP CWebBrowserUI::GetExternal(IDispatch** external) {
  if (!external) return E_POINTER;
  *external = ExternalObject();
  if (*external) (*external)->AddRef();
  return *external ? S_OK : E_NOTIMPL;
}

STDMETHODIMP CWebBrowserUI::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) {
  if (translated) *translated = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserUI::FilterDataObject(IDataObject*, IDataObject** filtered) {
  if (filtered) *filtered = nullptr;
  return E_NOTIMPL;
}

// IServiceProvider

STDMETHODIMP CWebBrowserUI::QueryService(REFGUID service, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (service == kDownloadManager && riid == kDownloadManager) {
    *object = static_cast<IDownloadManager*>(m_downloads);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

// IOleCommandTarget

STDMETHODIMP CWebBrowserUI::QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) { return OLECMDERR_E_NOTSUPPORTED; }

STDMETHODIMP CWebBrowserUI::Exec(const GUID* group, DWORD command, DWORD, VARIANT*, VARIANT* out) {
  if (!group || *group != kDocHostCommandHandler) return OLECMDERR_E_UNKNOWNGROUP;
  if (command != kShowScriptError) return OLECMDERR_E_NOTSUPPORTED;
  if (out) {
    VariantClear(out);
    out->vt = VT_BOOL;
    out->boolVal = VARIANT_TRUE;  // keep running the page's scripts
  }
  return S_OK;
}

}  // namespace VantorUI
