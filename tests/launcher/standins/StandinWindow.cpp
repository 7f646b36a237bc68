// Stand-in for the platform client or the game manager: one real top-level
// window that records every WM_COPYDATA and every message from WM_USER up.
// Usage: standin_window <record file> <ready file> [--slow]
// With --slow it takes 20 seconds to answer each WM_COPYDATA (a hung client).
// The ready file receives the window handle in decimal once the window exists.
// Lines: "copydata <dwData> <cbData> <hex bytes>" and "msg <message> <wParam> <lParam>".
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

FILE* g_record = nullptr;
bool g_slow = false;

LRESULT CALLBACK standInProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    const COPYDATASTRUCT* copy = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    std::fprintf(g_record, "copydata %llu %lu ", static_cast<unsigned long long>(copy->dwData), copy->cbData);
    const unsigned char* bytes = static_cast<const unsigned char*>(copy->lpData);
    for (DWORD i = 0; i < copy->cbData; ++i) std::fprintf(g_record, "%02x", bytes[i]);
    std::fprintf(g_record, "\n");
    std::fflush(g_record);
    if (g_slow) {
      Sleep(20000);
      std::fprintf(g_record, "answered\n");
      std::fflush(g_record);
    }
    return TRUE;
  }
  if (msg >= WM_USER && msg < 0x8000) {
    std::fprintf(g_record, "msg %u %llu %lld\n", msg, static_cast<unsigned long long>(wp), static_cast<long long>(lp));
    std::fflush(g_record);
    return 0;
  }
  if (msg == WM_TIMER || msg == WM_CLOSE) {
    DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  g_slow = argc > 3 && std::wstring(argv[3]) == L"--slow";
  g_record = _wfopen(argv[1], L"w");
  if (!g_record) return 3;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = standInProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VektStandInWindow";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(wc.lpszClassName, L"stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                              wc.hInstance, nullptr);
  if (!window) return 4;
  SetTimer(window, 1, 120000, nullptr);  // never outlives a broken test run for long
  const std::wstring temporary = std::wstring(argv[2]) + L".part";
  FILE* ready = _wfopen(temporary.c_str(), L"w");
  if (!ready) return 5;
  std::fprintf(ready, "%lld", static_cast<long long>(reinterpret_cast<intptr_t>(window)));
  std::fclose(ready);
  MoveFileExW(temporary.c_str(), argv[2], MOVEFILE_REPLACE_EXISTING);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  std::fclose(g_record);
  return 0;
}
