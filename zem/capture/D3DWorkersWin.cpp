// Direct3D 9 and 11 workers: grab the engine's current render target, copy it
// into memory the CPU can read one frame later, and show its rows to the
// encoder. Every reference taken is released on every path.
#include <d3d11.h>
#include <d3d9.h>
#include <windows.h>

#include <string>

#include "ComRelease.h"
#include "ScreenShotHelper.h"

namespace zem::capture {

namespace {

// The frame is copied into the worker's own render target at once: the back
// buffer itself may hold anything after Present. That render target lives only
// until the copy (a device reset needs every default-pool surface released);
// the system-memory surface is kept while size and format stay.
class D3D9Worker : public D3DWorker {
 public:
  explicit D3D9Worker(IDirect3DDevice9* device) : device_(device) {}
  ~D3D9Worker() override {
    release(single_);
    release(offscreen_);
    release(done_);
  }

  bool capture() override {
    IDirect3DSurface9* target = nullptr;
    if (!check(device_->GetRenderTarget(0, &target)) || !target) return check(E_POINTER);
    D3DSURFACE_DESC desc{};
    release(single_);
    const bool ok =
        check(target->GetDesc(&desc)) &&
        (supported(desc.Format) || refuse("render target format " + formatName(desc.Format) + " is not supported")) &&
        ensureOffscreen(desc) &&
        check(device_->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &single_,
                                          nullptr)) &&
        check(device_->StretchRect(target, nullptr, single_, nullptr, D3DTEXF_NONE));
    release(target);
    if (!ok) release(single_);
    if (ok) markIssued();
    return ok;
  }

  void dropImage() override {
    D3DWorker::dropImage();
    release(single_);
    release(done_);
  }

  bool copy() override {
    if (!single_) return check(E_POINTER);
    // The copy into system memory waits for the frame's queued work: asked only once it is done.
    if (!issuedWorkDone()) return false;
    if (!check(device_->GetRenderTargetData(single_, offscreen_))) return false;
    release(single_);
    markIssued();
    return true;
  }

  bool mapFrame(FrameView& frame) override {
    if (!offscreen_) return check(E_POINTER);
    if (!issuedWorkDone()) return false;
    D3DLOCKED_RECT rect{};
    // Not ready yet: try again at the next end-draw instead of waiting for the device.
    if (!check(offscreen_->LockRect(&rect, nullptr, D3DLOCK_READONLY | D3DLOCK_DONOTWAIT))) return false;
    frame = {static_cast<int>(desc_.Width), static_cast<int>(desc_.Height), rect.Pitch,
             static_cast<const uint8_t*>(rect.pBits), PixelOrder::kBgrx};
    return true;
  }
  void unmapFrame() override { offscreen_->UnlockRect(); }

 private:
  static bool supported(D3DFORMAT f) { return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8; }

  // Marks the end of the work issued so far (without an event query the device is
  // taken as done at once, and its own calls wait).
  void markIssued() {
    if (!done_ && FAILED(device_->CreateQuery(D3DQUERYTYPE_EVENT, &done_))) done_ = nullptr;
    if (done_) done_->Issue(D3DISSUE_END);
  }
  // True once that work is done; "still drawing" leaves the step to a later event.
  bool issuedWorkDone() {
    if (!done_) return true;
    const HRESULT hr = done_->GetData(nullptr, 0, D3DGETDATA_FLUSH);
    if (hr == S_FALSE) return check(D3DERR_WASSTILLDRAWING);
    return check(hr);
  }
  static std::string formatName(D3DFORMAT f) {
    switch (f) {
      case D3DFMT_A2R10G10B10:
        return "D3DFMT_A2R10G10B10";
      case D3DFMT_A2B10G10R10:
        return "D3DFMT_A2B10G10R10";
      case D3DFMT_A16B16G16R16:
        return "D3DFMT_A16B16G16R16";
      case D3DFMT_A16B16G16R16F:
        return "D3DFMT_A16B16G16R16F";
      case D3DFMT_A32B32G32R32F:
        return "D3DFMT_A32B32G32R32F";
      case D3DFMT_A8B8G8R8:
        return "D3DFMT_A8B8G8R8";
      case D3DFMT_X8B8G8R8:
        return "D3DFMT_X8B8G8R8";
      case D3DFMT_R5G6B5:
        return "D3DFMT_R5G6B5";
      case D3DFMT_X1R5G5B5:
        return "D3DFMT_X1R5G5B5";
      case D3DFMT_A1R5G5B5:
        return "D3DFMT_A1R5G5B5";
      case D3DFMT_R8G8B8:
        return "D3DFMT_R8G8B8";
      default:
        return "D3DFORMAT " + std::to_string(static_cast<unsigned>(f));
    }
  }

  bool ensureOffscreen(const D3DSURFACE_DESC& desc) {
    if (offscreen_ && desc.Width == desc_.Width && desc.Height == desc_.Height && desc.Format == desc_.Format)
      return true;
    release(offscreen_);
    if (!check(device_->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                    &offscreen_, nullptr)))
      return false;
    desc_ = desc;
    return true;
  }

  IDirect3DDevice9* device_;
  IDirect3DSurface9* single_ = nullptr;     // single-sample copy of the frame, until the copy
  IDirect3DSurface9* offscreen_ = nullptr;  // system memory
  IDirect3DQuery9* done_ = nullptr;         // signals when the last step's work is done
  D3DSURFACE_DESC desc_{};
};

// Byte order of an 8-bit four-channel format, or false for any other format.
bool pixelOrderOf(DXGI_FORMAT f, PixelOrder& order) {
  switch (f) {
    case DXGI_FORMAT_R8G8B8A8_TYPELESS:
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
      order = PixelOrder::kRgbx;
      return true;
    case DXGI_FORMAT_B8G8R8A8_TYPELESS:
    case DXGI_FORMAT_B8G8R8A8_UNORM:
    case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
    case DXGI_FORMAT_B8G8R8X8_TYPELESS:
    case DXGI_FORMAT_B8G8R8X8_UNORM:
    case DXGI_FORMAT_B8G8R8X8_UNORM_SRGB:
      order = PixelOrder::kBgrx;
      return true;
    default:
      return false;
  }
}

std::string formatName(DXGI_FORMAT f) {
  switch (f) {
    case DXGI_FORMAT_R32G32B32A32_FLOAT:
      return "DXGI_FORMAT_R32G32B32A32_FLOAT";
    case DXGI_FORMAT_R16G16B16A16_FLOAT:
      return "DXGI_FORMAT_R16G16B16A16_FLOAT";
    case DXGI_FORMAT_R16G16B16A16_UNORM:
      return "DXGI_FORMAT_R16G16B16A16_UNORM";
    case DXGI_FORMAT_R16G16B16A16_TYPELESS:
      return "DXGI_FORMAT_R16G16B16A16_TYPELESS";
    case DXGI_FORMAT_R10G10B10A2_UNORM:
      return "DXGI_FORMAT_R10G10B10A2_UNORM";
    case DXGI_FORMAT_R10G10B10A2_TYPELESS:
      return "DXGI_FORMAT_R10G10B10A2_TYPELESS";
    case DXGI_FORMAT_R11G11B10_FLOAT:
      return "DXGI_FORMAT_R11G11B10_FLOAT";
    case DXGI_FORMAT_B5G6R5_UNORM:
      return "DXGI_FORMAT_B5G6R5_UNORM";
    default:
      return "DXGI_FORMAT " + std::to_string(static_cast<unsigned>(f));
  }
}

// A typed format of the same family, for resolving a typeless source.
DXGI_FORMAT resolveFormat(DXGI_FORMAT f) {
  switch (f) {
    case DXGI_FORMAT_R8G8B8A8_TYPELESS:
      return DXGI_FORMAT_R8G8B8A8_UNORM;
    case DXGI_FORMAT_B8G8R8A8_TYPELESS:
      return DXGI_FORMAT_B8G8R8A8_UNORM;
    case DXGI_FORMAT_B8G8R8X8_TYPELESS:
      return DXGI_FORMAT_B8G8R8X8_UNORM;
    default:
      return f;
  }
}

// Same plan as Direct3D 9: the frame is resolved or copied into the worker's
// own texture at once and copied into a staging texture a frame later.
class D3D11Worker : public D3DWorker {
 public:
  explicit D3D11Worker(ID3D11Device* device) : device_(device) {}
  ~D3D11Worker() override {
    release(captured_);
    release(staging_);
    release(done_);
  }

  bool capture() override {
    ID3D11DeviceContext* context = nullptr;
    device_->GetImmediateContext(&context);
    if (!context) return check(E_POINTER);
    ID3D11Texture2D* source = nullptr;
    D3D11_TEXTURE2D_DESC desc{};
    const bool ok = findSource(context, source, desc) && ensureTextures(desc);
    if (ok) {
      if (desc.SampleDesc.Count > 1)
        context->ResolveSubresource(captured_, 0, source, 0, resolveFormat(desc.Format));
      else
        context->CopySubresourceRegion(captured_, 0, 0, 0, 0, source, 0, nullptr);
    }
    release(source);
    release(context);
    capturedReady_ = ok;
    return ok;
  }

  void dropImage() override {
    D3DWorker::dropImage();
    capturedReady_ = false;
  }

  bool copy() override {
    if (!capturedReady_) return check(E_POINTER);
    ID3D11DeviceContext* context = nullptr;
    device_->GetImmediateContext(&context);
    if (!context) return check(E_POINTER);
    context->CopyResource(staging_, captured_);
    // Marks the end of the copy: the staging texture is mapped only once it is done.
    if (!done_) {
      D3D11_QUERY_DESC desc{D3D11_QUERY_EVENT, 0};
      if (FAILED(device_->CreateQuery(&desc, &done_))) done_ = nullptr;
    }
    if (done_) context->End(done_);
    release(context);
    capturedReady_ = false;
    return true;
  }

  bool mapFrame(FrameView& frame) override {
    if (!staging_) return check(E_POINTER);
    device_->GetImmediateContext(&mapContext_);
    if (!mapContext_) return check(E_POINTER);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    // Not ready yet: try again at the next end-draw instead of waiting for the device.
    const HRESULT copied = done_ ? mapContext_->GetData(done_, nullptr, 0, 0) : S_OK;
    if (!check(copied == S_FALSE ? DXGI_ERROR_WAS_STILL_DRAWING : copied) ||
        !check(mapContext_->Map(staging_, 0, D3D11_MAP_READ, D3D11_MAP_FLAG_DO_NOT_WAIT, &mapped))) {
      release(mapContext_);
      return false;
    }
    frame = {static_cast<int>(desc_.Width), static_cast<int>(desc_.Height), static_cast<ptrdiff_t>(mapped.RowPitch),
             static_cast<const uint8_t*>(mapped.pData), order_};
    return true;
  }
  void unmapFrame() override {
    mapContext_->Unmap(staging_, 0);
    release(mapContext_);
  }

 private:
  // The 2-D texture behind the first bound render-target view.
  bool findSource(ID3D11DeviceContext* context, ID3D11Texture2D*& source, D3D11_TEXTURE2D_DESC& desc) {
    ID3D11RenderTargetView* view = nullptr;
    context->OMGetRenderTargets(1, &view, nullptr);
    if (!view) return check(E_POINTER);
    ID3D11Resource* resource = nullptr;
    view->GetResource(&resource);
    release(view);
    if (!resource) return check(E_POINTER);
    D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_UNKNOWN;
    resource->GetType(&dimension);
    const bool is2d = dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D &&
                      check(resource->QueryInterface(__uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&source)));
    release(resource);
    if (!is2d) return check(E_NOINTERFACE);
    source->GetDesc(&desc);
    // Other formats would be read as garbage.
    if (!pixelOrderOf(desc.Format, order_))
      return refuse("render target format " + formatName(desc.Format) + " is not supported");
    return true;
  }

  // A single-sample texture and a staging texture of the source's size and format.
  bool ensureTextures(const D3D11_TEXTURE2D_DESC& source) {
    if (captured_ && source.Width == desc_.Width && source.Height == desc_.Height && source.Format == desc_.Format)
      return true;
    release(captured_);
    release(staging_);
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = source.Width;
    desc.Height = source.Height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = source.Format;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    if (!check(device_->CreateTexture2D(&desc, nullptr, &captured_))) return false;
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    if (!check(device_->CreateTexture2D(&desc, nullptr, &staging_))) {
      release(captured_);
      return false;
    }
    desc_ = desc;
    return true;
  }

  ID3D11Device* device_;
  ID3D11Texture2D* captured_ = nullptr;
  ID3D11Texture2D* staging_ = nullptr;
  ID3D11Query* done_ = nullptr;  // signals when the copy into staging_ is done
  D3D11_TEXTURE2D_DESC desc_{};
  PixelOrder order_ = PixelOrder::kRgbx;
  ID3D11DeviceContext* mapContext_ = nullptr;  // between mapFrame and unmapFrame
  bool capturedReady_ = false;
};

}  // namespace

std::unique_ptr<D3DWorker> makeD3DWorker(int graphicsDeviceType, void* device) {
  if (!device) return nullptr;
  if (graphicsDeviceType == 0) return std::make_unique<D3D9Worker>(static_cast<IDirect3DDevice9*>(device));
  if (graphicsDeviceType == 1) return std::make_unique<D3D11Worker>(static_cast<ID3D11Device*>(device));
  return nullptr;
}

}  // namespace zem::capture
