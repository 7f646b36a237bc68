// No Direct3D outside Windows: the helper is never created there.
#include "ScreenShotHelper.h"

namespace zem::capture {
std::unique_ptr<D3DWorker> makeD3DWorker(int, void*) { return nullptr; }
}  // namespace zem::capture
