// Drives vexolib.dll the way a game does: a log category written through the
// flush thread into a file, then a server and a client connection that echo a
// message over loopback. Usage: demo_vexolib <build folder> <output folder>
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "winport.h"

namespace {

using NewLogAgentFn = void*(__cdecl*)();
using InitFn = intptr_t(__cdecl*)(void*);
using SetCatagoryFn = void(__cdecl*)(void*, const char*, const char*, int, int);
using Printf2Fn = void(__cdecl*)(void*, int, const char*, ...);
using StopFn = void(__cdecl*)(void*);
using DestroyFn = void(__cdecl*)();

template <typename T>
T bind(HMODULE dll, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

std::wstring windowsPath(const wchar_t* unixOrWindows) {
  std::wstring p(unixOrWindows);
  if (!p.empty() && p[0] == L'/') p = L"Z:" + p;
  for (auto& c : p) {
    if (c == L'/') c = L'\\';
  }
  return p;
}

std::string narrow(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
  return s;
}

// The game's network functions: every event goes to the trace file; the server end echoes.
FILE* g_trace = stdout;
using SendFn = bool(__cdecl*)(void*, int32_t, const void*, int32_t);
SendFn netSend;
int32_t serverSide = -1;
int32_t clientSide = -1;
bool echoed = false;

void __cdecl onAccept(uint32_t listenPort, int32_t id, uint32_t ip, uint32_t port) {
  serverSide = id;
  std::fprintf(g_trace, "  onAccept: listener port %u, connection %d from %u.%u.%u.%u:%u\n", listenPort & 0xFFFF, id, ip >> 24,
              (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF, port & 0xFFFF);
}
void __cdecl onRecv(int32_t id, const uint8_t* data, int32_t length) {
  std::fprintf(g_trace, "  onRecv: connection %d, %d bytes: \"%.*s\"\n", id, length, length, reinterpret_cast<const char*>(data));
  if (id == serverSide)
    netSend(nullptr, id, data, length);
  else
    echoed = true;
}
void __cdecl onDisconnect(int32_t id) { std::fprintf(g_trace, "  onDisconnect: connection %d\n", id); }
void __cdecl onConnect(uint32_t ok, int32_t request, int32_t id, uint32_t, uint32_t) {
  std::fprintf(g_trace, "  onConnect: request %d %s, connection %d\n", request, (ok & 0xFF) ? "ok" : "failed", id);
  if (ok & 0xFF) clientSide = id;
}

int networkDemo(HMODULE dll) {
  using AcceptFn = void(__cdecl*)(uint32_t, int32_t, uint32_t, uint32_t);
  using RecvFn = void(__cdecl*)(int32_t, const uint8_t*, int32_t);
  using DisconnectFn = void(__cdecl*)(int32_t);
  using ConnectFn = void(__cdecl*)(uint32_t, int32_t, int32_t, uint32_t, uint32_t);
  auto init = bind<void*(__cdecl*)(void*)>(dll, "NetworkManager_Init");
  auto reg =
      bind<void*(__cdecl*)(void*, AcceptFn, RecvFn, DisconnectFn, ConnectFn)>(dll, "NetworkManager_RegisterCallback");
  auto start = bind<void(__cdecl*)()>(dll, "NetworkManager_Start");
  auto update = bind<void(__cdecl*)()>(dll, "NetworkManager_Update");
  auto stop = bind<void(__cdecl*)()>(dll, "NetworkManager_Stop");
  auto listen = bind<bool(__cdecl*)(void*, int32_t, int32_t, int32_t*, const char*)>(dll, "NetworkManager_Listen");
  auto connectAsyn =
      bind<bool(__cdecl*)(void*, const char*, int32_t, int32_t*, int32_t)>(dll, "NetworkManager_ConnectAsyn");
  auto disconnect = bind<void(__cdecl*)(void*, int32_t)>(dll, "NetworkManager_Disconnect");
  netSend = bind<SendFn>(dll, "NetworkManager_Send");
  if (!init || !reg || !start || !update || !stop || !listen || !connectAsyn || !disconnect || !netSend) {
    std::printf("NetworkManager_ exports missing\n");
    return 1;
  }
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  void* manager = reg(init(nullptr), onAccept, onRecv, onDisconnect, onConnect);
  start();
  const uint16_t port = winport::unusedLoopbackPort();
  int32_t listener = -1, request = -1;
  std::fprintf(g_trace, "listening on 127.0.0.1:%u, connecting in the background\n", port);
  if (!listen(manager, port, 8, &listener, "127.0.0.1") || !connectAsyn(manager, "127.0.0.1", port, &request, 3000)) {
    std::printf("  listen or connect refused\n");
    stop();
    return 1;
  }
  bool sent = false;
  for (int frame = 0; frame < 400 && !echoed; ++frame) {
    update();  // once per game frame
    if (!sent && clientSide >= 0) {
      const char hello[] = "hello over loopback";
      sent = netSend(manager, clientSide, hello, sizeof hello - 1);
    }
    Sleep(5);
  }
  disconnect(manager, clientSide);
  for (int frame = 0; frame < 40; ++frame) {
    update();
    Sleep(5);
  }
  stop();
  WSACleanup();
  return echoed ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: demo_vexolib <build folder> <output folder>\n");
    return 2;
  }
  const std::wstring build = windowsPath(argv[1]);
  const std::wstring out = windowsPath(argv[2]);
  HMODULE dll = LoadLibraryW((build + L"\\vexolib\\vexolib.dll").c_str());
  if (!dll) {
    std::printf("vexolib.dll not loaded (%lu)\n", GetLastError());
    return 1;
  }
  auto newAgent = bind<NewLogAgentFn>(dll, "LogManager_NewLogAgent");
  auto init = bind<InitFn>(dll, "LogManager_Init");
  auto setCategory = bind<SetCatagoryFn>(dll, "LogManager_SetCatagory");
  auto printf2 = bind<Printf2Fn>(dll, "LogManager_printf2");
  auto stop = bind<StopFn>(dll, "LogManager_Stop");
  auto destroy = bind<DestroyFn>(dll, "LogManager_Destroy");
  if (!newAgent || !init || !setCategory || !printf2 || !stop || !destroy) {
    std::printf("LogManager_ exports missing\n");
    return 1;
  }

  const std::wstring logFile = out + L"\\vexolib_logs\\game.log";
  void* agent = newAgent();
  setCategory(agent, "game", narrow(logFile).c_str(), 0, 1);
  init(agent);
  for (int level = 0; level < 6; ++level) printf2(agent, level, "demo line at level %d, frame %d", level, 100 + level);
  stop(agent);
  destroy();  // the flush thread writes out what is still buffered

  const std::wstring tracePath = out + L"\\vexolib_network.txt";
  if (FILE* trace = _wfopen(tracePath.c_str(), L"w")) g_trace = trace;
  const int rc = networkDemo(dll);
  if (g_trace != stdout) std::fclose(g_trace);
  FreeLibrary(dll);
  std::printf("vexolib.dll: 6 log lines in %s; a message %s over loopback (events in %s)\n", narrow(logFile).c_str(),
              rc == 0 ? "echoed" : "NOT echoed", narrow(tracePath).c_str());
  return rc;
}
