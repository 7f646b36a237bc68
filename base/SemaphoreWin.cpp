// The semaphore on Windows: a kernel semaphore object.
#include <windows.h>

#include "Semaphore.h"

namespace vekt::base {

Semaphore::Semaphore(int initial, int maximum)
    : handle_(CreateSemaphoreW(nullptr, initial < 0 ? 0 : (initial > maximum ? maximum : initial),
                               maximum < 1 ? 1 : maximum, nullptr)) {}

Semaphore::~Semaphore() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

bool Semaphore::wait(int timeoutMs) noexcept {
  if (!handle_) return false;
  const DWORD ms = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  return WaitForSingleObject(static_cast<HANDLE>(handle_), ms) == WAIT_OBJECT_0;
}

void Semaphore::post() noexcept {
  if (handle_) ReleaseSemaphore(static_cast<HANDLE>(handle_), 1, nullptr);
}

}  // namespace vekt::base
