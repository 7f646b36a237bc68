// The wait set: which sockets a pass waits on, and which ready handlers it serves.
#include "SocketLoop.h"

namespace vexolib::net {

// A message queued for an idle connection would otherwise wait for the
// select timeout before it is written.
void SocketLoop::wakeIfWaiting() {
  if (waiting_.exchange(false)) sock::wake(waker_);
}

bool SocketLoop::collectWaitSets() {
  workRead_.clear();
  workWrite_.clear();
  workReadHandlers_.clear();
  workWriteHandlers_.clear();
  workReadIds_.clear();
  workWriteIds_.clear();
  // Past the total bound no connection is read (accepts go on) until the
  // game has taken half of it. Partly received messages count too, and the
  // game cannot take those: when they alone hold half the bound, waiting
  // would never end, so the connection holding the most is closed, one per
  // pass, until reading can resume.
  const int64_t total = backlogBytes();
  if (total > limits_.totalBacklog) totalThrottled_ = true;
  if (total <= limits_.totalBacklog / 2) totalThrottled_ = false;
  if (totalThrottled_ && partial_.load() > limits_.totalBacklog / 2) shedLargestPartial();
  LockGuard g(lock_);
  waiting_.store(true);
  if (table_.live() == 0) return false;
  for (int32_t id = table_.first(); id < table_.end(); ++id) {
    if (!table_.used(id)) continue;
    HandlerTable::Entry& e = table_.at(id);
    BasicNetworkHandler* h = e.handler;
    if (!h) continue;
    bool readable = e.inReadSet && !e.held;
    if (readable && !h->isListener()) {
      Backlog& b = table_.backlog(id);
      if (b.throttled.load() && b.bytes() <= limits_.connectionBacklog / 2) b.throttled.store(false);
      readable = !b.throttled.load() && !totalThrottled_;
    }
    if (readable) {
      workRead_.push_back(h->socket());
      workReadHandlers_.push_back(h);
      workReadIds_.push_back(id);
    }
    if (e.inWriteSet) {
      workWrite_.push_back(h->socket());
      workWriteHandlers_.push_back(h);
      workWriteIds_.push_back(id);
    }
  }
  return true;
}

void SocketLoop::shedLargestPartial() {
  int32_t largestId = kNoId;
  int32_t largest = 0;
  {
    LockGuard g(lock_);
    for (int32_t id = table_.first(); id < table_.end(); ++id) {
      if (!table_.used(id) || !table_.at(id).handler) continue;
      const int32_t held = table_.at(id).handler->partialBytes();
      if (held > largest) {
        largest = held;
        largestId = id;
      }
    }
  }
  if (largestId == kNoId) return;
  // Figures as int: every C library the DLL may meet prints those.
  setError("Recv held [%d] Total[%d]", largest, static_cast<int>(partial_.load()));
  queueClose(largestId);
}

int SocketLoop::runPass() {
  processCloseList();
  moveOverflow();
  int served = writeFresh();
  const bool idle = !collectWaitSets();
  if (waker_ != kNoSock) workRead_.push_back(waker_);
  const int ready =
      sock::waitReady(workRead_, workWrite_, readReady_, writeReady_, idle ? kIdleSleepMs : kSelectTimeoutMs);
  waiting_.store(false);
  if (waker_ != kNoSock) {
    if (ready > 0 && readReady_.back()) sock::drainWaker(waker_);
    workRead_.pop_back();
    readReady_.pop_back();
  }
  if (idle || ready <= 0) return idle ? -1 : served;
  // At most 128 of each kind per pass, taking turns; the rest are served next.
  toRead_.clear();
  toWrite_.clear();
  picked_.clear();
  readTurns_.pick(workReadIds_, readReady_, kHandlersPerPass, picked_);
  for (size_t i : picked_) toRead_.push_back(workReadHandlers_[i]);
  picked_.clear();
  writeTurns_.pick(workWriteIds_, writeReady_, kHandlersPerPass, picked_);
  for (size_t i : picked_) toWrite_.push_back(workWriteHandlers_[i]);
  for (BasicNetworkHandler* h : toRead_) {
    h->onReadable();
    Backlog* b = h->backlog();
    if (b && b->bytes() > limits_.connectionBacklog) b->throttled.store(true);
  }
  for (BasicNetworkHandler* h : toWrite_) h->onWritable();
  moveOverflow();
  return served + static_cast<int>(toRead_.size() + toWrite_.size());
}

}  // namespace vexolib::net
