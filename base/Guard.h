// The guard every C export runs its body through: no exception (out of
// memory in a vector or a string, anything else) crosses the export; the
// export returns its failure result instead.
#pragma once
#include <utility>

namespace vekt::base {

// Returns body's result, or failure when body throws.
template <class R, class F>
R guardedCall(R failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return failure;
  }
}

// For exports without a result: true when body ran to its end.
template <class F>
bool guardedCall(F&& body) noexcept {
  try {
    std::forward<F>(body)();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vekt::base
