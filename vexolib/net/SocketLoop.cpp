#include "SocketLoop.h"

#include <cstdio>
#include <cstring>

namespace vexolib::net {

void BasicNetworkHandler::closeSocket() {
  if (socket_ == kNoSock) return;
  sock::closeSock(socket_);
  socket_ = kNoSock;
  if (owner_) owner_->pushDisconnect(id_);
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
  countPartial();
}

SocketLoop::SocketLoop(JobQueue& jobQueue, int32_t maxMessageLength, const Limits& limits)
    : jobQueue_(jobQueue), readBuffer_(kReadPerPass), maxMessageLength_(maxMessageLength), limits_(limits) {
  sock::startup();
  waker_ = sock::makeWaker();
}

SocketLoop::~SocketLoop() {
  stop();
  sock::closeSock(waker_);
}

int32_t SocketLoop::add(BasicNetworkHandler* handler, bool held, uint64_t* serial, uint32_t generation) {
  {
    LockGuard g(lock_);
    const bool current = generation == kAnyGeneration || generation == table_.epoch();
    if (current && readCount_ < kMaxSetSockets) {
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

uint32_t SocketLoop::generation() {
  LockGuard g(lock_);
  return table_.epoch();
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

void SocketLoop::recycleId(int32_t id, uint32_t epoch) {
  LockGuard g(lock_);
  if (epoch == table_.epoch()) table_.recycle(id);
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
      queuedTotal_ -= e->pending;
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
    queuedTotal_ = 0;
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
