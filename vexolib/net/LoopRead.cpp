// Reading and framing: one receive per pass, cut into messages that wait as
// jobs on the connection's backlog.
#include "SocketLoop.h"

namespace vexolib::net {

void TcpHandler::onMessage(char* block, int32_t length) {
  if (!owner_ || !owner_->pushMessage(*this, block, length)) msgmempool::instance().release(block);
}

// A peer that keeps asking without reading the answers meets the send bound
// like any other that does not read.
void TcpHandler::onPolicyRequest() {
  if (!owner_ || owner_->queueAnswer(id_, kPolicyAnswer, kPolicyAnswerSize)) return;
  owner_->setError("Send full [%d] Bound[policy]", kPolicyAnswerSize);
  owner_->queueClose(id_);
}

// One receive per pass, into the loop's buffer: the loop comes back while the
// socket stays readable, and a flooding peer cannot keep it here.
void TcpHandler::onReadable() {
  if (socket_ == kNoSock || !owner_) return;
  char* chunk = owner_->readBuffer();
  const int got = sock::recvSome(socket_, chunk, SocketLoop::kReadPerPass);
  if (got <= 0) {
    const int err = sock::lastError();
    if (got < 0 && sock::wouldBlock(err)) return;
    owner_->setError("Recv ret  [%d] Errno[%d]", got, err);
    owner_->queueClose(id_);
    return;
  }
  const FrameDecoder::Result result = decoder_.feed(chunk, got, *this);
  countPartial();
  switch (result) {
    case FrameDecoder::Result::Ok:
      break;
    case FrameDecoder::Result::BadHeader:
      onWritable();  // a policy answer read from the same chunk still goes out
      owner_->setError("flash");
      owner_->queueClose(id_);
      break;
    case FrameDecoder::Result::NoMemory:
      owner_->setError("bad allocation");
      owner_->queueClose(id_);
      break;
  }
}

void TcpHandler::countPartial() {
  const int32_t held = decoder_.held();
  if (owner_ && held != partialCounted_) owner_->addPartial(held - partialCounted_);
  partialCounted_ = held;
}

bool SocketLoop::pushMessage(BasicNetworkHandler& from, char* block, int32_t length) {
  JobRecv* job = JobRecv::create(block, length, from.id(), from.backlog());
  if (!job) return false;
  totalBacklog_.fetch_add(Backlog::costOf(length), std::memory_order_relaxed);
  pushJob(job);
  return true;
}

int32_t SocketLoop::receivePosition(int32_t id) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  if (!e || !e->handler || e->handler->isListener()) return kNoId;
  return static_cast<TcpHandler*>(e->handler)->receivePosition();
}

// On the game's thread as it takes messages: wakes the loop when a stopped
// connection, or all of them, may read again.
void SocketLoop::backlogReleased(Backlog& backlog, int64_t left, int64_t cost) {
  const int64_t total = totalBacklog_.fetch_sub(cost, std::memory_order_acq_rel) - cost + partial_.load();
  const bool connectionMayRead = backlog.throttled.load() && left <= limits_.connectionBacklog / 2;
  const bool allMayRead = total <= limits_.totalBacklog / 2 && total + cost > limits_.totalBacklog / 2;
  if (connectionMayRead || allMayRead) wakeIfWaiting();
}

}  // namespace vexolib::net
