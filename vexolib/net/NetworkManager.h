// The network service behind the NetworkManager_ exports: the job queue the
// socket loop fills, background connects on two worker threads, and the
// per-frame delivery of events to the game's registered functions.
#pragma once
#include <atomic>
#include <cstdint>

#include "Jobs.h"
#include "MsgMem.h"
#include "NetSync.h"
#include "SocketCalls.h"
#include "base/Thread.h"
#include "SocketLoop.h"

namespace vexolib::net {

struct ConnectRequest {
  int32_t requestId = 0;
  uint32_t ip = 0;  // host byte order
  char host[64] = {};
  uint16_t port = 0;
  int32_t timeout = 0;
  uint8_t byText = 0;
  uint32_t generation = 0;  // of the socket loop when the game asked
};

struct ConnectResult {
  int32_t requestId = 0;
  uint32_t ip = 0;
  uint16_t port = 0;
  uint8_t ok = 0;
  int32_t connectionId = 0;
  uint64_t serial = 0;  // of the connection's handler, which waits to be read until the game is told
  uint32_t generation = 0;
};

class NetworkService {
 public:
  static constexpr int32_t kConnectQueueCapacity = 256;
  static constexpr unsigned kWorkerStackBytes = 102400;
  static constexpr int64_t kUpdateBudgetMicros = 8000;

  NetworkService(INetworkCallback* forwarder, int32_t maxMessageLength);
  ~NetworkService();
  NetworkService(const NetworkService&) = delete;
  NetworkService& operator=(const NetworkService&) = delete;

  void start() { loop_.start(); }
  void update();
  void stop();
  // Background connect; false for text that is not a dotted address (no id
  // taken) and for a full request queue (the id is used up).
  bool connectAsyncDotted(const char* dotted, int32_t port, int32_t* requestId, int32_t timeout);
  bool connectAsyncText(const char* host, int32_t port, int32_t* requestId, int32_t timeout);

  SocketLoop& loop() { return loop_; }
  JobQueue& jobs() { return jobs_; }
  void setFrameDealCount(int32_t n) { frameDealCount_ = n; }
  void setPaused(bool p) { paused_ = p; }
  bool paused() const { return paused_; }
  bool workersRunning() const { return workersRunning_.load(); }

 private:
  bool submit(ConnectRequest& request, int32_t* requestId);
  // False when no worker thread could be started.
  bool startWorkers();
  void runWorker();

  JobQueue jobs_;
  SocketLoop loop_;
  INetworkCallback* sink_;
  DefaultCallback defaultSink_;
  int32_t requestCounter_ = 0;
  BoundedQueue<ConnectRequest> requests_{kConnectQueueCapacity};
  BoundedQueue<ConnectResult> results_{kConnectQueueCapacity};
  vekt::base::Thread workers_[2];
  // Counts its signals, so the two made by stop() wake both workers.
  Semaphore wake_{0, 999999};
  std::atomic<bool> workersRunning_{false};
  int32_t frameDealCount_ = 10;
  bool paused_ = false;
};

// The game's four functions; C calling convention, every argument in a
// 32-bit slot (bool and uint16 in the low bits).
#if defined(_WIN32)
#define VEXOLIB_NET_GAME_CALL __cdecl
#else
#define VEXOLIB_NET_GAME_CALL
#endif
using OnAcceptFn = void(VEXOLIB_NET_GAME_CALL*)(uint32_t listenPort, int32_t connectionId, uint32_t ip, uint32_t port);
using OnRecvFn = void(VEXOLIB_NET_GAME_CALL*)(int32_t connectionId, const uint8_t* data, int32_t length);
using OnDisconnectFn = void(VEXOLIB_NET_GAME_CALL*)(int32_t connectionId);
using OnConnectFn = void(VEXOLIB_NET_GAME_CALL*)(uint32_t ok, int32_t requestId, int32_t connectionId, uint32_t ip,
                                                 uint32_t port);

class IEngineNetCallback : public INetworkCallback {};

class CallBackInterface final : public IEngineNetCallback {
 public:
  CallBackInterface() = default;
  CallBackInterface(OnAcceptFn a, OnRecvFn r, OnDisconnectFn d, OnConnectFn c)
      : accept_(a), recv_(r), disconnect_(d), connect_(c) {}
  void onAccept(uint16_t listenPort, int32_t connectionId, uint32_t ip, uint16_t port) override;
  void onRecv(int32_t connectionId, const uint8_t* data, int32_t length) override;
  void onDisconnect(int32_t connectionId) override;
  void onConnect(bool ok, int32_t requestId, int32_t connectionId, uint32_t ip, uint16_t port) override;

 private:
  OnAcceptFn accept_ = nullptr;
  OnRecvFn recv_ = nullptr;
  OnDisconnectFn disconnect_ = nullptr;
  OnConnectFn connect_ = nullptr;
};

class NetworkManager;

// Forwards every event to each registered record, in registration order.
class GsNetCallback final : public INetworkCallback {
 public:
  explicit GsNetCallback(NetworkManager& manager) : manager_(manager) {}
  void onAccept(uint16_t listenPort, int32_t connectionId, uint32_t ip, uint16_t port) override;
  void onRecv(int32_t connectionId, const uint8_t* data, int32_t length) override;
  void onDisconnect(int32_t connectionId) override;
  void onConnect(bool ok, int32_t requestId, int32_t connectionId, uint32_t ip, uint16_t port) override;

 private:
  NetworkManager& manager_;
};

class NetworkManager {
 public:
  static constexpr int kMaxCallbacks = 32;
  NetworkManager();
  ~NetworkManager() = default;

  // Appends a record while fewer than 32 exist; later ones are dropped.
  void registerCallback(OnAcceptFn a, OnRecvFn r, OnDisconnectFn d, OnConnectFn c);
  // Stops everything and forgets the registered functions.
  void stop();
  // The error text as of this call; stays put until the next call.
  const char* errorText();

  NetworkService& service() { return service_; }
  int callbackCount() const { return callbackCount_; }
  CallBackInterface& callback(int i) { return callbacks_[i]; }

  const int32_t maxMessageLength = kMaxMessageLength;

 private:
  GsNetCallback forwarder_;
  NetworkService service_;
  CallBackInterface callbacks_[kMaxCallbacks];
  int callbackCount_ = 0;
  char errorCopy_[256] = {};
};

// The process-wide manager, created on first use and never destroyed.
NetworkManager& theManager();

}  // namespace vexolib::net
