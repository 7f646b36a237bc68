// The socket calls Winsock 2 and BSD sockets share, written once against
// SocketCompat.h.
#include <cstring>

#include "SocketCompat.h"

namespace vexolib::net::sock {

namespace {
using namespace compat;

sockaddr_in ipv4(uint32_t ipHost, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(ipHost);
  return a;
}

// The IPv4 address of a socket end; false when it cannot be read.
template <typename Call>
bool addressOf(Sock s, Call call, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  Length n = sizeof a;
  if (call(native(s), reinterpret_cast<sockaddr*>(&a), &n) != 0 || a.sin_family != AF_INET) return false;
  if (ip) *ip = ntohl(a.sin_addr.s_addr);
  if (port) *port = ntohs(a.sin_port);
  return true;
}
}  // namespace

bool startup() {
#if defined(_WIN32)
  WSADATA d;
  return WSAStartup(MAKEWORD(2, 2), &d) == 0;
#else
  return true;
#endif
}

Sock tcp() {
  const Native s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == kInvalid ? kNoSock : static_cast<Sock>(s);
}

void closeSock(Sock s) {
  if (s == kNoSock) return;
  ::shutdown(native(s), kShutBoth);
  closeNative(native(s));
}

bool setNonBlocking(Sock s) { return nonBlocking(native(s)); }

bool setReuseAddr(Sock s) {
  int on = 1;
  return ::setsockopt(native(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool bindListen(Sock s, uint32_t ipHost, uint16_t port, int backlog) {
  sockaddr_in a = ipv4(ipHost, port);
  if (::bind(native(s), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
  return ::listen(native(s), backlog) == 0;
}

Sock acceptOne(Sock s, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  Length n = sizeof a;
  const Native c = ::accept(native(s), reinterpret_cast<sockaddr*>(&a), &n);
  if (c == kInvalid) return kNoSock;
  *ip = ntohl(a.sin_addr.s_addr);
  *port = ntohs(a.sin_port);
  return static_cast<Sock>(c);
}

bool connectStart(Sock s, uint32_t ipHost, uint16_t port) {
  sockaddr_in a = ipv4(ipHost, port);
  if (::connect(native(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return true;
  return connectUnderWay(error());
}

int recvSome(Sock s, void* buf, int len) {
  return static_cast<int>(::recv(native(s), static_cast<char*>(buf), len, 0));
}

int sendSome(Sock s, const void* buf, int len) {
  return static_cast<int>(::send(native(s), static_cast<const char*>(buf), len, kSendFlags));
}

int lastError() { return error(); }
bool wouldBlock(int err) { return wouldBlockError(err); }

uint16_t localPort(Sock s) {
  uint16_t port = 0;
  return addressOf(s, ::getsockname, nullptr, &port) ? port : 0;
}

bool peer(Sock s, uint32_t* ip, uint16_t* port) { return addressOf(s, ::getpeername, ip, port); }

Sock makeWaker() {
  const Native s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == kInvalid) return kNoSock;
  sockaddr_in a = ipv4(INADDR_LOOPBACK, 0);
  Length n = sizeof a;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) != 0 ||
      ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !nonBlocking(s)) {
    closeNative(s);
    return kNoSock;
  }
  return static_cast<Sock>(s);
}

void wake(Sock waker) {
  const char b = 1;
  if (waker != kNoSock) (void)::send(native(waker), &b, 1, kSendFlags);
}

// One receive: each wait is woken at most once, and a datagram left over
// only costs a spare pass.
void drainWaker(Sock waker) {
  char b[64];
  if (waker != kNoSock) (void)::recv(native(waker), b, sizeof b, 0);
}

}  // namespace vexolib::net::sock
