// The mutex on Windows: a slim reader/writer lock taken exclusively.
#include <windows.h>

#include "Mutex.h"

namespace vekt::base {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "SRWLOCK is one pointer");

static PSRWLOCK srw(void** p) { return reinterpret_cast<PSRWLOCK>(p); }

void Mutex::lock() noexcept { AcquireSRWLockExclusive(srw(&srw_)); }
void Mutex::unlock() noexcept { ReleaseSRWLockExclusive(srw(&srw_)); }
bool Mutex::try_lock() noexcept { return TryAcquireSRWLockExclusive(srw(&srw_)) != 0; }

}  // namespace vekt::base
