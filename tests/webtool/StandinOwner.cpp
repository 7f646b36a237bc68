// Stand-in for the program that starts the web page tool: one top-level window
// of a solid colour that takes the foreground.
// Usage: StandinOwner <x> <y> <width> <height> [seconds]
// Ends on WM_CLOSE or after the given seconds (default 120).
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

namespace {

constexpr COLORREF kOwnerColour = RGB(0, 128, 255);
constexpr UINT_PTR kLifetimeTimer = 1;

LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kLifetimeTimer) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count < 5) return 2;
  const int x = _wtoi(args[1]);
  const int y = _wtoi(args[2]);
  const int width = _wtoi(args[3]);
  const int height = _wtoi(args[4]);
  const int seconds = count > 5 ? _wtoi(args[5]) : 120;
  LocalFree(args);

  WNDCLASSW wc{};
  wc.lpfnWndProc = ownerProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = CreateSolidBrush(kOwnerColour);
  wc.lpszClassName = L"StandinOwner";
  if (!RegisterClassW(&wc)) return 3;
  HWND window = CreateWindowExW(0, L"StandinOwner", L"Stand-in owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width,
                                height, nullptr, nullptr, instance, nullptr);
  if (!window) return 4;
  SetForegroundWindow(window);
  UpdateWindow(window);
  SetTimer(window, kLifetimeTimer, static_cast<UINT>(seconds) * 1000u, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
