#include "HandlerTable.h"

#include <algorithm>

namespace vexolib::net {

int32_t HandlerTable::insert(BasicNetworkHandler* handler, uint64_t serial) {
  int32_t id;
  if (!freeIds_.empty()) {
    id = freeIds_.back();
    freeIds_.pop_back();
  } else {
    id = highWater_++;
    if (static_cast<size_t>(id) >= entries_.size()) {
      const size_t cap = entries_.empty() ? 32 : entries_.size() * 2;
      entries_.resize(cap);
      used_.resize(cap, 0);
      awaitingRecycle_.resize(cap, 0);
      while (backlogs_.size() < cap) backlogs_.emplace_back();
    }
  }
  Entry fresh;
  fresh.handler = handler;
  fresh.serial = serial;
  entries_[static_cast<size_t>(id)] = fresh;
  used_[static_cast<size_t>(id)] = 1;
  if (live_ == 0) {
    first_ = id;
    end_ = id + 1;
  } else {
    first_ = std::min(first_, id);
    end_ = std::max(end_, id + 1);
  }
  ++live_;
  return id;
}

void HandlerTable::erase(int32_t id) {
  if (id < 0 || id >= highWater_ || !used_[static_cast<size_t>(id)]) return;
  used_[static_cast<size_t>(id)] = 0;
  entries_[static_cast<size_t>(id)] = Entry{};
  awaitingRecycle_[static_cast<size_t>(id)] = 1;
  --live_;
  if (live_ == 0) {
    first_ = end_ = 0;
    return;
  }
  if (id == first_)
    while (first_ < end_ && !used_[static_cast<size_t>(first_)]) ++first_;
  if (id + 1 == end_)
    while (end_ > first_ && !used_[static_cast<size_t>(end_ - 1)]) --end_;
}

void HandlerTable::recycle(int32_t id) {
  if (id < 0 || id >= highWater_ || !awaitingRecycle_[static_cast<size_t>(id)]) return;
  awaitingRecycle_[static_cast<size_t>(id)] = 0;
  freeIds_.push_back(id);
}

HandlerTable::Entry* HandlerTable::lookup(int32_t id) {
  if (static_cast<uint32_t>(id) >= static_cast<uint32_t>(highWater_) || !used_[static_cast<size_t>(id)]) return nullptr;
  return &entries_[static_cast<size_t>(id)];
}

void HandlerTable::reset() {
  std::fill(entries_.begin(), entries_.end(), Entry{});
  std::fill(used_.begin(), used_.end(), 0);
  std::fill(awaitingRecycle_.begin(), awaitingRecycle_.end(), 0);
  freeIds_.clear();
  highWater_ = first_ = end_ = live_ = 0;
  ++epoch_;
}

}  // namespace vexolib::net
