// A loopback TCP port nothing listens on right now, for the Windows test
// hosts and demos (Winsock started by the caller).
#pragma once
#include <winsock2.h>

#include <cstdint>

namespace winport {

inline uint16_t unusedLoopbackPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  closesocket(s);
  return ntohs(a.sin_port);
}

}  // namespace winport
