// The NetworkManager_ exports of vexolib: C linkage, C calling convention.
// Handles passed first are accepted and ignored; bool results are one byte.
#pragma once
#include <cstdint>

#include "../vexolib_api.h"

extern "C" {
typedef void(VEXOLIB_CALL* NetworkAcceptFn)(uint32_t listenPort, int32_t connectionId, uint32_t ip, uint32_t port);
typedef void(VEXOLIB_CALL* NetworkRecvFn)(int32_t connectionId, const uint8_t* data, int32_t length);
typedef void(VEXOLIB_CALL* NetworkDisconnectFn)(int32_t connectionId);
typedef void(VEXOLIB_CALL* NetworkConnectFn)(uint32_t ok, int32_t requestId, int32_t connectionId, uint32_t ip,
                                             uint32_t port);
}

VEXOLIB_API void* VEXOLIB_CALL NetworkManager_Init(void* value);
VEXOLIB_API void* VEXOLIB_CALL NetworkManager_RegisterCallback(void* handle, NetworkAcceptFn onAccept,
                                                               NetworkRecvFn onRecv, NetworkDisconnectFn onDisconnect,
                                                               NetworkConnectFn onConnect);
VEXOLIB_API void VEXOLIB_CALL NetworkManager_Start();
VEXOLIB_API void VEXOLIB_CALL NetworkManager_Update();
VEXOLIB_API void VEXOLIB_CALL NetworkManager_Stop();
VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Listen(void* handle, int32_t port, int32_t backlog, int32_t* id,
                                                    const char* bindAddress);
VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Connect(void* handle, uint32_t ip, int32_t port, int32_t* id,
                                                     int32_t timeout);
VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsynByDotted(void* handle, const char* dotted, int32_t port,
                                                                 int32_t* requestId, int32_t timeout);
VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsyn(void* handle, const char* dotted, int32_t port,
                                                         int32_t* requestId, int32_t timeout);
VEXOLIB_API bool VEXOLIB_CALL NetworkManager_ConnectAsynByWithDns(void* handle, const char* host, int32_t port,
                                                                  int32_t* requestId, int32_t timeout);
VEXOLIB_API bool VEXOLIB_CALL NetworkManager_Send(void* handle, int32_t id, const void* data, int32_t length);
VEXOLIB_API void VEXOLIB_CALL NetworkManager_Disconnect(void* handle, int32_t id);
VEXOLIB_API const char* VEXOLIB_CALL NetworkManager_GetPeerName(void* handle, int32_t id);
VEXOLIB_API const char* VEXOLIB_CALL NetworkManager_GetErrorString();
VEXOLIB_API void VEXOLIB_CALL NetworkManager_CleanError();
VEXOLIB_API void VEXOLIB_CALL NetworkManager_SetFrameDealCount(int32_t count);
VEXOLIB_API void VEXOLIB_CALL NetworkManager_SetPaused(int32_t paused);
