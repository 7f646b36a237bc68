// Waiting on sockets with select: the Windows build. The sets hold up to
// FD_SETSIZE (1025) sockets: the loop's 1024 and its wake socket.
#include "SocketCompat.h"
#include "base/Thread.h"

namespace vexolib::net::sock {

bool waitConnected(Sock s, int timeoutMs) {
  if (timeoutMs < 0) timeoutMs = 0;
  fd_set w, e;
  FD_ZERO(&w);
  FD_ZERO(&e);
  FD_SET(compat::native(s), &w);
  FD_SET(compat::native(s), &e);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  if (::select(0, nullptr, &w, &e, &tv) <= 0 || !FD_ISSET(compat::native(s), &w)) return false;
  int err = -1;
  int n = sizeof err;
  return ::getsockopt(compat::native(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &n) == 0 && err == 0;
}

int waitReady(const std::vector<Sock>& rd, const std::vector<Sock>& wr, std::vector<uint8_t>& rdReady,
              std::vector<uint8_t>& wrReady, int timeoutMs) {
  static thread_local fd_set r, w;
  FD_ZERO(&r);
  FD_ZERO(&w);
  for (size_t i = 0; i < rd.size() && i < FD_SETSIZE; ++i) FD_SET(compat::native(rd[i]), &r);
  for (size_t i = 0; i < wr.size() && i < FD_SETSIZE; ++i) FD_SET(compat::native(wr[i]), &w);
  rdReady.assign(rd.size(), 0);
  wrReady.assign(wr.size(), 0);
  if (rd.empty() && wr.empty()) {
    vekt::base::sleepMs(static_cast<uint32_t>(timeoutMs));
    return 0;
  }
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int n = ::select(0, rd.empty() ? nullptr : &r, wr.empty() ? nullptr : &w, nullptr, &tv);
  if (n <= 0) return n;
  for (size_t i = 0; i < rd.size(); ++i)
    if (FD_ISSET(compat::native(rd[i]), &r)) rdReady[i] = 1;
  for (size_t i = 0; i < wr.size(); ++i)
    if (FD_ISSET(compat::native(wr[i]), &w)) wrReady[i] = 1;
  return n;
}

}  // namespace vexolib::net::sock
