// The socket calls of the network manager: non-blocking IPv4 TCP sockets, a
// wake socket and the wait on many sockets. SocketCalls.cpp holds what
// Winsock 2 and BSD sockets share (behind SocketCompat.h); SocketWin.cpp
// waits with select, SocketPosix.cpp with poll.
#pragma once
#include <cstdint>
#include <vector>

namespace vexolib::net {

// Sockets: a handle wide enough for SOCKET on either pointer size; -1 when none.
using Sock = intptr_t;
constexpr Sock kNoSock = -1;

namespace sock {
bool startup();  // Winsock 2.2 on Windows, nothing elsewhere
Sock tcp();
void closeSock(Sock s);  // shuts down both directions and closes
bool setNonBlocking(Sock s);
bool setReuseAddr(Sock s);
bool bindListen(Sock s, uint32_t ipHost, uint16_t port, int backlog);
// Accepts one connection; kNoSock when none. ip and port in host byte order.
Sock acceptOne(Sock s, uint32_t* ip, uint16_t* port);
// Starts a connect; true when it is under way or done.
bool connectStart(Sock s, uint32_t ipHost, uint16_t port);
// Waits until s is writable, at most timeoutMs; true when it is and SO_ERROR is 0.
bool waitConnected(Sock s, int timeoutMs);
int recvSome(Sock s, void* buf, int len);
int sendSome(Sock s, const void* buf, int len);
int lastError();
bool wouldBlock(int err);
bool peer(Sock s, uint32_t* ip, uint16_t* port);
// The local port a socket is bound to; 0 when it cannot be read.
uint16_t localPort(Sock s);
// Dotted text of an address (host byte order) in a per-thread buffer.
const char* dotted(uint32_t ipHost);
// Parses a dotted IPv4 address; false when the text is not one.
bool parseDotted(const char* text, uint32_t* ipHost);
// A socket that only serves to wake a waiting waitReady(): a UDP socket on
// loopback connected to itself. kNoSock when it cannot be made.
Sock makeWaker();
void wake(Sock waker);
void drainWaker(Sock waker);
// Waits up to timeoutMs for any socket of the two lists; marks the ready ones
// in the flag vectors (same sizes as the lists). Returns the number ready, <0 on error.
int waitReady(const std::vector<Sock>& rd, const std::vector<Sock>& wr, std::vector<uint8_t>& rdReady,
              std::vector<uint8_t>& wrReady, int timeoutMs);
}  // namespace sock

}  // namespace vexolib::net
