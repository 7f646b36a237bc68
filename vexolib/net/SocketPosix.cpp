// BSD sockets and C++ threads: the host build of the platform layer.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "NetPlatform.h"

namespace vexolib::net {

Mutex::Mutex() : impl_(new std::mutex) {}
Mutex::~Mutex() { delete static_cast<std::mutex*>(impl_); }
void Mutex::lock() { static_cast<std::mutex*>(impl_)->lock(); }
void Mutex::unlock() { static_cast<std::mutex*>(impl_)->unlock(); }

namespace {
struct Counter {
  std::mutex m;
  std::condition_variable cv;
  int count;
  int maximum;
};

bool counterWait(Counter* c, int timeoutMs) {
  std::unique_lock<std::mutex> l(c->m);
  if (timeoutMs == 0) {
    // A test without waiting: no trip into the kernel for an empty count.
    if (c->count == 0) return false;
  } else if (timeoutMs < 0) {
    c->cv.wait(l, [c] { return c->count > 0; });
  } else if (!c->cv.wait_for(l, std::chrono::milliseconds(timeoutMs), [c] { return c->count > 0; })) {
    return false;
  }
  --c->count;
  return true;
}

void counterPost(Counter* c) {
  {
    std::lock_guard<std::mutex> l(c->m);
    if (c->count < c->maximum) ++c->count;
  }
  c->cv.notify_one();
}
}  // namespace

Semaphore::Semaphore(int initial, int maximum) : impl_(new Counter{{}, {}, initial, maximum}) {}
Semaphore::~Semaphore() { delete static_cast<Counter*>(impl_); }
bool Semaphore::wait(int timeoutMs) { return counterWait(static_cast<Counter*>(impl_), timeoutMs); }
void Semaphore::post() { counterPost(static_cast<Counter*>(impl_)); }

uintptr_t startThread(ThreadFn fn, void* arg, unsigned) {
  try {
    return reinterpret_cast<uintptr_t>(new std::thread(fn, arg));
  } catch (...) {
    return 0;
  }
}

void joinThread(uintptr_t thread) {
  auto* t = reinterpret_cast<std::thread*>(thread);
  if (!t) return;
  if (t->joinable()) t->join();
  delete t;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int64_t nowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace sock {
namespace {
sockaddr_in ipv4(uint32_t ipHost, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(ipHost);
  return a;
}
}  // namespace

bool startup() { return true; }

Sock tcp() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  return s < 0 ? kNoSock : static_cast<Sock>(s);
}

void closeSock(Sock s) {
  if (s == kNoSock) return;
  ::shutdown(static_cast<int>(s), SHUT_RDWR);
  ::close(static_cast<int>(s));
}

bool setNonBlocking(Sock s) {
  int fl = ::fcntl(static_cast<int>(s), F_GETFL, 0);
  return fl >= 0 && ::fcntl(static_cast<int>(s), F_SETFL, fl | O_NONBLOCK) == 0;
}

bool setReuseAddr(Sock s) {
  int on = 1;
  return ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool bindListen(Sock s, uint32_t ipHost, uint16_t port, int backlog) {
  sockaddr_in a = ipv4(ipHost, port);
  if (::bind(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
  return ::listen(static_cast<int>(s), backlog) == 0;
}

Sock acceptOne(Sock s, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  socklen_t n = sizeof a;
  int c = ::accept(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &n);
  if (c < 0) return kNoSock;
  *ip = ntohl(a.sin_addr.s_addr);
  *port = ntohs(a.sin_port);
  return static_cast<Sock>(c);
}

bool connectStart(Sock s, uint32_t ipHost, uint16_t port) {
  sockaddr_in a = ipv4(ipHost, port);
  if (::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return true;
  return errno == EINPROGRESS || errno == EWOULDBLOCK;
}

bool waitConnected(Sock s, int timeoutMs) {
  pollfd p{static_cast<int>(s), POLLOUT, 0};
  int r;
  do {
    r = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return false;
  int err = -1;
  socklen_t n = sizeof err;
  return ::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &err, &n) == 0 && err == 0;
}

int recvSome(Sock s, void* buf, int len) {
  return static_cast<int>(::recv(static_cast<int>(s), buf, static_cast<size_t>(len), 0));
}

int sendSome(Sock s, const void* buf, int len) {
  return static_cast<int>(::send(static_cast<int>(s), buf, static_cast<size_t>(len), MSG_NOSIGNAL));
}

int lastError() { return errno; }
bool wouldBlock(int err) { return err == EWOULDBLOCK || err == EAGAIN || err == EINTR; }

uint16_t localPort(Sock s) {
  sockaddr_in a{};
  socklen_t n = sizeof a;
  if (::getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &n) != 0 || a.sin_family != AF_INET) return 0;
  return ntohs(a.sin_port);
}

bool peer(Sock s, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  socklen_t n = sizeof a;
  if (::getpeername(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &n) != 0 ||
      a.sin_family != AF_INET)
    return false;
  *ip = ntohl(a.sin_addr.s_addr);
  *port = ntohs(a.sin_port);
  return true;
}

Sock makeWaker() {
  int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return kNoSock;
  sockaddr_in a = ipv4(INADDR_LOOPBACK, 0);
  socklen_t n = sizeof a;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) != 0 ||
      ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !setNonBlocking(s)) {
    ::close(s);
    return kNoSock;
  }
  return static_cast<Sock>(s);
}

void wake(Sock waker) {
  const char b = 1;
  if (waker != kNoSock) (void)::send(static_cast<int>(waker), &b, 1, MSG_NOSIGNAL);
}

void drainWaker(Sock waker) {
  char b[64];
  while (waker != kNoSock && ::recv(static_cast<int>(waker), b, sizeof b, 0) > 0) {
  }
}

// poll instead of select: descriptors above FD_SETSIZE stay safe on the host.
int waitReady(const std::vector<Sock>& rd, const std::vector<Sock>& wr,
              std::vector<uint8_t>& rdReady, std::vector<uint8_t>& wrReady, int timeoutMs) {
  thread_local std::vector<pollfd> fds;
  fds.clear();
  for (Sock s : rd) fds.push_back(pollfd{static_cast<int>(s), POLLIN, 0});
  for (Sock s : wr) fds.push_back(pollfd{static_cast<int>(s), POLLOUT, 0});
  rdReady.assign(rd.size(), 0);
  wrReady.assign(wr.size(), 0);
  if (fds.empty()) {
    sleepMs(timeoutMs);
    return 0;
  }
  int r = ::poll(fds.data(), fds.size(), timeoutMs);
  if (r <= 0) return r;
  int n = 0;
  for (size_t i = 0; i < rd.size(); ++i)
    if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) rdReady[i] = 1, ++n;
  for (size_t i = 0; i < wr.size(); ++i)
    if (fds[rd.size() + i].revents & (POLLOUT | POLLHUP | POLLERR)) wrReady[i] = 1, ++n;
  return n;
}
}  // namespace sock
}  // namespace vexolib::net
