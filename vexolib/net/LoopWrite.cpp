// Writing: messages queued by the game, counted as pending until the socket
// thread has written their batch.
#include "SocketLoop.h"

#include <algorithm>

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
    if (inFlight_.capacity > kShrinkAbove && 0.3 * inFlight_.capacity > inFlight_.length) {
      OutBuffer smaller;
      if (smaller.init(static_cast<int32_t>(0.6 * inFlight_.capacity))) {
        inFlight_.free();
        inFlight_ = smaller;
      }
    }
    inFlight_.length = 0;
    sendPosition_ = 0;
  }
}

bool SocketLoop::send(int32_t id, const void* data, int32_t length) {
  if (length < 0 || (length > 0 && !data)) return false;
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  if (!e || !e->handler || e->handler->isListener()) return false;
  auto* tcp = static_cast<TcpHandler*>(e->handler);
  if (!tcp->queueFrame(data, length)) return false;
  if (e->pending == 0) markInWriteSet(*e);
  e->pending += int64_t{length} + 4;
  return true;
}

void SocketLoop::addPending(int32_t id, int64_t n) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  if (!e || !e->handler) return;
  if (e->pending == 0) markInWriteSet(*e);
  e->pending += n;
}

void SocketLoop::subtractPending(int32_t id, int64_t n) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  if (!e || !e->handler) return;
  e->pending -= n;
  if (e->pending <= 0) {
    e->pending = 0;
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

int SocketLoop::writeFresh() {
  toWrite_.clear();
  {
    LockGuard g(lock_);
    for (int32_t id = table_.first(); id < table_.end(); ++id) {
      if (!table_.used(id)) continue;
      HandlerTable::Entry& e = table_.at(id);
      if (!e.freshWrite || !e.handler) continue;
      e.freshWrite = false;
      toWrite_.push_back(e.handler);
    }
  }
  for (BasicNetworkHandler* h : toWrite_) h->onWritable();
  return static_cast<int>(toWrite_.size());
}

}  // namespace vexolib::net
