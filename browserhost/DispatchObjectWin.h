// IUnknown and the type-information half of IDispatch for the objects the
// browser and page script call: created with new, deleted by the last Release.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace vekt::browser {

class DispatchObject : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || answersTo(riid)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }

 protected:
  virtual ~DispatchObject() = default;
  // A further interface served by the same IDispatch (an event interface).
  virtual bool answersTo(REFIID) const { return false; }

 private:
  LONG refs_ = 1;
};

}  // namespace vekt::browser
