#include "NetworkManager.h"

#include <cstring>

namespace vexolib::net {

NetworkService::NetworkService(INetworkCallback* forwarder, int32_t maxMessageLength)
    : loop_(jobs_, maxMessageLength), sink_(forwarder ? forwarder : &defaultSink_) {}

NetworkService::~NetworkService() { stop(); }

void NetworkService::update() {
  if (!paused_) {
    int32_t count = 0;
    int64_t startedAt = 0;
    bool first = true;
    Job* job = nullptr;
    while (jobs_.tryPop(job)) {
      if (first) {
        startedAt = vekt::base::monotonicMicros();
        first = false;
      }
      {
        // Released even when a game function throws: the message's buffer and
        // its place in the backlog are not lost.
        struct Release {
          Job* job;
          ~Release() { job->destroy(); }
        } release{job};
        job->dispatch(*sink_);
      }
      if (++count > frameDealCount_) {
        count = 0;
        if (vekt::base::monotonicMicros() - startedAt > kUpdateBudgetMicros) break;
      }
      if (paused_) break;
    }
  }
  // A connection made in the background is read only once the game has
  // heard of it, so its messages never come before its onConnect. A result
  // from before the last Stop is dropped: its connection was closed with
  // everything else, and its id may belong to a new one by now.
  const uint32_t generation = loop_.generation();
  ConnectResult result;
  while (results_.tryPop(result)) {
    if (result.generation != generation) continue;
    sink_->onConnect(result.ok != 0, result.requestId, result.connectionId, result.ip, result.port);
    if (result.ok) loop_.release(result.connectionId, result.serial);
  }
}

void NetworkService::stop() {
  if (workersRunning_.exchange(false)) {
    wake_.post();
    wake_.post();
    for (vekt::base::Thread& worker : workers_) worker.join();
  }
  loop_.stop();
  jobs_.clear();
}

bool NetworkService::connectAsyncDotted(const char* dotted, int32_t port, int32_t* requestId, int32_t timeout) {
  ConnectRequest request;
  if (!sock::parseDotted(dotted, &request.ip)) return false;
  request.port = static_cast<uint16_t>(port);
  request.timeout = timeout;
  request.byText = 0;
  return submit(request, requestId);
}

bool NetworkService::connectAsyncText(const char* host, int32_t port, int32_t* requestId, int32_t timeout) {
  if (!host) return false;
  ConnectRequest request;
  const size_t length = std::strlen(host);
  // Longer text cannot be an address; it is cut to the field and fails later.
  std::memcpy(request.host, host, length < sizeof request.host ? length : sizeof request.host - 1);
  if (!sock::parseDotted(host, &request.ip)) request.ip = 0xFFFFFFFFu;
  request.port = static_cast<uint16_t>(port);
  request.timeout = timeout;
  request.byText = 1;
  return submit(request, requestId);
}

bool NetworkService::submit(ConnectRequest& request, int32_t* requestId) {
  request.generation = loop_.generation();
  const bool workers = workersRunning_.load() || startWorkers();
  request.requestId = requestCounter_++;
  if (requestId) *requestId = request.requestId;
  // Without a worker nobody would ever answer the request.
  if (!workers || !requests_.tryPush(request)) return false;
  wake_.post();
  return true;
}

bool NetworkService::startWorkers() {
  workersRunning_.store(true);
  bool any = false;
  for (vekt::base::Thread& worker : workers_) {
    if (!worker.joinable()) worker.start([this] { runWorker(); }, kWorkerStackBytes);
    any |= worker.joinable();
  }
  if (!any) workersRunning_.store(false);
  return any;
}

void NetworkService::runWorker() {
  while (workersRunning_.load()) {
    ConnectRequest request;
    if (!requests_.tryPop(request)) {
      wake_.wait(1000);
      continue;
    }
    // Asked for before a Stop: the game no longer waits for it.
    if (request.generation != loop_.generation()) continue;
    ConnectResult result;
    result.requestId = request.requestId;
    result.generation = request.generation;
    result.ip = request.ip;
    result.port = request.port;
    uint32_t ip = request.ip;
    // Host names are not looked up: text must be a dotted address.
    const bool addressOk = request.byText == 0 || sock::parseDotted(request.host, &ip);
    const int32_t id = addressOk
                           ? loop_.connect(ip, request.port, request.timeout, true, &result.serial, request.generation)
                           : SocketLoop::kNoId;
    result.ok = id != SocketLoop::kNoId ? 1 : 0;
    result.connectionId = id;
    // Waits for room as long as the workers run: a game that stopped calling
    // Update must not keep Stop waiting for this thread forever.
    while (!results_.pushWait(result, 100)) {
      if (!workersRunning_.load()) return;
    }
  }
}

void CallBackInterface::onAccept(uint16_t listenPort, int32_t connectionId, uint32_t ip, uint16_t port) {
  if (accept_) accept_(listenPort, connectionId, ip, port);
}
void CallBackInterface::onRecv(int32_t connectionId, const uint8_t* data, int32_t length) {
  if (recv_) recv_(connectionId, data, length);
}
void CallBackInterface::onDisconnect(int32_t connectionId) {
  if (disconnect_) disconnect_(connectionId);
}
void CallBackInterface::onConnect(bool ok, int32_t requestId, int32_t connectionId, uint32_t ip, uint16_t port) {
  if (connect_) connect_(ok ? 1u : 0u, requestId, connectionId, ip, port);
}

void GsNetCallback::onAccept(uint16_t listenPort, int32_t connectionId, uint32_t ip, uint16_t port) {
  for (int i = 0; i < manager_.callbackCount(); ++i) manager_.callback(i).onAccept(listenPort, connectionId, ip, port);
}
void GsNetCallback::onRecv(int32_t connectionId, const uint8_t* data, int32_t length) {
  for (int i = 0; i < manager_.callbackCount(); ++i) manager_.callback(i).onRecv(connectionId, data, length);
}
void GsNetCallback::onDisconnect(int32_t connectionId) {
  for (int i = 0; i < manager_.callbackCount(); ++i) manager_.callback(i).onDisconnect(connectionId);
}
void GsNetCallback::onConnect(bool ok, int32_t requestId, int32_t connectionId, uint32_t ip, uint16_t port) {
  for (int i = 0; i < manager_.callbackCount(); ++i)
    manager_.callback(i).onConnect(ok, requestId, connectionId, ip, port);
}

NetworkManager::NetworkManager() : forwarder_(*this), service_(&forwarder_, kMaxMessageLength) {}

void NetworkManager::registerCallback(OnAcceptFn a, OnRecvFn r, OnDisconnectFn d, OnConnectFn c) {
  if (callbackCount_ >= kMaxCallbacks) return;
  callbacks_[callbackCount_++] = CallBackInterface(a, r, d, c);
}

void NetworkManager::stop() {
  service_.stop();
  callbackCount_ = 0;
}

const char* NetworkManager::errorText() {
  service_.loop().copyError(errorCopy_);
  return errorCopy_;
}

NetworkManager& theManager() {
  static NetworkManager* manager = new NetworkManager;
  return *manager;
}

}  // namespace vexolib::net
