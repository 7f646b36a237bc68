// Stands in for the game engine's render side: real Direct3D 9 and 11 devices
// on a window, a known picture (four coloured quadrants and a grey gradient
// band) drawn every frame, zem loaded by path and handed the device through
// UnitySetGraphicsDevice. A render thread runs the begin/end-draw events while
// the main thread requests screenshots; the JPEG files are decoded and probed,
// and saved as PNG beside them for a look.
//   CaptureWineHost <zem.dll> <output folder> [width height sliceCount [timedImages]]
// With timedImages, each device also takes that many images while the render
// thread times every step (bench/capture/wine-capture-costs.sh).
#include <d3d11.h>
#include <d3d9.h>
#include <d3dcompiler.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "wincheck.h"
#include "winpath.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

template <typename T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// zem's exports, bound by name as the engine does.
struct Zem {
  void (*UnitySetGraphicsDevice)(void*, int, int);
  void (*UnityRenderEvent)(int);
  void (*Setups)(int, int, int, int, int, const char*);
  void (*SetEventId)(int, int, int, int, int);
  int (*NativeInit)();
  void (*BeginDraw)();
  void (*EndDraw)();
  void (*Screenshot)(const char*);
  int32_t (*ScreenshotSuccess)(const char*);
  int (*GetStat)(int);
  int (*StartProfiling)();
  int (*StopProfiling)();
  void (*LogGraphicsFile)(const char*);
  void (*SetFrameAtEnd)(int);

  bool load(const std::wstring& path) {
    HMODULE lib = LoadLibraryW(path.c_str());
    if (!WCHECK(lib != nullptr)) return false;
    bool ok = true;
    auto bind = [&](auto& f, const char* name) {
      f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
      if (!f) {
        std::printf("missing export %s\n", name);
        ok = false;
      }
    };
    bind(UnitySetGraphicsDevice, "UnitySetGraphicsDevice");
    bind(UnityRenderEvent, "UnityRenderEvent");
    bind(Setups, "Setups");
    bind(SetEventId, "SetEventId");
    bind(NativeInit, "NativeInit");
    bind(BeginDraw, "BeginDraw");
    bind(EndDraw, "EndDraw");
    bind(Screenshot, "Screenshot");
    bind(ScreenshotSuccess, "ScreenshotSuccess");
    bind(GetStat, "GetStat");
    bind(StartProfiling, "StartProfiling");
    bind(StopProfiling, "StopProfiling");
    bind(LogGraphicsFile, "LogGraphicsFile");
    bind(SetFrameAtEnd, "SetFrameAtEnd");
    return WCHECK(ok);
  }
};
Zem zem;
enum EventIds { kInitEvent = 11, kBeginEvent = 12, kEndEvent = 13, kFallbackEvent = 14 };

// The picture: red, green / blue, white quadrants; a band of rows across the
// middle holds a grey ramp from black at the left to white at the right.
struct Pattern {
  int width, height;
  int bandTop() const { return height * 7 / 16; }
  int bandEnd() const { return height * 9 / 16; }
  void expected(int x, int y, int rgb[3]) const {
    if (y >= bandTop() && y < bandEnd()) {
      rgb[0] = rgb[1] = rgb[2] = static_cast<int>(std::lround((x + 0.5) * 255.0 / width));
      return;
    }
    const bool right = x >= width / 2, bottom = y >= height / 2;
    rgb[0] = (!bottom && !right) || (bottom && right) ? 255 : 0;
    rgb[1] = right ? 255 : 0;
    rgb[2] = bottom ? 255 : 0;
  }
};

class Renderer {
 public:
  virtual ~Renderer() = default;
  virtual bool create(HWND window, const Pattern& p, bool multisample) = 0;
  virtual void draw() = 0;
  virtual void present() = 0;
  virtual void* device() = 0;
  virtual int engineType() const = 0;  // the engine's number for this interface
  // Whether the device makes the timestamp queries a GPU frame time needs.
  virtual bool timestampQueries() = 0;
};

class D3D9Renderer : public Renderer {
 public:
  ~D3D9Renderer() override {
    release(device_);
    release(d3d_);
  }
  bool create(HWND window, const Pattern& p, bool multisample) override {
    pattern_ = p;
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    if (!WCHECK(d3d_ != nullptr)) return false;
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferWidth = p.width;
    pp.BackBufferHeight = p.height;
    pp.hDeviceWindow = window;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if (multisample) pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    return WCHECK(SUCCEEDED(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                               D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_)));
  }
  void draw() override {
    const int w = pattern_.width, h = pattern_.height;
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 255, 255), 1, 0);
    const D3DRECT red{0, 0, w / 2, h / 2}, green{w / 2, 0, w, h / 2}, blue{0, h / 2, w / 2, h};
    device_->Clear(1, &red, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1, 0);
    device_->Clear(1, &green, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 255, 0), 1, 0);
    device_->Clear(1, &blue, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 255), 1, 0);
    struct Vertex {
      float x, y, z, rhw;
      DWORD colour;
    };
    const float top = pattern_.bandTop() - 0.5f, bottom = pattern_.bandEnd() - 0.5f;
    const float left = -0.5f, right = w - 0.5f;
    const Vertex band[4] = {{left, top, 0, 1, D3DCOLOR_XRGB(0, 0, 0)},
                            {right, top, 0, 1, D3DCOLOR_XRGB(255, 255, 255)},
                            {left, bottom, 0, 1, D3DCOLOR_XRGB(0, 0, 0)},
                            {right, bottom, 0, 1, D3DCOLOR_XRGB(255, 255, 255)}};
    device_->BeginScene();
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, band, sizeof(Vertex));
    device_->EndScene();
  }
  void present() override { device_->Present(nullptr, nullptr, nullptr, nullptr); }
  bool timestampQueries() override {
    bool all = true;
    for (D3DQUERYTYPE type : {D3DQUERYTYPE_TIMESTAMPDISJOINT, D3DQUERYTYPE_TIMESTAMPFREQ, D3DQUERYTYPE_TIMESTAMP}) {
      IDirect3DQuery9* q = nullptr;
      all = all && SUCCEEDED(device_->CreateQuery(type, &q));
      release(q);
    }
    return all;
  }
  void* device() override { return device_; }
  int engineType() const override { return 1; }

 private:
  Pattern pattern_{};
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
};

class D3D11Renderer : public Renderer {
 public:
  explicit D3D11Renderer(DXGI_FORMAT format) : format_(format) {}
  ~D3D11Renderer() override {
    if (context_) context_->ClearState();
    release(vs_);
    release(ps_);
    release(view_);
    release(swapChain_);
    release(context_);
    release(device_);
  }
  bool create(HWND window, const Pattern& p, bool multisample) override {
    pattern_ = p;
    DXGI_SWAP_CHAIN_DESC sd{};
    sd.BufferCount = 1;
    sd.BufferDesc.Width = p.width;
    sd.BufferDesc.Height = p.height;
    sd.BufferDesc.Format = format_;
    sd.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    sd.OutputWindow = window;
    sd.SampleDesc.Count = multisample ? 4 : 1;
    sd.Windowed = TRUE;
    if (!WCHECK(SUCCEEDED(D3D11CreateDeviceAndSwapChain(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                                        D3D11_SDK_VERSION, &sd, &swapChain_, &device_, nullptr,
                                                        &context_))))
      return false;
    ID3D11Texture2D* back = nullptr;
    swapChain_->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&back));
    const bool viewOk = back && SUCCEEDED(device_->CreateRenderTargetView(back, nullptr, &view_));
    release(back);
    return WCHECK(viewOk) && compileShaders();
  }
  void draw() override {
    const float black[4] = {0, 0, 0, 1};
    context_->OMSetRenderTargets(1, &view_, nullptr);
    context_->ClearRenderTargetView(view_, black);
    D3D11_VIEWPORT vp{0, 0, static_cast<float>(pattern_.width), static_cast<float>(pattern_.height), 0, 1};
    context_->RSSetViewports(1, &vp);
    context_->IASetInputLayout(nullptr);
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context_->VSSetShader(vs_, nullptr, 0);
    context_->PSSetShader(ps_, nullptr, 0);
    context_->Draw(3, 0);
  }
  void present() override { swapChain_->Present(0, 0); }
  bool timestampQueries() override {
    bool all = true;
    for (D3D11_QUERY type : {D3D11_QUERY_TIMESTAMP_DISJOINT, D3D11_QUERY_TIMESTAMP}) {
      D3D11_QUERY_DESC desc{type, 0};
      ID3D11Query* q = nullptr;
      all = all && SUCCEEDED(device_->CreateQuery(&desc, &q));
      release(q);
    }
    return all;
  }
  void* device() override { return device_; }
  int engineType() const override { return 2; }

 private:
  bool compileShaders() {
    char source[1500];
    std::snprintf(source, sizeof source,
                  "float4 vs(uint id : SV_VertexID) : SV_Position {\n"
                  "  float2 t = float2((id << 1) & 2, id & 2);\n"
                  "  return float4(t * float2(2, -2) + float2(-1, 1), 0, 1);\n"
                  "}\n"
                  "float4 ps(float4 p : SV_Position) : SV_Target {\n"
                  "  float x = floor(p.x), y = floor(p.y);\n"
                  "  float right = saturate(x - %d), bottom = saturate(y - %d);\n"
                  "  float3 quadrant = float3(1 - abs(right - bottom), right, bottom);\n"
                  "  float band = saturate(y - %d) * saturate(%d - y);\n"
                  "  float g = (x + 0.5) / %d;\n"
                  "  return float4(quadrant + (float3(g, g, g) - quadrant) * band, 1);\n"
                  "}\n",
                  pattern_.width / 2 - 1, pattern_.height / 2 - 1, pattern_.bandTop() - 1, pattern_.bandEnd(),
                  pattern_.width);
    ID3DBlob* vsCode = nullptr;
    ID3DBlob* psCode = nullptr;
    ID3DBlob* errors = nullptr;
    bool ok =
        SUCCEEDED(D3DCompile(source, std::strlen(source), "pattern", nullptr, nullptr, "vs", "vs_4_0", 0, 0, &vsCode,
                             &errors)) &&
        SUCCEEDED(D3DCompile(source, std::strlen(source), "pattern", nullptr, nullptr, "ps", "ps_4_0", 0, 0, &psCode,
                             &errors)) &&
        SUCCEEDED(device_->CreateVertexShader(vsCode->GetBufferPointer(), vsCode->GetBufferSize(), nullptr, &vs_)) &&
        SUCCEEDED(device_->CreatePixelShader(psCode->GetBufferPointer(), psCode->GetBufferSize(), nullptr, &ps_));
    if (errors) std::printf("%s\n", static_cast<const char*>(errors->GetBufferPointer()));
    release(vsCode);
    release(psCode);
    release(errors);
    return WCHECK(ok);
  }

  DXGI_FORMAT format_;
  Pattern pattern_{};
  ID3D11Device* device_ = nullptr;
  ID3D11DeviceContext* context_ = nullptr;
  IDXGISwapChain* swapChain_ = nullptr;
  ID3D11RenderTargetView* view_ = nullptr;
  ID3D11VertexShader* vs_ = nullptr;
  ID3D11PixelShader* ps_ = nullptr;
};

double msSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

// One event call on the render thread and how long it took.
struct EventTime {
  char kind;  // 'b' begin-draw, 'e' end-draw, 'r' an accepted request
  double ms;
};

struct Config {
  const char* name;
  bool d3d11;
  DXGI_FORMAT format;
  bool multisample;
  bool renderEvents;  // UnityRenderEvent, or the BeginDraw/EndDraw exports
};

class RenderThread {
 public:
  // selfRequest: the render thread asks for the next image itself at the start
  // of a frame, so each event's step is known (for timing).
  RenderThread(const Config& c, const Pattern& p, int selfRequests = 0)
      : config_(c), pattern_(p), selfRequests_(selfRequests) {}
  bool start() {
    thread_ = std::thread([this] { run(); });
    while (state_.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (state_.load() == 1) return true;
    thread_.join();
    return false;
  }
  void stop() {
    stop_ = true;
    thread_.join();
  }
  int frames() const { return frames_.load(); }
  bool timestampQueries() const { return timestampQueries_.load(); }
  void waitFrames(int n) {
    const int until = frames() + n;
    while (frames() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::vector<EventTime> times;  // read after stop()

 private:
  void run() {
    HWND window = CreateWindowW(L"zemcapture", L"zem capture", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, pattern_.width,
                                pattern_.height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Renderer* r = config_.d3d11 ? static_cast<Renderer*>(new D3D11Renderer(config_.format)) : new D3D9Renderer();
    if (!window || !r->create(window, pattern_, config_.multisample)) {
      delete r;
      state_ = 2;
      return;
    }
    timestampQueries_ = r->timestampQueries();
    zem.UnitySetGraphicsDevice(r->device(), r->engineType(), 0);
    // The init event creates the helper on this thread, as the engine would.
    r->draw();
    if (config_.renderEvents)
      zem.UnityRenderEvent(kInitEvent);
    else
      WCHECK(zem.NativeInit() != 0);
    state_ = 1;
    while (!stop_) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      if (selfRequests_ > 0 && zem.ScreenshotSuccess((std::string(config_.name) + "_timed").c_str())) {
        --selfRequests_;
        times.push_back({'r', 0});
      }
      auto t = std::chrono::steady_clock::now();
      config_.renderEvents ? zem.UnityRenderEvent(kBeginEvent) : zem.BeginDraw();
      times.push_back({'b', msSince(t)});
      r->draw();
      t = std::chrono::steady_clock::now();
      config_.renderEvents ? zem.UnityRenderEvent(kEndEvent) : zem.EndDraw();
      times.push_back({'e', msSince(t)});
      r->present();
      ++frames_;
    }
    delete r;
    DestroyWindow(window);
  }

  Config config_;
  Pattern pattern_;
  int selfRequests_;
  std::thread thread_;
  std::atomic<int> state_{0};  // 1 running, 2 failed
  std::atomic<bool> stop_{false};
  std::atomic<int> frames_{0};
  std::atomic<bool> timestampQueries_{false};
};

bool waitAccepted(const std::string& name) {
  const auto start = std::chrono::steady_clock::now();
  while (msSince(start) < 30000) {
    if (zem.ScreenshotSuccess(name.c_str())) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

void checkImage(const std::string& folder, const std::string& name, const Pattern& p) {
  const std::string jpg = folder + name + ".jpg";
  int w = 0, h = 0, n = 0;
  unsigned char* px = stbi_load(jpg.c_str(), &w, &h, &n, 3);
  if (!WCHECK(px != nullptr)) {
    std::printf("cannot decode %s\n", jpg.c_str());
    return;
  }
  WCHECK_EQ(w, p.width);
  WCHECK_EQ(h, p.height);
  if (w == p.width && h == p.height) {
    stbi_write_png((folder + name + ".png").c_str(), w, h, 3, px, w * 3);
    const int probes[][2] = {{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4},
                             {w / 8, h / 2}, {w / 2, h / 2},     {7 * w / 8, h / 2}};
    for (const auto& pr : probes) {
      int want[3];
      p.expected(pr[0], pr[1], want);
      const unsigned char* got = px + (static_cast<size_t>(pr[1]) * w + pr[0]) * 3;
      for (int c = 0; c < 3; ++c) {
        if (!WCHECK(std::abs(got[c] - want[c]) <= 8))
          std::printf("%s at %d,%d channel %d: got %d want %d\n", name.c_str(), pr[0], pr[1], c, got[c], want[c]);
      }
    }
  }
  stbi_image_free(px);
}

// Render-thread cost of each step, from the events after each request: the
// end-draw of that frame captures, the next begin-draw copies, and the
// following end-draws encode one slice each. The first image also creates the
// worker's surfaces and is reported apart.
void printStepTimes(const char* name, const std::vector<EventTime>& times, int sliceCount) {
  std::vector<std::vector<double>> steps(2 + sliceCount);
  int image = 0;
  for (size_t i = 0; i < times.size(); ++i) {
    if (times[i].kind != 'r') continue;
    // r b e(capture) b(copy) e(slice 1) b e(slice 2) ...
    const size_t capture = i + 2, copy = i + 3;
    if (copy + 2 * sliceCount - 1 >= times.size()) break;
    std::vector<double> row{times[capture].ms, times[copy].ms};
    for (int k = 0; k < sliceCount; ++k) row.push_back(times[copy + 1 + 2 * k].ms);
    if (image++ == 0) {
      std::printf("%s first image (creates the surfaces):", name);
      for (double v : row) std::printf(" %.2f", v);
      std::printf(" ms\n");
      continue;
    }
    for (size_t k = 0; k < row.size(); ++k) steps[k].push_back(row[k]);
  }
  if (steps[0].empty()) {
    std::printf("%s: %d timed images, %zu events\n", name, image, times.size());
    return;
  }
  std::printf("%s over %zu images, median / longest ms:", name, steps[0].size());
  for (size_t k = 0; k < steps.size(); ++k) {
    auto v = steps[k];
    std::sort(v.begin(), v.end());
    const char* label = k == 0 ? "capture" : k == 1 ? "copy" : "slice";
    std::printf(" %s %.2f/%.2f", label, v[v.size() / 2], v.back());
  }
  std::printf("\n");
}

// GPU time of the device's recent frames, from its timestamp queries, over a
// few frames (a software renderer may stamp both ends of a small frame alike);
// the frame end also writes it into the graphics file.
void checkGpuTime(const char* name, RenderThread& render, int frame) {
  int least = INT_MAX, most = -1;
  for (int i = 0; i < 10; ++i) {
    const int us = zem.GetStat(3);
    least = std::min(least, us);
    most = std::max(most, us);
    render.waitFrames(1);
  }
  zem.SetFrameAtEnd(frame);
  if (!render.timestampQueries()) {
    std::printf("%s: Wine's device has no timestamp queries: GPU time stays 0\n", name);
    WCHECK_EQ(most, 0);
    WCHECK_EQ(least, 0);
    return;
  }
  std::printf("%s: GPU time of recent frames %d..%d us\n", name, least, most);
  WCHECK(least >= 0);
  WCHECK(most > 0);
  WCHECK(most < 2000000);  // a 320x240 picture, even rendered in software
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: CaptureWineHost <zem.dll> <output folder> [width height sliceCount [timedImages]]\n");
    return 2;
  }
  const Pattern pattern{argc > 4 ? std::atoi(argv[3]) : 320, argc > 4 ? std::atoi(argv[4]) : 240};
  const int sliceCount = argc > 5 ? std::atoi(argv[5]) : 4;
  const int timedImages = argc > 6 ? std::atoi(argv[6]) : 0;
  std::wstring wideFolder = winpath::fromBuild(argv[2]);
  std::string folder(wideFolder.begin(), wideFolder.end());  // build paths are ASCII
  if (folder.back() != '\\') folder += '\\';

  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"zemcapture";
  RegisterClassW(&wc);
  if (!zem.load(winpath::fromBuild(argv[1]))) return wincheck::summary();

  WCHECK(!zem.ScreenshotSuccess("before_init"));
  WCHECK_EQ(zem.NativeInit(), 0);  // no device yet
  zem.Setups(pattern.width, pattern.height, 0, 0, sliceCount, folder.c_str());
  zem.SetEventId(kInitEvent, kBeginEvent, kEndEvent, 0, kFallbackEvent);

  const std::string graphics = folder + "graphics.txt";
  WCHECK_EQ(zem.StartProfiling(), 1);
  zem.LogGraphicsFile(graphics.c_str());
  zem.SetFrameAtEnd(0);
  int frame = 0, timedDevices = 0;
  const Config configs[] = {
      {"d3d9", false, DXGI_FORMAT_UNKNOWN, false, false},
      {"d3d9_msaa", false, DXGI_FORMAT_UNKNOWN, true, true},
      {"d3d11", true, DXGI_FORMAT_R8G8B8A8_UNORM, false, true},
      {"d3d11_bgra_msaa", true, DXGI_FORMAT_B8G8R8A8_UNORM, true, false},
  };
  for (const Config& c : configs) {
    for (const char* suffix : {".jpg", "_second.jpg", "_skipped.jpg", ".png", "_second.png"})
      DeleteFileA((folder + c.name + suffix).c_str());  // left from an earlier run
    RenderThread render(c, pattern);
    if (!WCHECK(render.start())) {
      std::printf("%s: no device\n", c.name);
      continue;
    }
    render.waitFrames(2);
    const std::string first = c.name, second = std::string(c.name) + "_second";
    WCHECK(zem.ScreenshotSuccess(first.c_str()));
    WCHECK(!zem.ScreenshotSuccess((first + "_skipped").c_str()));  // the first is still running
    WCHECK(waitAccepted(second));                                  // accepted once the first is complete
    render.waitFrames(sliceCount + 6);
    checkGpuTime(c.name, render, ++frame);
    if (render.timestampQueries()) ++timedDevices;
    render.stop();
    checkImage(folder, first, pattern);
    checkImage(folder, second, pattern);
    WCHECK(GetFileAttributesA((folder + first + "_skipped.jpg").c_str()) == INVALID_FILE_ATTRIBUTES);
    if (timedImages > 0) {
      RenderThread timed(c, pattern, timedImages + 1);
      if (WCHECK(timed.start())) {
        timed.waitFrames((timedImages + 1) * (sliceCount + 2) + 4);
        timed.stop();
        printStepTimes(c.name, timed.times, sliceCount);
      }
    }
  }
  // What cannot be written is given up and the next request is taken: render targets
  // of formats the worker does not take, and a folder that does not exist.
  const std::string missing = folder + "missing\\";
  RemoveDirectoryA(missing.c_str());
  struct Broken {
    Config config;
    const std::string& folder;
  };
  const Broken broken[] = {
      {{"d3d11_float", true, DXGI_FORMAT_R16G16B16A16_FLOAT, false, true}, folder},
      {{"d3d11_10bit", true, DXGI_FORMAT_R10G10B10A2_UNORM, false, false}, folder},
      {{"d3d9_nofolder", false, DXGI_FORMAT_UNKNOWN, false, true}, missing},
  };
  for (const Broken& b : broken) {
    const std::string name = b.config.name;
    for (const char* suffix : {".jpg", "_next.jpg", "_last.jpg"}) DeleteFileA((b.folder + name + suffix).c_str());
    zem.Setups(pattern.width, pattern.height, 0, 0, sliceCount, b.folder.c_str());
    RenderThread render(b.config, pattern);
    if (!WCHECK(render.start())) {
      std::printf("%s: no device\n", name.c_str());
      continue;
    }
    render.waitFrames(2);
    WCHECK(zem.ScreenshotSuccess(name.c_str()));
    WCHECK(waitAccepted(name + "_next"));  // the first was given up
    WCHECK(waitAccepted(name + "_last"));  // and so was the second
    render.stop();
    for (const char* suffix : {".jpg", "_next.jpg"})
      WCHECK(GetFileAttributesA((b.folder + name + suffix).c_str()) == INVALID_FILE_ATTRIBUTES);
  }
  zem.Setups(pattern.width, pattern.height, 0, 0, sliceCount, folder.c_str());
  zem.StopProfiling();
  // One GPU group per frame whose device measures ("1,206,0,0" then "2,207,0,us").
  std::string text;
  if (FILE* f = std::fopen(graphics.c_str(), "rb")) {
    char buf[4096];
    text.assign(buf, std::fread(buf, 1, sizeof buf, f));
    std::fclose(f);
  }
  int groups = 0;
  for (size_t at = text.find("1,206,0,0\r\n2,207,0,"); at != std::string::npos;
       at = text.find("1,206,0,0\r\n2,207,0,", at + 1))
    ++groups;
  WCHECK_EQ(groups, timedDevices);
  return wincheck::summary();
}
