// Builds arbitrary bytes as a layout, lays the tree out, paints it and clicks it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "UIBuilder.h"
#include "UIManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace VantorUI;
  CManagerUI manager;
  CDialogBuilder builder;
  auto root = builder.CreateFromBytes(std::vector<uint8_t>(data, data + size), nullptr, &manager);
  if (!root) return 0;
  manager.AttachDialog(std::move(root));
  manager.SetClientSize(64, 48);
  CBitmapUI target(64, 48);
  CCanvasUI canvas(target);
  CCanvasRenderUI render(canvas, [](const std::wstring&) { return std::shared_ptr<CBitmapUI>(); });
  manager.Paint(render, UIRect{0, 0, 64, 48});
  manager.OnMouseMove({10, 10});
  manager.OnButtonDown({10, 10});
  manager.OnButtonUp({10, 10});
  manager.SetClientSize(7, 3);
  manager.Paint(render, UIRect{0, 0, 7, 3});
  return 0;
}
