// A Direct3D 9 device on a window, one cleared frame presented: what the
// screenshot test's engine stand-in starts with, without any of this
// project's code. Wine draws it through OpenGL (Mesa's software renderer).
#include <windows.h>
#include <d3d9.h>

#include <cstdio>

int main() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"Direct3DProbe";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"Direct3DProbe", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr,
                              nullptr, wc.hInstance, nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d) return 2;
  D3DPRESENT_PARAMETERS pp{};
  pp.Windowed = TRUE;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferWidth = 320;
  pp.BackBufferHeight = 240;
  pp.hDeviceWindow = window;
  IDirect3DDevice9* device = nullptr;
  const HRESULT created = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
  HRESULT presented = E_FAIL;
  if (device) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 128, 255), 1.0f, 0);
    presented = device->Present(nullptr, nullptr, nullptr, nullptr);
    device->Release();
  }
  d3d->Release();
  DestroyWindow(window);
  std::printf("CreateDevice 0x%08lx, Present 0x%08lx\n", static_cast<unsigned long>(created),
              static_cast<unsigned long>(presented));
  return SUCCEEDED(created) && SUCCEEDED(presented) ? 0 : 1;
}
