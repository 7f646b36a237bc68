// An ActiveX object embedded in a skinned window: created from its class id,
// activated in place in a host child window ("ActiveXWnd") at the control's
// rectangle, kept sized (extent in HIMETRIC) and shown or hidden with the
// control, and released with it. Only windowed objects are hosted.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "UIControl.h"
#include "UIManager.h"

namespace VantorUI {

class CActiveXCtrl;

class CActiveXUI : public CControlUI, public IMessageFilterUI {
 public:
  CActiveXUI();
  ~CActiveXUI() override;

  std::wstring GetClass() const override { return L"ActiveXUI"; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetPos(const UIRect& rc) override;
  void SetVisible(bool visible) override;
  void SetInternVisible(bool visible) override;
  // Windowless objects only, which are not hosted: never handles anything.
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  // A new identifier drops the remembered creation attempt; with delayed
  // creation off the object is created at once. The null GUID is ignored.
  bool SetCLSID(const CLSID& clsid);
  const CLSID& GetCLSID() const { return m_clsid; }
  void SetDelayCreate(bool delay);
  bool IsDelayCreate() const { return m_bDelayCreate; }
  void SetModuleName(const std::wstring& module) { m_sModuleName = module; }
  // The skinned window the object lives in, for objects created while the
  // layout is built (before the manager has the control).
  void SetOwnerWindow(HWND owner) { m_hwndOwner = owner; }
  HWND GetOwnerWindow() const;

  // True once a creation was attempted (successful or not).
  bool IsCreated() const { return m_bCreated; }
  IOleObject* GetOleObject() const { return m_pUnk; }
  HWND GetHostWindow() const { return m_hwndHost; }
  // The hosted object's interface, AddRef'ed; E_PENDING without an object.
  HRESULT GetControl(REFIID iid, void** object);

 protected:
  // Creates and activates the object; answers true on success.
  virtual bool DoCreateControl();
  virtual void ReleaseControl();
  // Creates the object unless an attempt was made already.
  bool CreateControl();

 private:
  friend class CActiveXCtrl;
  // SetExtent in HIMETRIC, SetObjectRects and the host window's place.
  void PlaceObject();
  void ShowHostWindow();

  CLSID m_clsid = CLSID_NULL;
  std::wstring m_sModuleName;
  bool m_bCreated = false;
  bool m_bDelayCreate = true;
  IOleObject* m_pUnk = nullptr;
  CActiveXCtrl* m_pControl = nullptr;
  HWND m_hwndHost = nullptr;
  HWND m_hwndOwner = nullptr;
};

}  // namespace VantorUI
