// Writing: messages queued by the game, counted as pending until the socket
// thread has written their batch.
#include "SocketLoop.h"

#include <algorithm>

#include "base/Clock.h"

namespace vexolib::net {

void SocketLoop::markInWriteSet(HandlerTable::Entry& e) {
  if (e.inWriteSet || writeCount_ >= kMaxSetSockets) return;
  e.inWriteSet = true;
  e.freshWrite = true;
  ++writeCount_;
  wakeIfWaiting();
}

bool TcpHandler::queueFrame(const void* data, int32_t length) {
  LockGuard g(lock_);
  return out_.data && out_.appendFrame(data, length);
}

bool TcpHandler::queueRaw(const void* data, int32_t length) {
  LockGuard g(lock_);
  return out_.data && out_.appendRaw(data, length);
}

void TcpHandler::onWritable() {
  for (;;) {
    if (socket_ == kNoSock || !inFlight_.data) return;
    if (inFlight_.length == 0) {
      {
        LockGuard g(lock_);
        std::swap(inFlight_, out_);
        out_.length = 0;
      }
      if (inFlight_.length == 0) return;
      if (inFlight_.length > 1 && owner_) owner_->subtractPending(id_, inFlight_.length - 1);
    }
    while (sendPosition_ < inFlight_.length) {
      const int sent = sock::sendSome(socket_, inFlight_.data + sendPosition_, inFlight_.length - sendPosition_);
      if (sent <= 0) {
        const int err = sock::lastError();
        if ((sent < 0 && sock::wouldBlock(err)) || !owner_) return;
        owner_->setError("Send ret  [%d] Errno[%d]", sent, err);
        owner_->queueClose(id_);
        return;
      }
      sendPosition_ += sent;
    }
    if (owner_) owner_->subtractPending(id_, 1);
    if (inFlight_.capacity > kKeepAfterBatch) {
      OutBuffer smaller;
      if (smaller.init(kBatchCapacity)) {
        inFlight_.free();
        inFlight_ = smaller;
      }
    }
    inFlight_.length = 0;
    sendPosition_ = 0;
  }
}

bool SocketLoop::queueOn(HandlerTable::Entry& e, const void* data, int32_t length, bool framed) {
  const int64_t cost = int64_t{length} + (framed ? 4 : 0);
  if (e.pending + cost > limits_.connectionSend) {
    if (e.fullSince == 0) e.fullSince = std::max<int64_t>(1, vekt::base::monotonicMicros());
    return false;
  }
  if (queuedTotal_ + cost > limits_.totalSend) return false;
  auto* tcp = static_cast<TcpHandler*>(e.handler);
  if (!(framed ? tcp->queueFrame(data, length) : tcp->queueRaw(data, length))) return false;
  if (e.pending == 0) markInWriteSet(e);
  e.pending += cost;
  queuedTotal_ += cost;
  return true;
}

bool SocketLoop::send(int32_t id, const void* data, int32_t length) {
  if (length < 0 || (length > 0 && !data)) return false;
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  if (!e || !e->handler || e->handler->isListener()) return false;
  return queueOn(*e, data, length, true);
}

bool SocketLoop::queueAnswer(int32_t id, const void* data, int32_t length) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  return e && e->handler && !e->handler->isListener() && queueOn(*e, data, length, false);
}

void SocketLoop::subtractPending(int32_t id, int64_t n) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  if (!e || !e->handler) return;
  const int64_t gone = std::min(n, e->pending);
  e->pending -= gone;
  queuedTotal_ -= gone;
  if (e->pending <= limits_.connectionSend / 2) e->fullSince = 0;
  if (e->pending == 0) {
    if (e->inWriteSet) --writeCount_;
    e->inWriteSet = false;
    e->freshWrite = false;
  }
}

int64_t SocketLoop::pending(int32_t id) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  return e ? e->pending : -1;
}

bool SocketLoop::inWriteSet(int32_t id) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  return e && e->handler && e->inWriteSet;
}

// Also finds the peers that stopped reading: refused for their own bound
// and not back under half of it within the time allowed (Budget.h).
int SocketLoop::writeFresh() {
  toWrite_.clear();
  struct Slow {
    int32_t id;
    int64_t pending;
  };
  std::vector<Slow> slow;
  const int64_t now = vekt::base::monotonicMicros();
  {
    LockGuard g(lock_);
    for (int32_t id = table_.first(); id < table_.end(); ++id) {
      if (!table_.used(id)) continue;
      HandlerTable::Entry& e = table_.at(id);
      if (!e.handler) continue;
      if (e.fullSince != 0 && now - e.fullSince >= int64_t{limits_.slowReaderMs} * 1000) {
        e.fullSince = 0;
        slow.push_back({id, e.pending});
      }
      if (!e.freshWrite) continue;
      e.freshWrite = false;
      toWrite_.push_back(e.handler);
    }
  }
  for (BasicNetworkHandler* h : toWrite_) h->onWritable();
  for (const Slow& s : slow) {
    setError("Send full [%d] Bound[%d]", static_cast<int>(s.pending), static_cast<int>(limits_.connectionSend));
    queueClose(s.id);
  }
  return static_cast<int>(toWrite_.size());
}

}  // namespace vexolib::net
