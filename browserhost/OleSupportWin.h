// OLE pieces every browser host needs, whatever its site looks like: the
// apartment on the UI thread, sizing an in-place object in HIMETRIC, finding
// its window, navigating without a history entry and the error box.
#pragma once
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <string>

namespace vekt::browser {

// OleInitialize on the calling (UI) thread for the object's lifetime.
class OleApartment {
 public:
  OleApartment();
  ~OleApartment();
  OleApartment(const OleApartment&) = delete;
  OleApartment& operator=(const OleApartment&) = delete;
  HRESULT result() const { return result_; }
  bool ok() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

// The screen's logical pixels per inch, read once for the process.
struct ScreenDpi {
  int x;
  int y;
};
ScreenDpi screenDpi();

// Tells the object its extent for the content aspect and, when it is in place
// active, its position and clip rectangle (both the bounds).
HRESULT placeObject(IOleObject* object, IOleInPlaceObject* inPlace, const RECT& bounds);

// The in-place object's own window, or null.
HWND inPlaceWindow(IOleInPlaceObject* inPlace);

// Navigate with navNoHistory; E_POINTER without a browser, E_OUTOFMEMORY when
// the address cannot be copied. Never throws.
HRESULT navigateWithoutHistory(IWebBrowser2* browser, const std::wstring& address);

// Where a host reports a failure the user should see.
using ErrorReporter = void (*)(const wchar_t* message);

// Error box with the caption "Error", the error icon and no owner.
void showErrorBox(const wchar_t* message);

}  // namespace vekt::browser
