// Handlers by id, with what the loop keeps about each (pending bytes, set
// membership); ids are slot indexes shared by listeners and connections.
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "Handlers.h"

namespace vexolib::net {

// Ids by slot: listeners and connections share them; the first handler gets 0.
class HandlerTable {
 public:
  struct Entry {
    BasicNetworkHandler* handler = nullptr;
    int64_t pending = 0;  // bytes queued on the connection, not yet known to be sent
    uint64_t serial = 0;  // tells this handler from others that had its id
    bool inReadSet = false;
    bool inWriteSet = false;
    bool freshWrite = false;  // queued since the last pass: written before waiting
    bool held = false;        // not read until the game has been told of the connection
    int64_t fullSince = 0;    // when a send was refused for this connection's bound; 0: not
  };

  int32_t insert(BasicNetworkHandler* handler, uint64_t serial);
  // Frees the slot; the id goes on the free stack when recycle() is called
  // for it, once the game has seen the close.
  void erase(int32_t id);
  void recycle(int32_t id);
  Entry* lookup(int32_t id);
  // The received-message backlog of a slot; its address never changes.
  Backlog& backlog(int32_t id) { return backlogs_[static_cast<size_t>(id)]; }
  void reset();

  int32_t live() const { return live_; }
  int32_t first() const { return first_; }
  int32_t end() const { return end_; }
  bool used(int32_t id) const { return used_[static_cast<size_t>(id)] != 0; }
  Entry& at(int32_t id) { return entries_[static_cast<size_t>(id)]; }
  uint32_t epoch() const { return epoch_; }

 private:
  std::vector<Entry> entries_;
  std::vector<uint8_t> used_;
  std::vector<uint8_t> awaitingRecycle_;
  // Jobs of a closed connection may still point at its backlog: a deque
  // grows without moving what it holds, and slots are never given back.
  std::deque<Backlog> backlogs_;
  std::vector<int32_t> freeIds_;
  int32_t highWater_ = 0;
  int32_t first_ = 0;
  int32_t end_ = 0;
  int32_t live_ = 0;
  uint32_t epoch_ = 0;  // grows at every reset, so ids of an earlier table are ignored
};

}  // namespace vexolib::net
