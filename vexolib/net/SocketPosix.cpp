// Waiting on sockets with poll: the host build.
#include <cerrno>

#include "SocketCompat.h"
#include "base/Thread.h"

namespace vexolib::net::sock {

bool waitConnected(Sock s, int timeoutMs) {
  pollfd p{compat::native(s), POLLOUT, 0};
  int r;
  do {
    r = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return false;
  int err = -1;
  socklen_t n = sizeof err;
  return ::getsockopt(compat::native(s), SOL_SOCKET, SO_ERROR, &err, &n) == 0 && err == 0;
}

// poll instead of select: descriptors above FD_SETSIZE stay safe on the host.
int waitReady(const std::vector<Sock>& rd, const std::vector<Sock>& wr, std::vector<uint8_t>& rdReady,
              std::vector<uint8_t>& wrReady, int timeoutMs) {
  thread_local std::vector<pollfd> fds;
  fds.clear();
  for (Sock s : rd) fds.push_back(pollfd{compat::native(s), POLLIN, 0});
  for (Sock s : wr) fds.push_back(pollfd{compat::native(s), POLLOUT, 0});
  rdReady.assign(rd.size(), 0);
  wrReady.assign(wr.size(), 0);
  if (fds.empty()) {
    vekt::base::sleepMs(static_cast<uint32_t>(timeoutMs));
    return 0;
  }
  const int r = ::poll(fds.data(), fds.size(), timeoutMs);
  if (r <= 0) return r;
  int n = 0;
  for (size_t i = 0; i < rd.size(); ++i)
    if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) rdReady[i] = 1, ++n;
  for (size_t i = 0; i < wr.size(); ++i)
    if (fds[rd.size() + i].revents & (POLLOUT | POLLHUP | POLLERR)) wrReady[i] = 1, ++n;
  return n;
}

}  // namespace vexolib::net::sock
