// What differs between Winsock 2 and BSD sockets, as far as the socket calls
// need: headers, the native handle and length types, and the few calls that
// are spelled differently. Included only by the socket-call sources.
#pragma once
#if defined(_WIN32)
#ifndef FD_SETSIZE
#define FD_SETSIZE 1025  // room for the loop's 1024 sockets and its wake socket
#endif
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "SocketCalls.h"

namespace vexolib::net::sock::compat {

#if defined(_WIN32)
using Native = SOCKET;
using Length = int;
constexpr Native kInvalid = INVALID_SOCKET;
constexpr int kShutBoth = SD_BOTH;
constexpr int kSendFlags = 0;
inline int error() { return WSAGetLastError(); }
inline int closeNative(Native s) { return ::closesocket(s); }
inline bool nonBlocking(Native s) {
  u_long on = 1;
  return ::ioctlsocket(s, FIONBIO, &on) == 0;
}
inline bool wouldBlockError(int err) { return err == WSAEWOULDBLOCK; }
inline bool connectUnderWay(int err) { return err == WSAEWOULDBLOCK; }
#else
using Native = int;
using Length = socklen_t;
constexpr Native kInvalid = -1;
constexpr int kShutBoth = SHUT_RDWR;
constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed peer is an error result, not a signal
inline int error() { return errno; }
inline int closeNative(Native s) { return ::close(s); }
inline bool nonBlocking(Native s) {
  const int flags = ::fcntl(s, F_GETFL, 0);
  return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
inline bool wouldBlockError(int err) { return err == EWOULDBLOCK || err == EAGAIN || err == EINTR; }
inline bool connectUnderWay(int err) { return err == EINPROGRESS || err == EWOULDBLOCK; }
#endif

inline Native native(Sock s) { return static_cast<Native>(s); }

}  // namespace vexolib::net::sock::compat
