// No Direct3D outside Windows: no GPU timer there.
#include "GpuTimer.h"

namespace zem::capture {
std::unique_ptr<GpuQuerySource> makeGpuQuerySource(int, void*) { return nullptr; }
}  // namespace zem::capture
