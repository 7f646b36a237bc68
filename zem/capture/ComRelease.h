// Releases a COM reference once and forgets it.
#pragma once

namespace zem::capture {

template <typename T>
void release(T*& p) {
  if (p) {
    p->Release();
    p = nullptr;
  }
}

}  // namespace zem::capture
