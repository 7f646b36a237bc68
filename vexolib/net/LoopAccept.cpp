// Accepting and making connections: listeners, blocking connects, and the
// handlers they add to the loop.
#include "SocketLoop.h"

namespace vexolib::net {

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

int32_t SocketLoop::connect(uint32_t ip, uint16_t port, int32_t timeoutMs, bool held, uint64_t* serial,
                            uint32_t generation) {
  const Sock s = sock::tcp();
  if (s == kNoSock) return kNoId;
  if (!sock::setNonBlocking(s) || !sock::connectStart(s, ip, port) || !sock::waitConnected(s, timeoutMs)) {
    sock::closeSock(s);
    return kNoId;
  }
  return addConnection(s, maxMessageLength_, held, serial, generation);
}

int32_t SocketLoop::addConnection(Sock socket, int32_t maxMessageLength, bool held, uint64_t* serial,
                                  uint32_t generation) {
  auto* tcp = new (std::nothrow) TcpHandler(socket, maxMessageLength);
  if (!tcp) {
    sock::closeSock(socket);
    return kNoId;
  }
  if (!tcp->ready()) {
    delete tcp;  // closes the socket
    return kNoId;
  }
  return add(tcp, held, serial, generation);
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

}  // namespace vexolib::net
