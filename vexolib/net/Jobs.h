// Events of the socket loop on their way to the game: the sink interface and
// the three job kinds, each taken from its own pool.
#pragma once
#include <cstdint>

#include "NetPlatform.h"

namespace vnet {

class INetworkCallback {
 public:
  virtual ~INetworkCallback() = default;
  virtual void onAccept(uint16_t listenPort, int32_t connectionId, uint32_t ip, uint16_t port) = 0;
  virtual void onRecv(int32_t connectionId, const uint8_t* data, int32_t length) = 0;
  virtual void onDisconnect(int32_t connectionId) = 0;
  virtual void onConnect(bool ok, int32_t requestId, int32_t connectionId, uint32_t ip, uint16_t port) = 0;
};

class DefaultCallback : public INetworkCallback {
 public:
  void onAccept(uint16_t, int32_t, uint32_t, uint16_t) override {}
  void onRecv(int32_t, const uint8_t*, int32_t) override {}
  void onDisconnect(int32_t) override {}
  void onConnect(bool, int32_t, int32_t, uint32_t, uint16_t) override {}
};

class SocketLoop;

class Job {
 public:
  // Gives the job (and what it owns) back to its pool.
  virtual void destroy() = 0;
  virtual void dispatch(INetworkCallback& sink) = 0;

 protected:
  ~Job() = default;
};

// The peer address is read when the connection is accepted: by the time the
// game sees the job the socket may be closed and its number reused.
class JobAccept final : public Job {
 public:
  static JobAccept* create(int32_t connectionId, Sock socket, uint16_t listenPort, uint32_t peerIp, uint16_t peerPort);
  void destroy() override;
  void dispatch(INetworkCallback& sink) override;

  int32_t connectionId;
  Sock socket;
  uint16_t listenPort;
  uint32_t peerIp;
  uint16_t peerPort;
};

// Hands the connection id back for reuse once the game has seen the close
// (or the job was dropped), so no late event of an old connection can reach a
// new one that took its id.
class JobDisconect final : public Job {
 public:
  static JobDisconect* create(int32_t connectionId, SocketLoop* owner, uint32_t tableEpoch);
  void destroy() override;
  void dispatch(INetworkCallback& sink) override;

  int32_t connectionId;
  SocketLoop* owner;
  uint32_t tableEpoch;
};

class JobRecv final : public Job {
 public:
  // Takes over the MsgMem block.
  static JobRecv* create(char* data, int32_t length, int32_t connectionId);
  void destroy() override;
  void dispatch(INetworkCallback& sink) override;

  char* data;
  int32_t length;
  int32_t connectionId;
};

// Chunks currently held by each job pool (for tests).
int jobPoolChunks(const char* name);

}  // namespace vnet
