// The thread contexts: key 0 for the main thread, 1 shared by every other thread.
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "CallTree.h"
#include "Names.h"
#include "Threads.h"

namespace zem {

class Contexts {
 public:
  // The overhead sample's name is interned here, once: interning takes no lock, and
  // contexts are also made on other threads while the main thread interns.
  explicit Contexts(Names& names) { names.intern("Zem-Overhead"); }
  ThreadContext* context(int key);
  // The main thread's context; cached so later lookups take no lock.
  ThreadContext* main();
  // The main context when it exists already, else null (creates nothing).
  ThreadContext* mainIfCreated() const { return main_; }
  // The context of key 0 or 1 if it exists, without the lock (and without allocating):
  // for collections that run while every other thread is suspended.
  ThreadContext* peek(int key) const { return published_[key & 1].load(std::memory_order_acquire); }
  // The contexts in key order, copied under the lock so writers need not hold it.
  std::vector<std::pair<int, ThreadContext*>> list();

 private:
  NamedLock getLock_{"get"};
  std::map<int, std::unique_ptr<ThreadContext>> contexts_;
  ThreadContext* main_ = nullptr;
  std::atomic<ThreadContext*> published_[2] = {};
};

}  // namespace zem
