#include "ScriptBridgeWin.h"

#include <string>

#include "base/Text.h"

namespace vekt::browser {

ScriptBridge::ScriptBridge(HWND owner, RequestTextQueue& queue, BridgeLog log, IDispatch* fallback)
    : owner_(owner), queue_(&queue), log_(std::move(log)), fallback_(fallback) {
  if (fallback_) fallback_->AddRef();
}

ScriptBridge::~ScriptBridge() {
  if (fallback_) fallback_->Release();
}

void ScriptBridge::detach() {
  owner_ = nullptr;
  queue_ = nullptr;
  if (fallback_) fallback_->Release();
  fallback_ = nullptr;
}

const char* ScriptBridge::CallCppFunc(const wchar_t* text, size_t length) {
  if (length > kMaxRequestBytes || !queue_) return kBridgeResult;
  const std::string ansi = base::utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
  const BridgeRequest request = DecodeBridgeRequest(ansi);
  if (request.call == BridgeCall::kNone) return kBridgeResult;
  if (log_) log_(request.logLine);
  uintptr_t wParam = 0;
  if (request.call == BridgeCall::kOpenGame) {
    wParam = queue_->push(ansi);
    if (wParam == 0) return kBridgeResult;  // the window is not taking requests
  }
  if (!PostMessageW(owner_, request.message, static_cast<WPARAM>(wParam), 0) && wParam != 0) {
    queue_->discard(wParam);
  }
  return kBridgeResult;
}

STDMETHODIMP ScriptBridge::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (names[0] && lstrcmpW(names[0], reinterpret_cast<const wchar_t*>(kBridgeMethodName)) == 0 && count == 1) {
    ids[0] = kBridgeDispId;
    return S_OK;
  }
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP ScriptBridge::Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception, UINT* argError) {
  if (id != kBridgeDispId) {
    if (fallback_) return fallback_->Invoke(id, riid, locale, flags, params, result, exception, argError);
    return DISP_E_MEMBERNOTFOUND;
  }
  if (!params || params->cArgs != 1 || !params->rgvarg) return DISP_E_MEMBERNOTFOUND;
  VARIANT& argument = params->rgvarg[0];
  if (argument.vt == VT_BSTR) {
    const BSTR text = argument.bstrVal;
    CallCppFunc(text ? text : L"", text ? SysStringLen(text) : 0);
    return S_OK;
  }
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = VariantCopyInd(&copy, &argument);
  if (SUCCEEDED(hr)) hr = VariantChangeType(&copy, &copy, 0, VT_BSTR);
  if (SUCCEEDED(hr) && copy.vt == VT_BSTR) {
    const BSTR text = copy.bstrVal;
    CallCppFunc(text ? text : L"", text ? SysStringLen(text) : 0);
  } else if (SUCCEEDED(hr)) {
    hr = DISP_E_TYPEMISMATCH;
  }
  VariantClear(&copy);
  if (FAILED(hr) && argError) *argError = 0;
  return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

}  // namespace vekt::browser
