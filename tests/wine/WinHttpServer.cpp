#include <winsock2.h>
#include <ws2tcpip.h>

#include "winhttpserver.h"

namespace winhttp {
namespace {

struct Loopback {
  sockaddr_in address{};
  Loopback() {
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  sockaddr* any() { return reinterpret_cast<sockaddr*>(&address); }
};

// Up to the blank line that ends the request's head (bounded).
void readRequest(SOCKET client) {
  std::string head;
  char chunk[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const int n = recv(client, chunk, sizeof chunk, 0);
    if (n <= 0) return;
    head.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace

LoopbackServer::LoopbackServer(int status, const char* reason)
    : status_(status), reason_(reason), listener_(INVALID_SOCKET) {
  InitializeCriticalSection(&lock_);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  listener_ = listener;
  Loopback loopback;
  int length = sizeof loopback.address;
  if (listener == INVALID_SOCKET || bind(listener, loopback.any(), sizeof loopback.address) != 0 ||
      listen(listener, 16) != 0 || getsockname(listener, loopback.any(), &length) != 0) {
    return;
  }
  port_ = ntohs(loopback.address.sin_port);
  thread_ = CreateThread(nullptr, 0, serve, this, 0, nullptr);
}

LoopbackServer::~LoopbackServer() {
  closesocket(static_cast<SOCKET>(listener_));  // ends accept()
  if (thread_) {
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
  }
  for (uintptr_t s : held_) closesocket(static_cast<SOCKET>(s));
  DeleteCriticalSection(&lock_);
  WSACleanup();
}

int LoopbackServer::connections() const {
  EnterCriticalSection(&lock_);
  const int n = connections_;
  LeaveCriticalSection(&lock_);
  return n;
}

unsigned short LoopbackServer::refusedPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  Loopback loopback;
  int length = sizeof loopback.address;
  bind(s, loopback.any(), sizeof loopback.address);
  getsockname(s, loopback.any(), &length);
  closesocket(s);
  WSACleanup();
  return ntohs(loopback.address.sin_port);
}

DWORD WINAPI LoopbackServer::serve(void* self) {
  static_cast<LoopbackServer*>(self)->run();
  return 0;
}

void LoopbackServer::run() {
  for (;;) {
    const SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    EnterCriticalSection(&lock_);
    ++connections_;
    if (status_ == 0) held_.push_back(client);
    LeaveCriticalSection(&lock_);
    if (status_ == 0) continue;
    readRequest(client);
    const std::string body = "<html><body>" + std::to_string(status_) + "</body></html>";
    const std::string answer = "HTTP/1.1 " + std::to_string(status_) + " " + reason_ +
                               "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body;
    send(client, answer.data(), static_cast<int>(answer.size()), 0);
    shutdown(client, SD_SEND);
    closesocket(client);
  }
}

}  // namespace winhttp
