#include "Contexts.h"

namespace zem {

ThreadContext* Contexts::context(int key) {
  LockGuard g(getLock_);
  auto& slot = contexts_[key];
  if (!slot) {
    slot.reset(new ThreadContext(currentThreadId()));
    if (key == 0 || key == 1) published_[key].store(slot.get(), std::memory_order_release);
  }
  return slot.get();
}

ThreadContext* Contexts::main() {
  if (!main_) main_ = context(0);
  return main_;
}

std::vector<std::pair<int, ThreadContext*>> Contexts::list() {
  std::vector<std::pair<int, ThreadContext*>> out;
  LockGuard g(getLock_);
  for (auto& kv : contexts_) out.emplace_back(kv.first, kv.second.get());
  return out;
}

}  // namespace zem
