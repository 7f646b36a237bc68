// The locks and the semaphore of the network core: base's, by short names.
#pragma once
#include <mutex>

#include "base/Mutex.h"
#include "base/Semaphore.h"

namespace vexolib::net {
using vekt::base::Mutex;
using vekt::base::Semaphore;
using LockGuard = std::lock_guard<Mutex>;
}  // namespace vexolib::net
