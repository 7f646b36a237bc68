// Winsock 2 and Win32 threads: the shipping build of the platform layer.
// Room for the loop's 1024 sockets and its wake socket.
#ifndef FD_SETSIZE
#define FD_SETSIZE 1025
#endif
#include <winsock2.h>
#include <windows.h>
#include <process.h>

#include "NetPlatform.h"

namespace vexolib::net {

Mutex::Mutex() : impl_(new CRITICAL_SECTION) { InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }
Mutex::~Mutex() {
  DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(impl_));
  delete static_cast<CRITICAL_SECTION*>(impl_);
}
void Mutex::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }
void Mutex::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }

Semaphore::Semaphore(int initial, int maximum) : impl_(CreateSemaphoreW(nullptr, initial, maximum, nullptr)) {}
Semaphore::~Semaphore() { CloseHandle(static_cast<HANDLE>(impl_)); }
bool Semaphore::wait(int timeoutMs) {
  return WaitForSingleObject(static_cast<HANDLE>(impl_), timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) ==
         WAIT_OBJECT_0;
}
void Semaphore::post() { ReleaseSemaphore(static_cast<HANDLE>(impl_), 1, nullptr); }

namespace {
struct Start {
  ThreadFn fn;
  void* arg;
};
unsigned __stdcall threadMain(void* p) {
  Start s = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  s.fn(s.arg);
  return 0;
}
}  // namespace

uintptr_t startThread(ThreadFn fn, void* arg, unsigned stackSize) {
  auto* s = new Start{fn, arg};
  uintptr_t h = _beginthreadex(nullptr, stackSize, threadMain, s,
                               stackSize ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, nullptr);
  if (!h) delete s;
  return h;
}

void joinThread(uintptr_t thread) {
  if (!thread) return;
  WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
  CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void sleepMs(int ms) { Sleep(static_cast<DWORD>(ms)); }

int64_t nowMicros() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<int64_t>(c.QuadPart / freq.QuadPart * 1000000 + c.QuadPart % freq.QuadPart * 1000000 / freq.QuadPart);
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

bool startup() {
  WSADATA d;
  return WSAStartup(MAKEWORD(2, 2), &d) == 0;
}

Sock tcp() {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == INVALID_SOCKET ? kNoSock : static_cast<Sock>(s);
}

void closeSock(Sock s) {
  if (s == kNoSock) return;
  ::shutdown(static_cast<SOCKET>(s), SD_BOTH);
  ::closesocket(static_cast<SOCKET>(s));
}

bool setNonBlocking(Sock s) {
  u_long on = 1;
  return ::ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &on) == 0;
}

bool setReuseAddr(Sock s) {
  BOOL on = TRUE;
  return ::setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

bool bindListen(Sock s, uint32_t ipHost, uint16_t port, int backlog) {
  sockaddr_in a = ipv4(ipHost, port);
  if (::bind(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
  return ::listen(static_cast<SOCKET>(s), backlog) == 0;
}

Sock acceptOne(Sock s, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  int n = sizeof a;
  SOCKET c = ::accept(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), &n);
  if (c == INVALID_SOCKET) return kNoSock;
  *ip = ntohl(a.sin_addr.s_addr);
  *port = ntohs(a.sin_port);
  return static_cast<Sock>(c);
}

bool connectStart(Sock s, uint32_t ipHost, uint16_t port) {
  sockaddr_in a = ipv4(ipHost, port);
  if (::connect(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return true;
  return WSAGetLastError() == WSAEWOULDBLOCK;
}

bool waitConnected(Sock s, int timeoutMs) {
  if (timeoutMs < 0) timeoutMs = 0;
  fd_set w, e;
  FD_ZERO(&w);
  FD_ZERO(&e);
  FD_SET(static_cast<SOCKET>(s), &w);
  FD_SET(static_cast<SOCKET>(s), &e);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  if (::select(0, nullptr, &w, &e, &tv) <= 0 || !FD_ISSET(static_cast<SOCKET>(s), &w)) return false;
  int err = -1;
  int n = sizeof err;
  return ::getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &n) == 0 &&
         err == 0;
}

int recvSome(Sock s, void* buf, int len) { return ::recv(static_cast<SOCKET>(s), static_cast<char*>(buf), len, 0); }
int sendSome(Sock s, const void* buf, int len) {
  return ::send(static_cast<SOCKET>(s), static_cast<const char*>(buf), len, 0);
}
int lastError() { return WSAGetLastError(); }
bool wouldBlock(int err) { return err == WSAEWOULDBLOCK; }

uint16_t localPort(Sock s) {
  sockaddr_in a{};
  int n = sizeof a;
  if (::getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), &n) != 0 || a.sin_family != AF_INET) return 0;
  return ntohs(a.sin_port);
}

bool peer(Sock s, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  int n = sizeof a;
  if (::getpeername(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), &n) != 0 || a.sin_family != AF_INET)
    return false;
  *ip = ntohl(a.sin_addr.s_addr);
  *port = ntohs(a.sin_port);
  return true;
}

Sock makeWaker() {
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return kNoSock;
  sockaddr_in a = ipv4(INADDR_LOOPBACK, 0);
  int n = sizeof a;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) != 0 ||
      ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !setNonBlocking(static_cast<Sock>(s))) {
    ::closesocket(s);
    return kNoSock;
  }
  return static_cast<Sock>(s);
}

void wake(Sock waker) {
  const char b = 1;
  if (waker != kNoSock) ::send(static_cast<SOCKET>(waker), &b, 1, 0);
}

void drainWaker(Sock waker) {
  char b[64];
  while (waker != kNoSock && ::recv(static_cast<SOCKET>(waker), b, sizeof b, 0) > 0) {
  }
}

int waitReady(const std::vector<Sock>& rd, const std::vector<Sock>& wr, std::vector<uint8_t>& rdReady,
              std::vector<uint8_t>& wrReady, int timeoutMs) {
  static thread_local fd_set r, w;
  FD_ZERO(&r);
  FD_ZERO(&w);
  for (size_t i = 0; i < rd.size() && i < FD_SETSIZE; ++i) FD_SET(static_cast<SOCKET>(rd[i]), &r);
  for (size_t i = 0; i < wr.size() && i < FD_SETSIZE; ++i) FD_SET(static_cast<SOCKET>(wr[i]), &w);
  rdReady.assign(rd.size(), 0);
  wrReady.assign(wr.size(), 0);
  if (rd.empty() && wr.empty()) {
    sleepMs(timeoutMs);
    return 0;
  }
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int n = ::select(0, rd.empty() ? nullptr : &r, wr.empty() ? nullptr : &w, nullptr, &tv);
  if (n <= 0) return n;
  for (size_t i = 0; i < rd.size(); ++i)
    if (FD_ISSET(static_cast<SOCKET>(rd[i]), &r)) rdReady[i] = 1;
  for (size_t i = 0; i < wr.size(); ++i)
    if (FD_ISSET(static_cast<SOCKET>(wr[i]), &w)) wrReady[i] = 1;
  return n;
}
}  // namespace sock
}  // namespace vexolib::net
