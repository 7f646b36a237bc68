// The object behind window.external: g_callCppFunc(text) turns a page request
// into a message posted to the owner window. It never calls window code; an
// "open_game" text waits in the window's queue and the message carries its token.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <functional>

#include "DispatchObjectWin.h"

#include "BridgeRequest.h"

namespace vekt::browser {

// Receives each log line of a handled request (function "CallCppFunc", level 0).
using BridgeLog = std::function<void(const char* line)>;

class ScriptBridge : public DispatchObject {
 public:
  // queue outlives the bridge (the window owns both); fallback, when set,
  // answers every other dispatch identifier (the browser event dispatch).
  ScriptBridge(HWND owner, RequestTextQueue& queue, BridgeLog log, IDispatch* fallback = nullptr);

  // The control that made the bridge goes: later calls post nothing and
  // reach no fallback (page script may hold the object a little longer).
  void detach();

  // The request as text; posts its message. Returns the result text "{}".
  const char* CallCppFunc(const wchar_t* text, size_t length);

  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

 protected:
  ~ScriptBridge() override;

 private:
  HWND owner_;
  RequestTextQueue* queue_;
  BridgeLog log_;
  IDispatch* fallback_;
};

}  // namespace vekt::browser
