#include "UIActiveXWin.h"

#include <ocidl.h>

#include "OleSupportWin.h"
#include "UIWindow.h"

namespace VantorUI {

namespace {

constexpr HRESULT kNoToolbars = static_cast<HRESULT>(0x800401A1);  // INPLACE_E_NOTOOLBARS

RECT toRect(const UIRect& rc) { return RECT{rc.left, rc.top, rc.right, rc.bottom}; }

RECT atOrigin(const UIRect& rc) { return RECT{0, 0, rc.Width(), rc.Height()}; }

DWORD miscStatus(IOleObject* object) {
  DWORD status = 0;
  if (object) object->GetMiscStatus(DVASPECT_CONTENT, &status);
  return status;
}

// One table for the process: the frame information hands out a table of one
// empty entry.
HACCEL emptyAcceleratorTable() {
  static HACCEL table = [] {
    ACCEL entry{};
    return CreateAcceleratorTableW(&entry, 1);
  }();
  return table;
}

}  // namespace

// The host child window of a windowed object.
class CActiveXWnd : public CWindowWnd {
 public:
  explicit CActiveXWnd(CActiveXCtrl* site) : m_site(site) {}
  HWND Init(HWND parent);
  void Detach() { m_site = nullptr; }

 protected:
  LPCWSTR GetWindowClassName() const override { return L"ActiveXWnd"; }
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  CActiveXCtrl* m_site;
};

// The in-place frame handed to the object.
class CActiveXFrameWnd final : public IOleInPlaceFrame {
 public:
  explicit CActiveXFrameWnd(HWND window) : m_window(window) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
        riid == IID_IOleInPlaceFrame) {
      *object = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_refs); }
  STDMETHODIMP_(ULONG) Release() override {
    const long left = --m_refs;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = m_window;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
  STDMETHODIMP GetBorder(LPRECT) override { return S_OK; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return kNoToolbars; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
    if (active) active->AddRef();
    if (m_active) m_active->Release();
    m_active = active;
    return S_OK;
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  ~CActiveXFrameWnd() {
    if (m_active) m_active->Release();
  }
  long m_refs = 1;
  HWND m_window;
  IOleInPlaceActiveObject* m_active = nullptr;
};

// The object's client site: container, in-place site and control site.
class CActiveXCtrl final : public IOleClientSite, public IOleInPlaceSite, public IOleControlSite, public IOleContainer {
 public:
  explicit CActiveXCtrl(CActiveXUI* owner) : m_owner(owner) {}

  // The owner lets go: the host window goes with it.
  void Detach() {
    m_owner = nullptr;
    destroyHostWindow();
  }
  void OnHostWindowGone() {
    m_window = nullptr;
    if (m_owner) m_owner->m_hwndHost = nullptr;
  }
  IOleInPlaceObject* InPlaceObject() const { return m_inPlace; }
  bool IsUIActive() const { return m_bUIActivated; }
  bool IsInPlaceActive() const { return m_bInPlaceActive; }
  void SetFocused(bool focused) { m_bFocused = focused; }
  CActiveXUI* Owner() const { return m_owner; }

  // IUnknown, shared by every interface.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IOleControlSite) {
      *object = static_cast<IOleControlSite*>(this);
    } else if (riid == IID_IOleContainer || riid == IID_IParseDisplayName) {
      *object = static_cast<IOleContainer*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_refs); }
  STDMETHODIMP_(ULONG) Release() override {
    const long left = --m_refs;
    if (left == 0) {
      destroyHostWindow();
      if (m_inPlace) m_inPlace->Release();
      delete this;
    }
    return static_cast<ULONG>(left);
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    if (!container) return E_POINTER;
    *container = static_cast<IOleContainer*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP ShowObject() override { return m_owner ? S_OK : E_UNEXPECTED; }  // windowed: it paints itself
  STDMETHODIMP OnShowWindow(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = nullptr;
    if (!m_owner) return E_UNEXPECTED;
    if (!m_owner->m_hwndHost) createHostWindow();
    *window = m_owner->m_hwndHost;
    return *window ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    if (!m_owner || !m_owner->m_pUnk) return E_UNEXPECTED;
    OleLockRunning(m_owner->m_pUnk, TRUE, FALSE);
    if (!m_owner->m_hwndHost) createHostWindow();
    void* inPlace = nullptr;
    if (SUCCEEDED(m_owner->m_pUnk->QueryInterface(IID_IOleInPlaceObject, &inPlace)) && inPlace) {
      if (m_inPlace) m_inPlace->Release();
      m_inPlace = static_cast<IOleInPlaceObject*>(inPlace);
      RECT position = atOrigin(m_owner->GetPos());
      m_inPlace->SetObjectRects(&position, &position);
    }
    m_bInPlaceActive = m_inPlace != nullptr;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override {
    m_bUIActivated = true;
    return S_OK;
  }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO frameInfo) override {
    if (!frame || !document || !position || !clip || !frameInfo) return E_POINTER;
    if (!m_owner) return E_UNEXPECTED;
    const HWND ownerWindow = m_owner->GetOwnerWindow();
    *frame = new CActiveXFrameWnd(ownerWindow);
    *document = nullptr;
    RECT area = toRect(m_owner->GetPos());
    if (m_owner->m_hwndHost) GetClientRect(m_owner->m_hwndHost, &area);
    *position = area;
    *clip = area;
    frameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = ownerWindow;
    frameInfo->haccel = emptyAcceleratorTable();
    frameInfo->cAccelEntries = 1;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override {
    m_bUIActivated = false;
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivate() override {
    m_bInPlaceActive = false;
    if (m_inPlace) {
      m_inPlace->Release();
      m_inPlace = nullptr;
    }
    destroyHostWindow();
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }

  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch** dispatch) override {
    if (!dispatch) return E_POINTER;
    *dispatch = nullptr;
    if (!m_owner || !m_owner->m_pUnk) return E_UNEXPECTED;
    return m_owner->m_pUnk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch));
  }
  STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL focused) override {
    m_bFocused = focused != FALSE;
    return S_OK;
  }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

  // IOleContainer
  STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumObjects(DWORD, IEnumUnknown** objects) override {
    if (objects) *objects = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP LockContainer(BOOL lock) override {
    m_bLocked = lock != FALSE;
    return S_OK;
  }

 private:
  ~CActiveXCtrl() = default;

  void createHostWindow() {
    if (m_window || !m_owner) return;
    auto* window = new CActiveXWnd(this);
    if (!window->Init(m_owner->GetOwnerWindow())) {
      delete window;
      return;
    }
    m_window = window;
    m_owner->m_hwndHost = window->GetHWND();
  }
  void destroyHostWindow() {
    if (!m_window) return;
    CActiveXWnd* window = m_window;
    window->Detach();
    OnHostWindowGone();
    DestroyWindow(window->GetHWND());  // the window object deletes itself
  }

  long m_refs = 1;
  CActiveXUI* m_owner;
  CActiveXWnd* m_window = nullptr;
  IOleInPlaceObject* m_inPlace = nullptr;
  bool m_bFocused = false;
  bool m_bUIActivated = false;
  bool m_bInPlaceActive = false;
  bool m_bLocked = false;
};

HWND CActiveXWnd::Init(HWND parent) {
  return Create(parent, L"UIActiveX", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, 0);
}

LRESULT CActiveXWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CActiveXUI* owner = m_site ? m_site->Owner() : nullptr;
  switch (uMsg) {
    case WM_SETFOCUS:
      if (m_site) m_site->SetFocused(true);
      if (owner && owner->GetOleObject() && !m_site->IsUIActive()) {
        RECT rc = atOrigin(owner->GetPos());
        owner->GetOleObject()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, m_site, 0, m_hWnd, &rc);
      }
      return 0;
    case WM_KILLFOCUS:
      if (m_site) m_site->SetFocused(false);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(m_hWnd, &ps);
      EndPaint(m_hWnd, &ps);
      return 1;
    }
    case WM_ERASEBKGND:
      return 1;  // the object paints all of it
    case WM_MOUSEACTIVATE:
      if (owner && (miscStatus(owner->GetOleObject()) & OLEMISC_NOUIACTIVATE) == 0) {
        if (!m_site->IsInPlaceActive()) {
          RECT rc = atOrigin(owner->GetPos());
          owner->GetOleObject()->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site, 0, m_hWnd, &rc);
        }
        break;
      }
      return 0;
    case WM_MOUSEWHEEL:
      return 0;
    default:
      break;
  }
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void CActiveXWnd::OnFinalMessage(HWND) {
  if (m_site) m_site->OnHostWindowGone();
  delete this;
}

CActiveXUI::CActiveXUI() = default;

CActiveXUI::~CActiveXUI() { ReleaseControl(); }

HWND CActiveXUI::GetOwnerWindow() const {
  if (m_manager && m_manager->GetPaintWindow()) return m_manager->GetPaintWindow();
  return m_hwndOwner;
}

void CActiveXUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"clsid") {
    CLSID clsid = CLSID_NULL;
    if (!value.empty() && value[0] == L'{') {
      CLSIDFromString(value.c_str(), &clsid);
    } else {
      CLSIDFromProgID(value.substr(0, 99).c_str(), &clsid);
    }
    SetCLSID(clsid);
  } else if (name == L"modulename") {
    SetModuleName(value);
  } else if (name == L"delaycreate") {
    SetDelayCreate(value == L"true");
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

bool CActiveXUI::SetCLSID(const CLSID& clsid) {
  if (IsEqualCLSID(clsid, CLSID_NULL)) return false;
  m_bCreated = false;
  m_clsid = clsid;
  if (!m_bDelayCreate) CreateControl();
  return true;
}

void CActiveXUI::SetDelayCreate(bool delay) {
  m_bDelayCreate = delay;
  if (!delay && !m_bCreated && !IsEqualCLSID(m_clsid, CLSID_NULL)) CreateControl();
}

bool CActiveXUI::CreateControl() {
  if (m_bCreated) return m_pUnk != nullptr;
  if (IsEqualCLSID(m_clsid, CLSID_NULL)) return false;  // nothing to create yet
  return DoCreateControl();
}

void CActiveXUI::SetPos(const UIRect& rc) {
  CControlUI::SetPos(rc);
  if (!m_bCreated) CreateControl();
  PlaceObject();
}

void CActiveXUI::PlaceObject() {
  if (!m_pUnk || !m_pControl) return;
  vekt::browser::placeObject(m_pUnk, m_pControl->IsInPlaceActive() ? m_pControl->InPlaceObject() : nullptr,
                             atOrigin(m_rcItem));
  if (m_hwndHost) {
    MoveWindow(m_hwndHost, m_rcItem.left, m_rcItem.top, m_rcItem.Width(), m_rcItem.Height(), FALSE);
  }
}

void CActiveXUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  ShowHostWindow();
}

void CActiveXUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  ShowHostWindow();
}

void CActiveXUI::ShowHostWindow() {
  if (!m_hwndHost) return;
  const bool shown = IsVisible() && IsInternVisible();
  if (!shown) {
    // Hidden with the focus inside: the focus goes back to the skinned window.
    const HWND focus = GetFocus();
    if (focus && (focus == m_hwndHost || IsChild(m_hwndHost, focus))) SetFocus(GetOwnerWindow());
  }
  ::ShowWindow(m_hwndHost, shown ? SW_SHOW : SW_HIDE);
}

LRESULT CActiveXUI::MessageHandler(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

HRESULT CActiveXUI::GetControl(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!m_pUnk) return E_PENDING;
  return m_pUnk->QueryInterface(iid, object);
}

bool CActiveXUI::DoCreateControl() {
  ReleaseControl();
  m_bCreated = true;  // a failed attempt waits for a new identifier or a release
  IOleControl* control = nullptr;
  if (!m_sModuleName.empty()) {
    if (HMODULE module = LoadLibraryW(m_sModuleName.c_str())) {
      using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
      auto getClassObject =
          reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
      IClassFactory* factory = nullptr;
      if (getClassObject && SUCCEEDED(getClassObject(m_clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) &&
          factory) {
        factory->CreateInstance(nullptr, IID_IOleObject, reinterpret_cast<void**>(&control));
        factory->Release();
      }
    }
  }
  if (!control &&
      FAILED(CoCreateInstance(m_clsid, nullptr, CLSCTX_ALL, IID_IOleControl, reinterpret_cast<void**>(&control)))) {
    control = nullptr;
  }
  if (!control) return false;
  control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&m_pUnk));
  control->Release();
  if (!m_pUnk) return false;

  m_pControl = new CActiveXCtrl(this);
  IOleClientSite* site = m_pControl;
  const DWORD status = miscStatus(m_pUnk);
  bool siteGiven = false;
  if (status & OLEMISC_SETCLIENTSITEFIRST) {
    m_pUnk->SetClientSite(site);
    siteGiven = true;
  }
  IPersistStreamInit* persist = nullptr;
  if (SUCCEEDED(m_pUnk->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))) && persist) {
    const HRESULT hr = persist->InitNew();
    persist->Release();
    if (FAILED(hr)) return false;
  }
  if (!siteGiven) m_pUnk->SetClientSite(site);
  m_pUnk->SetHostNames(L"UIActiveX", nullptr);
  if (m_manager) m_manager->SendNotify(this, L"showactivex");
  HRESULT hr = S_OK;
  if ((status & OLEMISC_INVISIBLEATRUNTIME) == 0) {
    RECT rc = toRect(m_rcItem);
    hr = m_pUnk->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, GetOwnerWindow(), &rc);
  }
  IObjectWithSite* withSite = nullptr;
  if (SUCCEEDED(m_pUnk->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite))) && withSite) {
    withSite->SetSite(site);
    withSite->Release();
  }
  ShowHostWindow();
  return SUCCEEDED(hr);
}

void CActiveXUI::ReleaseControl() {
  m_hwndHost = nullptr;
  if (m_pUnk) {
    IObjectWithSite* withSite = nullptr;
    if (SUCCEEDED(m_pUnk->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite))) && withSite) {
      withSite->SetSite(nullptr);
      withSite->Release();
    }
    m_pUnk->Close(OLECLOSE_NOSAVE);
    m_pUnk->SetClientSite(nullptr);
    m_pUnk->Release();
    m_pUnk = nullptr;
  }
  if (m_pControl) {
    m_pControl->Detach();
    m_pControl->Release();
    m_pControl = nullptr;
  }
  m_bCreated = false;
  if (m_manager) m_manager->RemoveMessageFilter(this);
}

}  // namespace VantorUI
