#include "OleSupportWin.h"

#include "Himetric.h"

namespace vekt::browser {

OleApartment::OleApartment() : result_(OleInitialize(nullptr)) {}

OleApartment::~OleApartment() {
  if (SUCCEEDED(result_)) OleUninitialize();
}

ScreenDpi screenDpi() {
  static const ScreenDpi dpi = [] {
    ScreenDpi d{96, 96};
    if (HDC screen = GetDC(nullptr)) {
      d.x = GetDeviceCaps(screen, LOGPIXELSX);
      d.y = GetDeviceCaps(screen, LOGPIXELSY);
      ReleaseDC(nullptr, screen);
    }
    return d;
  }();
  return dpi;
}

HRESULT placeObject(IOleObject* object, IOleInPlaceObject* inPlace, const RECT& bounds) {
  if (!object) return E_POINTER;
  const ScreenDpi dpi = screenDpi();
  const HimetricSize extent =
      himetricExtent(PixelRect{bounds.left, bounds.top, bounds.right, bounds.bottom}, dpi.x, dpi.y);
  SIZEL size{extent.cx, extent.cy};
  HRESULT hr = object->SetExtent(DVASPECT_CONTENT, &size);
  if (inPlace) {
    RECT position = bounds;
    RECT clip = bounds;
    hr = inPlace->SetObjectRects(&position, &clip);
  }
  return hr;
}

HWND inPlaceWindow(IOleInPlaceObject* inPlace) {
  HWND window = nullptr;
  if (inPlace && FAILED(inPlace->GetWindow(&window))) window = nullptr;
  return window;
}

HRESULT navigateWithoutHistory(IWebBrowser2* browser, const std::wstring& address) {
  if (!browser) return E_POINTER;
  BSTR url = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
  if (!url) return E_OUTOFMEMORY;
  VARIANT flags;
  VariantInit(&flags);
  flags.vt = VT_UINT;
  flags.uintVal = navNoHistory;
  const HRESULT hr = browser->Navigate(url, &flags, nullptr, nullptr, nullptr);
  VariantClear(&flags);
  SysFreeString(url);
  return hr;
}

void showErrorBox(const wchar_t* message) { MessageBoxW(nullptr, message, L"Error", MB_OK | MB_ICONERROR); }

}  // namespace vekt::browser
