/*
 * vexolib: log manager (LogManager_) and network manager (NetworkManager_).
 *
 * Plain C (C89 and later) and C++. Every function has C linkage and the C
 * calling convention (__cdecl: the caller removes the arguments). Link
 * against vexolib.lib / vexolib.dll.a, or look the names up with
 * GetProcAddress and the *Proc typedefs below.
 *
 * Conventions of every export:
 * - No exception or crash crosses a call: a failure gives the result named
 *   on the function's line (NULL, -1, 0 or false) and nothing else happens.
 * - A flag argument takes a 32-bit slot of which only the low byte counts.
 * - vexolib_bool results are ONE byte (1 true, 0 false): read AL, not EAX.
 * - Memory handed back (texts, buffers) stays owned by the library.
 * - Texts are NUL-terminated byte strings; paths are UTF-8.
 */
#ifndef VEXOLIB_H
#define VEXOLIB_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VEXOLIB_CALL __cdecl
#else
#define VEXOLIB_CALL
#endif
/* The library's own build marks the declarations exported; callers leave it empty. */
#ifndef VEXOLIB_EXPORT
#define VEXOLIB_EXPORT
#endif

/* One byte wide in both languages; C89 has no bool of its own. */
#ifdef __cplusplus
typedef bool vexolib_bool;
#else
typedef unsigned char vexolib_bool;
#endif

/* Opaque records of the log manager. The library's own build names its types here. */
#ifndef VEXOLIB_LOG_AGENT
typedef struct VexolibLogAgent VexolibLogAgent;
typedef struct VexolibLogModule VexolibLogModule;
#define VEXOLIB_LOG_AGENT VexolibLogAgent
#define VEXOLIB_LOG_MODULE VexolibLogModule
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- log manager ------------------------------------------------------
 * Levels: 0 Critical, 1 Error, 2 Maintance, 3 Warning, 4 Info, 5 Debug.
 * A category target is "1" (standard output), "0" (nothing) or a file path.
 * Lines are written to their target by the library's flush thread every
 * 100 ms (at once for a category set to flush immediately). */

/* Creates an agent (no category, empty buffer); NULL when out of memory. */
VEXOLIB_EXPORT VEXOLIB_LOG_AGENT* VEXOLIB_CALL LogManager_NewLogAgent(void);
/* Creates the process's log module on first use and attaches the agent, registering its category; returns the module handle for a NULL agent (0 on failure), else the category index (0 for an unnamed agent, -1 when the 32-entry table is full or on failure). Pointer wide (32 bits in the shipped library). */
VEXOLIB_EXPORT intptr_t VEXOLIB_CALL LogManager_Init(VEXOLIB_LOG_AGENT* agent);
/* Names the agent's category and its target (UTF-8 path, "1" or "0"); registers it when the agent is attached. Does nothing if any pointer is NULL. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_SetCatagory(VEXOLIB_LOG_AGENT* agent, const char* name, const char* path, int32_t flushImmediately, int32_t keepOldFile);
/* Attaches the agent to a module handle from LogManager_Init(NULL) and registers its category; does nothing if either is NULL. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_SetLogModule(VEXOLIB_LOG_AGENT* agent, VEXOLIB_LOG_MODULE* module);
/* Releases the agent (its category stays); NULL is ignored. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_Stop(VEXOLIB_LOG_AGENT* agent);
/* Writes out everything buffered, closes every file and deletes the module; does nothing when there is none. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_Destroy(void);
/* Formats one line (printf rules) into the given category; nothing is written for a NULL agent or format, an unattached agent or a bad category. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_printf3(VEXOLIB_LOG_AGENT* agent, int32_t level, int32_t category, const char* format, ...);
/* Formats one line into the agent's own category; nothing is written on the same failures as LogManager_printf3. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_printf2(VEXOLIB_LOG_AGENT* agent, int32_t level, const char* format, ...);
/* Writes text as one line into the given category, unformatted; nothing is written for a NULL agent or text, an unattached agent or a bad category. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_print3(VEXOLIB_LOG_AGENT* agent, int32_t level, int32_t category, const char* text);
/* Writes text as one line into the agent's own category; nothing is written on the same failures as LogManager_print3. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_print2(VEXOLIB_LOG_AGENT* agent, int32_t level, const char* text);
/* Appends formatted text to the agent's private buffer; does nothing for a NULL agent or format, or when out of memory. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_buff_printf(VEXOLIB_LOG_AGENT* agent, const char* format, ...);
/* Writes the agent's buffer as one line of its category and empties it; does nothing for a NULL agent. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_commit_buff(VEXOLIB_LOG_AGENT* agent, int32_t level);
/* Empties the agent's buffer; does nothing for a NULL agent. */
VEXOLIB_EXPORT void VEXOLIB_CALL LogManager_clear_buff(VEXOLIB_LOG_AGENT* agent);
/* Returns the agent's buffer and stores its length in *length; NULL for an agent that never buffered; the constant "null" (length untouched) for a NULL agent. */
VEXOLIB_EXPORT const char* VEXOLIB_CALL LogManager_get_log_buff(VEXOLIB_LOG_AGENT* agent, int32_t* length);

/* ---- network manager --------------------------------------------------
 * IPv4 TCP; every message is length-prefixed on the wire. Socket work runs
 * on the library's threads. Events reach the game only inside
 * NetworkManager_Update, on the thread that calls it, through the functions
 * given to NetworkManager_RegisterCallback. The handle argument is accepted
 * and ignored. Ids (connections, listeners, requests) are int32. ip values
 * are IPv4 addresses in host byte order (127.0.0.1 is 0x7F000001). */

/* A listener accepted a connection. listenPort and port: only the low 16 bits count. */
typedef void(VEXOLIB_CALL* NetworkAcceptFn)(uint32_t listenPort, int32_t connectionId, uint32_t ip, uint32_t port);
/* One whole message arrived; data is valid only until the function returns. */
typedef void(VEXOLIB_CALL* NetworkRecvFn)(int32_t connectionId, const uint8_t* data, int32_t length);
/* A connection or listener was closed (by either side or after a socket error). */
typedef void(VEXOLIB_CALL* NetworkDisconnectFn)(int32_t connectionId);
/* A background connect finished; ok (low byte) tells whether connectionId is valid. port: low 16 bits. */
typedef void(VEXOLIB_CALL* NetworkConnectFn)(uint32_t ok, int32_t requestId, int32_t connectionId, uint32_t ip, uint32_t port);

/* Creates the manager on first use; returns value unchanged. */
VEXOLIB_EXPORT void* VEXOLIB_CALL NetworkManager_Init(void* value);
/* Adds a set of event functions (any may be NULL; up to 32 sets, later ones are dropped); returns an opaque non-NULL pointer, NULL on failure. The functions must stay callable until NetworkManager_Stop. */
VEXOLIB_EXPORT void* VEXOLIB_CALL NetworkManager_RegisterCallback(void* handle, NetworkAcceptFn onAccept, NetworkRecvFn onRecv, NetworkDisconnectFn onDisconnect, NetworkConnectFn onConnect);
/* Starts the socket thread when it is not running; no result. */
VEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_Start(void);
/* Delivers queued events to the registered functions, within about 8 ms per call (unless paused), then every finished background connect; no result. */
VEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_Update(void);
/* Stops the connect workers and the socket thread, closes every connection and listener without events, drops undelivered events and forgets the registered functions. */
VEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_Stop(void);
/* Listens on port (on every local address when bindAddress is NULL or no dotted address) and stores the listener's id in *id; false when the port cannot be bound. */
VEXOLIB_EXPORT vexolib_bool VEXOLIB_CALL NetworkManager_Listen(void* handle, int32_t port, int32_t backlog, int32_t* id, const char* bindAddress);
/* Connects, blocking the caller for up to timeout ms, and stores the connection's id in *id; false when the connect fails or times out. */
VEXOLIB_EXPORT vexolib_bool VEXOLIB_CALL NetworkManager_Connect(void* handle, uint32_t ip, int32_t port, int32_t* id, int32_t timeout);
/* Starts a background connect to a dotted IPv4 address, its request id in *requestId; false for text that is no dotted address (no id taken) or when 256 requests are pending (id used up). The result comes to onConnect. */
VEXOLIB_EXPORT vexolib_bool VEXOLIB_CALL NetworkManager_ConnectAsynByDotted(void* handle, const char* dotted, int32_t port, int32_t* requestId, int32_t timeout);
/* The same function as NetworkManager_ConnectAsynByDotted under a second name. */
VEXOLIB_EXPORT vexolib_bool VEXOLIB_CALL NetworkManager_ConnectAsyn(void* handle, const char* dotted, int32_t port, int32_t* requestId, int32_t timeout);
/* Starts a background connect from text; host names are not looked up, so text that is no dotted address reports ok 0 through onConnect. False only when 256 requests are pending. */
VEXOLIB_EXPORT vexolib_bool VEXOLIB_CALL NetworkManager_ConnectAsynByWithDns(void* handle, const char* host, int32_t port, int32_t* requestId, int32_t timeout);
/* Queues one message of length bytes (copied) on connection id; false for an unknown id or a listener, a negative length, no memory, or a connection whose unsent data has reached its bound (send again in a later frame). */
VEXOLIB_EXPORT vexolib_bool VEXOLIB_CALL NetworkManager_Send(void* handle, int32_t id, const void* data, int32_t length);
/* Asks the socket thread to close connection or listener id (onDisconnect follows); unknown ids are ignored. */
VEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_Disconnect(void* handle, int32_t id);
/* Returns the peer's dotted address of connection id; NULL for an unknown id or on failure. */
VEXOLIB_EXPORT const char* VEXOLIB_CALL NetworkManager_GetPeerName(void* handle, int32_t id);
/* Returns the socket thread's last error text (at most 255 characters), "" when there is none; never NULL. */
VEXOLIB_EXPORT const char* VEXOLIB_CALL NetworkManager_GetErrorString(void);
/* Empties the error text. */
VEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_CleanError(void);
/* Sets how many events (count + 1) Update delivers between two looks at its 8 ms budget. */
VEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_SetFrameDealCount(int32_t count);
/* Pauses event delivery for a value above 0, resumes it otherwise (finished connects are delivered either way). */
VEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_SetPaused(int32_t paused);

#ifdef __cplusplus
}
#endif

#endif /* VEXOLIB_H */
