#include "SocketLoop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vexolib::net {

// ---- handlers ----

void BasicNetworkHandler::closeSocket() {
  if (socket_ == kNoSock) return;
  sock::closeSock(socket_);
  socket_ = kNoSock;
  if (owner_) owner_->pushDisconnect(id_);
}

void ListenHandler::close() {
  closeSocket();
  port_ = 0;
}

void ListenHandler::onReadable() {
  if (!owner_) return;
  for (;;) {
    uint32_t ip = 0;
    uint16_t peerPort = 0;
    Sock s = sock::acceptOne(socket_, &ip, &peerPort);
    if (s == kNoSock) return;
    const int32_t id = owner_->addConnection(s, maxMessageLength_);
    if (id == SocketLoop::kNoId) continue;
    if (JobAccept* job = JobAccept::create(id, s, port_, ip, peerPort)) owner_->pushJob(job);
  }
}

TcpHandler::TcpHandler(Sock socket, int32_t maxMessageLength)
    : BasicNetworkHandler(socket, false), decoder_(maxMessageLength) {
  sock::setNonBlocking(socket);
  inFlight_.init(kBatchCapacity);
  out_.init(kBatchCapacity);
}

void TcpHandler::close() {
  closeSocket();
  inFlight_.free();
  {
    LockGuard g(lock_);
    out_.free();
  }
  decoder_.reset();
}

bool TcpHandler::queueFrame(const void* data, int32_t length) {
  LockGuard g(lock_);
  return out_.data && out_.appendFrame(data, length);
}

bool TcpHandler::queueRaw(const void* data, int32_t length) {
  LockGuard g(lock_);
  return out_.data && out_.appendRaw(data, length);
}

void TcpHandler::onMessage(char* block, int32_t length) {
  if (!owner_ || !owner_->pushMessage(*this, block, length)) msgmempool::instance().release(block);
}

void TcpHandler::onPolicyRequest() {
  if (!queueRaw(kPolicyAnswer, kPolicyAnswerSize)) return;
  if (owner_) owner_->addPending(id_, kPolicyAnswerSize);
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
  switch (decoder_.feed(chunk, got, *this)) {
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

// ---- handler table ----

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

// ---- the loop ----

SocketLoop::SocketLoop(JobQueue& jobQueue, int32_t maxMessageLength, int64_t connectionBacklog, int64_t totalBacklog)
    : jobQueue_(jobQueue),
      readBuffer_(kReadPerPass),
      maxMessageLength_(maxMessageLength),
      connectionBacklog_(connectionBacklog),
      totalBacklogLimit_(totalBacklog) {
  sock::startup();
  waker_ = sock::makeWaker();
}

SocketLoop::~SocketLoop() {
  stop();
  sock::closeSock(waker_);
}

// A message queued for an idle connection would otherwise wait for the
// select timeout before it is written.
void SocketLoop::wakeIfWaiting() {
  if (waiting_.exchange(false)) sock::wake(waker_);
}

void SocketLoop::markInWriteSet(HandlerTable::Entry& e) {
  if (e.inWriteSet || writeCount_ >= kMaxSetSockets) return;
  e.inWriteSet = true;
  e.freshWrite = true;
  ++writeCount_;
  wakeIfWaiting();
}

int32_t SocketLoop::add(BasicNetworkHandler* handler, bool held, uint64_t* serial) {
  {
    LockGuard g(lock_);
    if (readCount_ < kMaxSetSockets) {
      const uint64_t s = nextSerial_++;
      const int32_t id = table_.insert(handler, s);
      HandlerTable::Entry& e = table_.at(id);
      e.inReadSet = true;
      e.held = held;
      ++readCount_;
      Backlog& backlog = table_.backlog(id);
      backlog.bind(this);
      backlog.throttled.store(false);
      handler->attach(this, id, &backlog);
      if (serial) *serial = s;
      wakeIfWaiting();
      return id;
    }
  }
  delete handler;  // never added: no close is reported for it
  return kNoId;
}

void SocketLoop::release(int32_t id, uint64_t serial) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  if (!e || e->serial != serial || !e->held) return;
  e->held = false;
  wakeIfWaiting();
}

void SocketLoop::queueClose(int32_t id) {
  uint64_t serial;
  {
    LockGuard g(lock_);
    HandlerTable::Entry* e = table_.lookup(id);
    if (!e || !e->handler) return;
    serial = e->serial;
  }
  {
    LockGuard g(closeLock_);
    closeList_.push_back(CloseRequest{id, serial});
  }
  wakeIfWaiting();
}

void SocketLoop::pushDisconnect(int32_t id) {
  JobDisconect* job = JobDisconect::create(id, this, table_.epoch());
  if (job)
    pushJob(job);
  else
    recycleId(id, table_.epoch());
}

bool SocketLoop::pushMessage(BasicNetworkHandler& from, char* block, int32_t length) {
  JobRecv* job = JobRecv::create(block, length, from.id(), from.backlog());
  if (!job) return false;
  totalBacklog_.fetch_add(Backlog::costOf(length), std::memory_order_relaxed);
  pushJob(job);
  return true;
}

void SocketLoop::recycleId(int32_t id, uint32_t epoch) {
  LockGuard g(lock_);
  if (epoch == table_.epoch()) table_.recycle(id);
}

// On the game's thread as it takes messages: wakes the loop when a stopped
// connection, or all of them, may read again.
void SocketLoop::backlogReleased(Backlog& backlog, int64_t left, int64_t cost) {
  const int64_t total = totalBacklog_.fetch_sub(cost, std::memory_order_acq_rel) - cost;
  const bool connectionMayRead = backlog.throttled.load() && left <= connectionBacklog_ / 2;
  const bool allMayRead = total <= totalBacklogLimit_ / 2 && total + cost > totalBacklogLimit_ / 2;
  if (connectionMayRead || allMayRead) wakeIfWaiting();
}

void SocketLoop::processCloseList() {
  std::vector<CloseRequest> requests;
  {
    LockGuard g(closeLock_);
    if (closeList_.empty()) return;
    requests.swap(closeList_);
  }
  std::vector<BasicNetworkHandler*> closed;
  {
    LockGuard g(lock_);
    for (const CloseRequest& r : requests) {
      HandlerTable::Entry* e = table_.lookup(r.id);
      if (!e || !e->handler || e->serial != r.serial) continue;
      readCount_ -= e->inReadSet ? 1 : 0;
      writeCount_ -= e->inWriteSet ? 1 : 0;
      closed.push_back(e->handler);
      table_.erase(r.id);
    }
  }
  // close() reports through recycleId/pushDisconnect, which take the lock.
  for (BasicNetworkHandler* h : closed) {
    h->close();
    delete h;
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

uint16_t SocketLoop::listenerPort(int32_t id) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  return e && e->handler && e->handler->isListener() ? static_cast<ListenHandler*>(e->handler)->port() : 0;
}

const char* SocketLoop::peerName(int32_t id) {
  LockGuard g(lock_);
  HandlerTable::Entry* e = table_.lookup(id);
  if (!e || !e->handler || e->handler->isListener()) return nullptr;
  uint32_t ip = 0;
  uint16_t port = 0;
  if (!sock::peer(e->handler->socket(), &ip, &port)) return nullptr;
  return sock::dotted(ip);
}

int32_t SocketLoop::connect(uint32_t ip, uint16_t port, int32_t timeoutMs, bool held, uint64_t* serial) {
  const Sock s = sock::tcp();
  if (s == kNoSock) return kNoId;
  if (!sock::setNonBlocking(s) || !sock::connectStart(s, ip, port) || !sock::waitConnected(s, timeoutMs)) {
    sock::closeSock(s);
    return kNoId;
  }
  return addConnection(s, maxMessageLength_, held, serial);
}

int32_t SocketLoop::addConnection(Sock socket, int32_t maxMessageLength, bool held, uint64_t* serial) {
  auto* tcp = new (std::nothrow) TcpHandler(socket, maxMessageLength);
  if (!tcp) {
    sock::closeSock(socket);
    return kNoId;
  }
  if (!tcp->ready()) {
    delete tcp;  // closes the socket
    return kNoId;
  }
  return add(tcp, held, serial);
}

int32_t SocketLoop::listen(uint16_t port, int32_t backlog, const char* bindAddress) {
  const Sock s = sock::tcp();
  if (s == kNoSock) return kNoId;
  uint32_t ip = 0;  // any local address
  if (!sock::parseDotted(bindAddress, &ip)) ip = 0;
  if (!sock::setReuseAddr(s) || !sock::bindListen(s, ip, port, backlog) || !sock::setNonBlocking(s)) {
    sock::closeSock(s);
    return kNoId;
  }
  // Port 0 asks the system for one; the listener reports the port it got.
  const uint16_t bound = port != 0 ? port : sock::localPort(s);
  auto* handler = new (std::nothrow) ListenHandler(s, bound, maxMessageLength_);
  if (!handler) {
    sock::closeSock(s);
    return kNoId;
  }
  return add(handler);
}

void SocketLoop::setError(const char* format, ...) {
  LockGuard g(errorLock_);
  std::memset(error_, 0, sizeof error_);
  va_list args;
  va_start(args, format);
  std::vsnprintf(error_, sizeof error_, format, args);
  va_end(args);
}

void SocketLoop::copyError(char (&out)[256]) {
  LockGuard g(errorLock_);
  std::memcpy(out, error_, sizeof error_);
}

void SocketLoop::clearError() {
  LockGuard g(errorLock_);
  std::memset(error_, 0, sizeof error_);
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

bool SocketLoop::collectWaitSets() {
  workRead_.clear();
  workWrite_.clear();
  workReadHandlers_.clear();
  workWriteHandlers_.clear();
  // Past the total bound no connection is read (accepts go on) until the
  // game has taken half of it.
  const int64_t total = totalBacklog_.load();
  if (total > totalBacklogLimit_) totalThrottled_ = true;
  if (total <= totalBacklogLimit_ / 2) totalThrottled_ = false;
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
      if (b.throttled.load() && b.bytes() <= connectionBacklog_ / 2) b.throttled.store(false);
      readable = !b.throttled.load() && !totalThrottled_;
    }
    if (readable) {
      workRead_.push_back(h->socket());
      workReadHandlers_.push_back(h);
    }
    if (e.inWriteSet) {
      workWrite_.push_back(h->socket());
      workWriteHandlers_.push_back(h);
    }
  }
  return true;
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
  // The sets were built in id order, so the first 128 ready of each are the
  // lowest ids; the rest are served in the next pass.
  toRead_.clear();
  toWrite_.clear();
  for (size_t i = 0; i < workReadHandlers_.size() && toRead_.size() < static_cast<size_t>(kHandlersPerPass); ++i)
    if (readReady_[i]) toRead_.push_back(workReadHandlers_[i]);
  for (size_t i = 0; i < workWriteHandlers_.size() && toWrite_.size() < static_cast<size_t>(kHandlersPerPass); ++i)
    if (writeReady_[i]) toWrite_.push_back(workWriteHandlers_[i]);
  for (BasicNetworkHandler* h : toRead_) {
    h->onReadable();
    Backlog* b = h->backlog();
    if (b && b->bytes() > connectionBacklog_) b->throttled.store(true);
  }
  for (BasicNetworkHandler* h : toWrite_) h->onWritable();
  moveOverflow();
  return served + static_cast<int>(toRead_.size() + toWrite_.size());
}

void SocketLoop::threadMain() {
  while (!stopped_.load()) runPass();
}

void SocketLoop::start() {
  if (!stopped_.load()) return;
  stopped_.store(false);
  // A thread that cannot start leaves the loop stopped, so Start can be tried again.
  if (!thread_.joinable() && !thread_.start([this] { threadMain(); })) stopped_.store(true);
}

void SocketLoop::stop() {
  if (!stopped_.load()) {
    stopped_.store(true);
    wakeIfWaiting();
    thread_.join();
  }
  closeAll();
}

void SocketLoop::closeAll() {
  std::vector<BasicNetworkHandler*> handlers;
  {
    LockGuard g(lock_);
    for (int32_t id = table_.first(); id < table_.end(); ++id)
      if (table_.used(id) && table_.at(id).handler) handlers.push_back(table_.at(id).handler);
    table_.reset();
    readCount_ = writeCount_ = 0;
  }
  for (BasicNetworkHandler* h : handlers) {
    h->close();
    delete h;
  }
  {
    LockGuard g(closeLock_);
    closeList_.clear();
  }
  overflow_.destroyAll();
  totalThrottled_ = false;
}

}  // namespace vexolib::net
