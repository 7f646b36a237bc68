// Exports of the network manager. The manager is created by the first call;
// no exception crosses an export (a failure inside leaves the call without
// effect and gives its failure result).
#include "NetExports.h"

#include "NetworkManager.h"

namespace {
vexolib::net::NetworkManager* manager() {
  try {
    return &vexolib::net::theManager();
  } catch (...) {
    return nullptr;
  }
}
}  // namespace

VEXOLIB_API void* VEXOLIB_CALL NetworkManager_Init(void* value) {
  manager();
  return value;
}

VEXOLIB_API void* VEXOLIB_CALL NetworkManager_RegisterCallback(void*, NetworkAcceptFn onAccept, NetworkRecvFn onRecv,
                                                               NetworkDisconnectFn onDisconnect,
                                                               NetworkConnectFn onConnect) {
  vexolib::net::NetworkManager* m = manager();
  if (m) m->registerCallback(onAccept, onRecv, onDisconnect, onConnect);
  return m;
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_Start() {
  if (vexolib::net::NetworkManager* m = manager()) m->service().start();
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_Update() {
  if (vexolib::net::NetworkManager* m = manager()) m->service().update();
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_Stop() {
  if (vexolib::net::NetworkManager* m = manager()) m->stop();
}

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Listen(void*, int32_t port, int32_t backlog, int32_t* id,
                                                    const char* bindAddress) {
  vexolib::net::NetworkManager* m = manager();
  if (!m) return false;
  const int32_t got = m->service().loop().listen(static_cast<uint16_t>(port), backlog, bindAddress);
  if (got == vexolib::net::SocketLoop::kNoId) return false;
  if (id) *id = got;
  return true;
}

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Connect(void*, uint32_t ip, int32_t port, int32_t* id, int32_t timeout) {
  vexolib::net::NetworkManager* m = manager();
  if (!m) return false;
  const int32_t got = m->service().loop().connect(ip, static_cast<uint16_t>(port), timeout);
  if (got == vexolib::net::SocketLoop::kNoId) return false;
  if (id) *id = got;
  return true;
}

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsynByDotted(void*, const char* dotted, int32_t port,
                                                                 int32_t* requestId, int32_t timeout) {
  vexolib::net::NetworkManager* m = manager();
  return m && m->service().connectAsyncDotted(dotted, port, requestId, timeout);
}

// One function under two names.
VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsyn(void* handle, const char* dotted, int32_t port,
                                                         int32_t* requestId, int32_t timeout)
    __attribute__((alias("NetworkManager_ConnectAsynByDotted")));

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsynByWithDns(void*, const char* host, int32_t port,
                                                                  int32_t* requestId, int32_t timeout) {
  vexolib::net::NetworkManager* m = manager();
  return m && m->service().connectAsyncText(host, port, requestId, timeout);
}

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Send(void*, int32_t id, const void* data, int32_t length) {
  vexolib::net::NetworkManager* m = manager();
  return m && m->service().loop().send(id, data, length);
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_Disconnect(void*, int32_t id) {
  if (vexolib::net::NetworkManager* m = manager()) m->service().loop().queueClose(id);
}

VEXOLIB_API const char* VEXOLIB_CALL NetworkManager_GetPeerName(void*, int32_t id) {
  vexolib::net::NetworkManager* m = manager();
  return m ? m->service().loop().peerName(id) : nullptr;
}

VEXOLIB_API const char* VEXOLIB_CALL NetworkManager_GetErrorString() {
  vexolib::net::NetworkManager* m = manager();
  return m ? m->errorText() : "";
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_CleanError() {
  if (vexolib::net::NetworkManager* m = manager()) m->service().loop().clearError();
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_SetFrameDealCount(int32_t count) {
  if (vexolib::net::NetworkManager* m = manager()) m->service().setFrameDealCount(count);
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_SetPaused(int32_t paused) {
  if (vexolib::net::NetworkManager* m = manager()) m->service().setPaused(paused > 0);
}
