// Timestamp queries of Direct3D 9 and 11: one set per ring slot (disjoint,
// frequency where separate, a timestamp at each end of the frame). Nothing
// here waits: answers are read without flushing and "not yet" is an answer.
#include <d3d11.h>
#include <d3d9.h>
#include <windows.h>

#include "ComRelease.h"
#include "GpuTimer.h"

namespace zem::capture {

namespace {

// S_FALSE: the device has not answered yet.
GpuQueryAnswer::Status statusOf(HRESULT hr) {
  return hr == S_OK ? GpuQueryAnswer::kReady : hr == S_FALSE ? GpuQueryAnswer::kNotReady : GpuQueryAnswer::kFailed;
}

class D3D9GpuQueries : public GpuQuerySource {
 public:
  explicit D3D9GpuQueries(IDirect3DDevice9* device) : device_(device) {}
  ~D3D9GpuQueries() override {
    for (Set& s : sets_) s.releaseAll();
  }
  bool create(int slot) override {
    Set& s = sets_[slot];
    const bool ok = SUCCEEDED(device_->CreateQuery(D3DQUERYTYPE_TIMESTAMPDISJOINT, &s.disjoint)) &&
                    SUCCEEDED(device_->CreateQuery(D3DQUERYTYPE_TIMESTAMPFREQ, &s.frequency)) &&
                    SUCCEEDED(device_->CreateQuery(D3DQUERYTYPE_TIMESTAMP, &s.begin)) &&
                    SUCCEEDED(device_->CreateQuery(D3DQUERYTYPE_TIMESTAMP, &s.end));
    if (!ok) s.releaseAll();
    return ok;
  }
  bool begin(int slot) override {
    Set& s = sets_[slot];
    return SUCCEEDED(s.disjoint->Issue(D3DISSUE_BEGIN)) && SUCCEEDED(s.begin->Issue(D3DISSUE_END));
  }
  bool end(int slot) override {
    Set& s = sets_[slot];
    return SUCCEEDED(s.end->Issue(D3DISSUE_END)) && SUCCEEDED(s.disjoint->Issue(D3DISSUE_END)) &&
           SUCCEEDED(s.frequency->Issue(D3DISSUE_END));
  }
  GpuQueryAnswer read(int slot) override {
    Set& s = sets_[slot];
    GpuQueryAnswer a;
    BOOL disjoint = FALSE;
    // Flags 0: do not flush the command buffer; S_FALSE means not answered yet.
    HRESULT hr = s.disjoint->GetData(&disjoint, sizeof disjoint, 0);
    if (hr == S_OK) hr = s.frequency->GetData(&a.frequency, sizeof a.frequency, 0);
    if (hr == S_OK) hr = s.begin->GetData(&a.begin, sizeof a.begin, 0);
    if (hr == S_OK) hr = s.end->GetData(&a.end, sizeof a.end, 0);
    a.status = statusOf(hr);
    a.disjoint = disjoint != FALSE;
    return a;
  }

 private:
  struct Set {
    IDirect3DQuery9 *disjoint = nullptr, *frequency = nullptr, *begin = nullptr, *end = nullptr;
    void releaseAll() {
      release(disjoint);
      release(frequency);
      release(begin);
      release(end);
    }
  };
  IDirect3DDevice9* device_;
  Set sets_[GpuFrameTimer::kSlots];
};

class D3D11GpuQueries : public GpuQuerySource {
 public:
  explicit D3D11GpuQueries(ID3D11Device* device) : device_(device) {}
  ~D3D11GpuQueries() override {
    for (Set& s : sets_) s.releaseAll();
  }
  bool create(int slot) override {
    Set& s = sets_[slot];
    D3D11_QUERY_DESC disjoint{D3D11_QUERY_TIMESTAMP_DISJOINT, 0}, stamp{D3D11_QUERY_TIMESTAMP, 0};
    const bool ok = SUCCEEDED(device_->CreateQuery(&disjoint, &s.disjoint)) &&
                    SUCCEEDED(device_->CreateQuery(&stamp, &s.begin)) &&
                    SUCCEEDED(device_->CreateQuery(&stamp, &s.end));
    if (!ok) s.releaseAll();
    return ok;
  }
  bool begin(int slot) override {
    return onContext([&](ID3D11DeviceContext* c) {
      c->Begin(sets_[slot].disjoint);
      c->End(sets_[slot].begin);
    });
  }
  bool end(int slot) override {
    return onContext([&](ID3D11DeviceContext* c) {
      c->End(sets_[slot].end);
      c->End(sets_[slot].disjoint);
    });
  }
  GpuQueryAnswer read(int slot) override {
    GpuQueryAnswer a;
    a.status = GpuQueryAnswer::kFailed;
    onContext([&](ID3D11DeviceContext* c) {
      const Set& s = sets_[slot];
      D3D11_QUERY_DATA_TIMESTAMP_DISJOINT disjoint{};
      const UINT flags = D3D11_ASYNC_GETDATA_DONOTFLUSH;
      HRESULT hr = c->GetData(s.disjoint, &disjoint, sizeof disjoint, flags);
      if (hr == S_OK) hr = c->GetData(s.begin, &a.begin, sizeof a.begin, flags);
      if (hr == S_OK) hr = c->GetData(s.end, &a.end, sizeof a.end, flags);
      a.status = statusOf(hr);
      a.frequency = disjoint.Frequency;
      a.disjoint = disjoint.Disjoint != FALSE;
    });
    return a;
  }

 private:
  struct Set {
    ID3D11Query *disjoint = nullptr, *begin = nullptr, *end = nullptr;
    void releaseAll() {
      release(disjoint);
      release(begin);
      release(end);
    }
  };
  // The immediate context, taken per call: a reference kept would outlive the engine's own.
  template <typename Use>
  bool onContext(Use use) {
    ID3D11DeviceContext* context = nullptr;
    device_->GetImmediateContext(&context);
    if (!context) return false;
    use(context);
    release(context);
    return true;
  }

  ID3D11Device* device_;
  Set sets_[GpuFrameTimer::kSlots];
};

}  // namespace

std::unique_ptr<GpuQuerySource> makeGpuQuerySource(int graphicsDeviceType, void* device) {
  if (!device) return nullptr;
  if (graphicsDeviceType == 0) return std::make_unique<D3D9GpuQueries>(static_cast<IDirect3DDevice9*>(device));
  if (graphicsDeviceType == 1) return std::make_unique<D3D11GpuQueries>(static_cast<ID3D11Device*>(device));
  return nullptr;
}

}  // namespace zem::capture
