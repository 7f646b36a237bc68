// Exports of the network manager. The manager is created by the first call.
// Every body runs through the export guard: nothing thrown inside (no
// memory, a game function that throws) crosses an export; the call gives
// its failure result instead.
#include "NetExports.h"

#include "NetworkManager.h"
#include "base/Guard.h"

using vekt::base::guardedCall;
using vexolib::net::NetworkManager;
using vexolib::net::SocketLoop;

namespace {
NetworkManager& manager() { return vexolib::net::theManager(); }
}  // namespace

VEXOLIB_API void* VEXOLIB_CALL NetworkManager_Init(void* value) {
  guardedCall([] { manager(); });
  return value;
}

VEXOLIB_API void* VEXOLIB_CALL NetworkManager_RegisterCallback(void*, NetworkAcceptFn onAccept, NetworkRecvFn onRecv,
                                                               NetworkDisconnectFn onDisconnect,
                                                               NetworkConnectFn onConnect) {
  return guardedCall<void*>(nullptr, [&] {
    NetworkManager& m = manager();
    m.registerCallback(onAccept, onRecv, onDisconnect, onConnect);
    return &m;
  });
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_Start() {
  guardedCall([] { manager().service().start(); });
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_Update() {
  guardedCall([] { manager().service().update(); });
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_Stop() {
  guardedCall([] { manager().stop(); });
}

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Listen(void*, int32_t port, int32_t backlog, int32_t* id,
                                                    const char* bindAddress) {
  return guardedCall(false, [&] {
    const int32_t got = manager().service().loop().listen(static_cast<uint16_t>(port), backlog, bindAddress);
    if (got == SocketLoop::kNoId) return false;
    if (id) *id = got;
    return true;
  });
}

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Connect(void*, uint32_t ip, int32_t port, int32_t* id, int32_t timeout) {
  return guardedCall(false, [&] {
    const int32_t got = manager().service().loop().connect(ip, static_cast<uint16_t>(port), timeout);
    if (got == SocketLoop::kNoId) return false;
    if (id) *id = got;
    return true;
  });
}

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsynByDotted(void*, const char* dotted, int32_t port,
                                                                 int32_t* requestId, int32_t timeout) {
  return guardedCall(false, [&] { return manager().service().connectAsyncDotted(dotted, port, requestId, timeout); });
}

// One function under two names. GCC wants the alias to repeat the nothrow it infers for the
// target; clang reads that attribute as a noexcept the header's declaration lacks.
#if defined(__clang__)
#define VEXOLIB_ALIAS_OF(target) __attribute__((alias(target)))
#else
#define VEXOLIB_ALIAS_OF(target) __attribute__((nothrow, alias(target)))
#endif
VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsyn(void* handle, const char* dotted, int32_t port,
                                                         int32_t* requestId, int32_t timeout)
    VEXOLIB_ALIAS_OF("NetworkManager_ConnectAsynByDotted");

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsynByWithDns(void*, const char* host, int32_t port,
                                                                  int32_t* requestId, int32_t timeout) {
  return guardedCall(false, [&] { return manager().service().connectAsyncText(host, port, requestId, timeout); });
}

VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Send(void*, int32_t id, const void* data, int32_t length) {
  return guardedCall(false, [&] { return manager().service().loop().send(id, data, length); });
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_Disconnect(void*, int32_t id) {
  guardedCall([&] { manager().service().loop().queueClose(id); });
}

VEXOLIB_API const char* VEXOLIB_CALL NetworkManager_GetPeerName(void*, int32_t id) {
  return guardedCall<const char*>(nullptr, [&] { return manager().service().loop().peerName(id); });
}

VEXOLIB_API const char* VEXOLIB_CALL NetworkManager_GetErrorString() {
  return guardedCall<const char*>("", [] { return manager().errorText(); });
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_CleanError() {
  guardedCall([] { manager().service().loop().clearError(); });
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_SetFrameDealCount(int32_t count) {
  guardedCall([&] { manager().service().setFrameDealCount(count); });
}

VEXOLIB_API void VEXOLIB_CALL NetworkManager_SetPaused(int32_t paused) {
  guardedCall([&] { manager().service().setPaused(paused > 0); });
}
