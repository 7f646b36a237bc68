// A stand-in for the game: loads vexolib.dll by path (no import library),
// finds the NetworkManager_ exports by name and runs a server and a client
// connection through them. Exit code 0 means every check passed.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "NetFrames.h"
#include "wincheck.h"
#include "winpath.h"
#include "winport.h"

namespace {
using AcceptFn = void(__cdecl*)(uint32_t, int32_t, uint32_t, uint32_t);
using RecvFn = void(__cdecl*)(int32_t, const uint8_t*, int32_t);
using DisconnectFn = void(__cdecl*)(int32_t);
using ConnectFn = void(__cdecl*)(uint32_t, int32_t, int32_t, uint32_t, uint32_t);

struct Api {
  void*(__cdecl* Init)(void*);
  void*(__cdecl* RegisterCallback)(void*, AcceptFn, RecvFn, DisconnectFn, ConnectFn);
  void(__cdecl* Start)();
  void(__cdecl* Update)();
  void(__cdecl* Stop)();
  bool(__cdecl* Listen)(void*, int32_t, int32_t, int32_t*, const char*);
  bool(__cdecl* Connect)(void*, uint32_t, int32_t, int32_t*, int32_t);
  bool(__cdecl* ConnectAsynByDotted)(void*, const char*, int32_t, int32_t*, int32_t);
  bool(__cdecl* ConnectAsyn)(void*, const char*, int32_t, int32_t*, int32_t);
  bool(__cdecl* ConnectAsynByWithDns)(void*, const char*, int32_t, int32_t*, int32_t);
  bool(__cdecl* Send)(void*, int32_t, const void*, int32_t);
  void(__cdecl* Disconnect)(void*, int32_t);
  const char*(__cdecl* GetPeerName)(void*, int32_t);
  const char*(__cdecl* GetErrorString)();
  void(__cdecl* CleanError)();
  void(__cdecl* SetFrameDealCount)(int32_t);
  void(__cdecl* SetPaused)(int32_t);
};

template <typename T>
bool bind(HMODULE dll, const char* name, T& fn) {
  fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  return WCHECK(fn != nullptr) || (std::printf("  missing export %s\n", name), false);
}

struct GameEvent {
  char kind;  // a accept, r recv, d disconnect, c connect
  int32_t id;
  std::string data;
  uint32_t a, b;
  uint32_t port = 0;  // accept: the peer's port
};
std::vector<GameEvent> events;

void __cdecl onAccept(uint32_t listenPort, int32_t id, uint32_t ip, uint32_t peerPort) {
  events.push_back({'a', id, {}, listenPort & 0xFFFF, ip, peerPort & 0xFFFF});
}
// Flood frames ('F' and a sequence number) are checked in place, not stored;
// messages on the echo connection go straight back.
Api* game = nullptr;
int32_t echoServerId = -1;
nettest::FloodCheck flood;

void __cdecl onRecv(int32_t id, const uint8_t* data, int32_t length) {
  if (flood.take(data, length)) return;
  if (id == echoServerId) {
    game->Send(nullptr, id, data, length);
    return;
  }
  events.push_back({'r', id, std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(length)), 0, 0});
}
void __cdecl onDisconnect(int32_t id) { events.push_back({'d', id, {}, 0, 0}); }
void __cdecl onConnect(uint32_t ok, int32_t request, int32_t id, uint32_t, uint32_t) {
  events.push_back({'c', id, {}, ok & 0xFF, static_cast<uint32_t>(request)});
}

size_t count(char kind) {
  size_t n = 0;
  for (const auto& e : events) n += e.kind == kind;
  return n;
}

bool updateUntil(Api& api, char kind, size_t n) {
  for (int i = 0; i < 2000; ++i) {
    api.Update();
    if (count(kind) >= n) return true;
    Sleep(5);
  }
  return false;
}

SOCKET rawClient(uint16_t port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

std::string recvExactly(SOCKET s, size_t n) {
  std::string out(n, '\0');
  size_t at = 0;
  while (at < n) {
    int got = recv(s, &out[at], static_cast<int>(n - at), 0);
    if (got <= 0) break;
    at += static_cast<size_t>(got);
  }
  out.resize(at);
  return out;
}

bool sendAll(SOCKET s, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const int n = send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

// Sends numbered 8-byte frames as fast as Winsock takes them, never reading.
struct Flooder {
  SOCKET s = INVALID_SOCKET;
  volatile LONG stop = 0;
  volatile LONG sent = 0;  // whole frames out
  HANDLE thread = nullptr;
  static DWORD WINAPI run(void* p) {
    auto* f = static_cast<Flooder*>(p);
    u_long on = 1;
    ioctlsocket(f->s, FIONBIO, &on);
    std::string block;
    uint32_t next = 0;
    size_t at = 0;
    while (!f->stop) {
      if (at == block.size()) {
        block.clear();
        for (uint32_t i = 0; i < 1024; ++i) block += nettest::floodFrame(next + i);
        next += 1024;
        at = 0;
      }
      const int n = send(f->s, block.data() + at, static_cast<int>(block.size() - at), 0);
      if (n > 0) {
        at += static_cast<size_t>(n);
        f->sent = static_cast<LONG>(next - static_cast<uint32_t>((block.size() - at + 11) / 12));
      } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
        Sleep(1);
      } else {
        break;
      }
    }
    return 0;
  }
};

// The echoing peer: one message in flight, round trips in milliseconds.
struct Echoer {
  SOCKET s = INVALID_SOCKET;
  volatile LONG stop = 0;
  volatile LONG lost = 0;
  std::vector<double> roundTripsMs;
  HANDLE thread = nullptr;
  static DWORD WINAPI run(void* p) {
    auto* e = static_cast<Echoer*>(p);
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    for (uint32_t i = 0; !e->stop; ++i) {
      const std::string message = nettest::frame("echo " + std::to_string(i));
      LARGE_INTEGER a, b;
      QueryPerformanceCounter(&a);
      if (!sendAll(e->s, message) || recvExactly(e->s, message.size()) != message) {
        e->lost = 1;
        return 0;
      }
      QueryPerformanceCounter(&b);
      e->roundTripsMs.push_back(1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) /
                                static_cast<double>(freq.QuadPart));
      Sleep(2);
    }
    return 0;
  }
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

size_t privateBytes() {
  PROCESS_MEMORY_COUNTERS c{};
  c.cb = sizeof c;
  return GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c) ? c.PagefileUsage : 0;
}

// Address space in use (reserved or committed), what a 32-bit process runs
// out of whether or not the pages were touched.
size_t addressSpaceBytes() {
  size_t used = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;) {
    if (info.State != MEM_FREE) used += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return used;
}

// A plain Winsock listener on loopback: the far end of connections the
// library makes itself.
SOCKET rawListener(uint16_t* port, int backlog) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, backlog) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  int n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  *port = ntohs(a.sin_port);
  return s;
}

// Peers that do not play along, each against a freshly started manager.
struct Hostile {
  const char* name;
  void (*run)(Api& api, void* mgr);
};

// 1 024 connections whose peers each announce the largest message and send
// nothing more: the library must not take the announced megabyte for each.
void lyingHeaders(Api& api, void* mgr) {
  constexpr int kConnections = 1024;
  uint16_t port = 0;
  SOCKET server = rawListener(&port, kConnections);
  if (!WCHECK(server != INVALID_SOCKET)) return;
  std::vector<SOCKET> peers;
  std::vector<int32_t> ids;
  for (int i = 0; i < kConnections; ++i) {
    int32_t id = -1;
    if (!WCHECK(api.Connect(mgr, 0x7F000001, port, &id, 5000))) break;
    SOCKET s = accept(server, nullptr, nullptr);
    if (!WCHECK(s != INVALID_SOCKET)) break;
    ids.push_back(id);
    peers.push_back(s);
  }
  const size_t disconnectsBefore = count('d');
  const size_t memoryBefore = addressSpaceBytes();
  size_t memoryPeak = memoryBefore;
  const std::string header = nettest::lengthOnly(1048576);
  for (size_t i = 1; i < peers.size(); ++i) WCHECK(sendAll(peers[i], header));
  // The first peer's message goes through beside them; the rest of the
  // headers are read in the passes around it.
  const size_t recvBefore = count('r');
  WCHECK(!peers.empty() && sendAll(peers[0], nettest::frame("beside")));
  WCHECK(updateUntil(api, 'r', recvBefore + 1));
  for (int i = 0; i < 100; ++i) {
    api.Update();
    memoryPeak = std::max(memoryPeak, addressSpaceBytes());
    Sleep(2);
  }
  const double growthMiB = static_cast<double>(memoryPeak - memoryBefore) / 1048576.0;
  std::printf("  %zu connections announcing 1 MiB each: address space growth %.1f MiB\n", peers.size(), growthMiB);
  WCHECK(peers.size() == static_cast<size_t>(kConnections));
  WCHECK(growthMiB < 16.0);
  WCHECK(count('d') == disconnectsBefore);
  // A real message of the largest size still arrives whole.
  const std::string whole = nettest::pattern(1048576, 5);
  WCHECK(!peers.empty() && sendAll(peers[0], nettest::frame(whole)));
  WCHECK(updateUntil(api, 'r', recvBefore + 2));
  WCHECK(events.back().kind == 'r' && events.back().id == ids[0] && events.back().data == whole);
  for (SOCKET s : peers) closesocket(s);
  closesocket(server);
}

// A peer that never reads: Send gives false once its bound is reached, and
// the connection beside it goes on.
void neverReads(Api& api, void* mgr) {
  uint16_t port = 0;
  SOCKET server = rawListener(&port, 4);
  if (!WCHECK(server != INVALID_SOCKET)) return;
  int32_t stalledId = -1, otherId = -1;
  WCHECK(api.Connect(mgr, 0x7F000001, port, &stalledId, 5000));
  SOCKET stalled = accept(server, nullptr, nullptr);
  WCHECK(api.Connect(mgr, 0x7F000001, port, &otherId, 5000));
  SOCKET other = accept(server, nullptr, nullptr);
  const std::string chunk = nettest::pattern(16384);
  bool refused = false;
  size_t queued = 0;
  while (!refused && queued < 64u * 1048576u) {
    refused = !api.Send(mgr, stalledId, chunk.data(), static_cast<int32_t>(chunk.size()));
    if (!refused) queued += chunk.size();
    if ((queued & 0xFFFFF) == 0) api.Update();
  }
  std::printf("  a peer that never reads: Send refused after %.1f MiB\n", static_cast<double>(queued) / 1048576.0);
  WCHECK(refused);
  const std::string m = nettest::pattern(1000, 9);
  WCHECK(api.Send(mgr, otherId, m.data(), static_cast<int32_t>(m.size())));
  WCHECK(recvExactly(other, m.size() + 4) == nettest::frame(m));
  closesocket(stalled);
  closesocket(other);
  closesocket(server);
}

// A background connect asked for before Stop is not answered after the next
// Start; only the connect of the new session is.
void connectAcrossStop(Api& api, void* mgr) {
  uint16_t port = 0;
  SOCKET server = rawListener(&port, 8);
  if (!WCHECK(server != INVALID_SOCKET)) return;
  int32_t old = -1, fresh = -1;
  WCHECK(api.ConnectAsyn(mgr, "127.0.0.1", port, &old, 3000));
  SOCKET first = accept(server, nullptr, nullptr);
  api.Stop();  // no Update since: the answer is still to come
  api.RegisterCallback(nullptr, onAccept, onRecv, onDisconnect, onConnect);
  api.Start();
  int32_t listener = -1;
  WCHECK(api.Listen(mgr, 0, 4, &listener, "127.0.0.1"));
  const size_t before = count('c');
  WCHECK(api.ConnectAsyn(mgr, "127.0.0.1", port, &fresh, 3000));
  SOCKET second = accept(server, nullptr, nullptr);
  WCHECK(updateUntil(api, 'c', before + 1));
  for (int i = 0; i < 20; ++i) {
    api.Update();
    Sleep(5);
  }
  WCHECK(count('c') == before + 1);
  WCHECK(events.back().kind == 'c' && static_cast<int32_t>(events.back().b) == fresh && events.back().a == 1);
  WCHECK(events.back().id != listener);
  closesocket(first);
  closesocket(second);
  closesocket(server);
}

const Hostile kHostile[] = {
    {"headers announcing 1 MiB", lyingHeaders},
    {"a peer that never reads", neverReads},
    {"a connect across Stop and Start", connectAcrossStop},
};
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: net_wine_host <vexolib.dll> [flood seconds]\n");
    return 2;
  }
  const int floodSeconds = argc > 2 ? std::atoi(argv[2]) : 3;
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  HMODULE dll = LoadLibraryW(winpath::fromBuild(argv[1]).c_str());
  if (!WCHECK(dll != nullptr)) return wincheck::summary();
  Api api{};
  bool all = bind(dll, "NetworkManager_Init", api.Init) &&
             bind(dll, "NetworkManager_RegisterCallback", api.RegisterCallback) &&
             bind(dll, "NetworkManager_Start", api.Start) && bind(dll, "NetworkManager_Update", api.Update) &&
             bind(dll, "NetworkManager_Stop", api.Stop) && bind(dll, "NetworkManager_Listen", api.Listen) &&
             bind(dll, "NetworkManager_Connect", api.Connect) &&
             bind(dll, "NetworkManager_ConnectAsynByDotted", api.ConnectAsynByDotted) &&
             bind(dll, "NetworkManager_ConnectAsyn", api.ConnectAsyn) &&
             bind(dll, "NetworkManager_ConnectAsynByWithDns", api.ConnectAsynByWithDns) &&
             bind(dll, "NetworkManager_Send", api.Send) && bind(dll, "NetworkManager_Disconnect", api.Disconnect) &&
             bind(dll, "NetworkManager_GetPeerName", api.GetPeerName) &&
             bind(dll, "NetworkManager_GetErrorString", api.GetErrorString) &&
             bind(dll, "NetworkManager_CleanError", api.CleanError) &&
             bind(dll, "NetworkManager_SetFrameDealCount", api.SetFrameDealCount) &&
             bind(dll, "NetworkManager_SetPaused", api.SetPaused);
  if (!all) return wincheck::summary();
  game = &api;
  WCHECK(reinterpret_cast<void*>(api.ConnectAsyn) == reinterpret_cast<void*>(api.ConnectAsynByDotted));

  int handle = 0;
  WCHECK(api.Init(&handle) == &handle);
  void* mgr = api.RegisterCallback(&handle, onAccept, onRecv, onDisconnect, onConnect);
  WCHECK(mgr != nullptr);
  api.Start();

  const uint16_t port = winport::unusedLoopbackPort();
  int32_t listener = -1, client = -1;
  WCHECK(api.Listen(mgr, port, 16, &listener, "127.0.0.1"));
  WCHECK(api.Connect(mgr, 0x7F000001, port, &client, 3000));
  WCHECK(updateUntil(api, 'a', 1));
  const int32_t server = events.empty() ? -1 : events.back().id;
  WCHECK(events.size() == 1 && events[0].a == port && events[0].b == 0x7F000001u);
  const char* peer = api.GetPeerName(mgr, client);
  WCHECK(peer && std::strcmp(peer, "127.0.0.1") == 0);
  WCHECK(api.GetPeerName(mgr, listener) == nullptr);

  // Client to server, sizes around the buffer classes and the maximum.
  const size_t sizes[] = {0, 1, 16, 17, 2048, 2049, 4096, 262144, 262145, 1048576};
  for (size_t n : sizes) WCHECK(api.Send(mgr, client, nettest::pattern(n).data(), static_cast<int32_t>(n)));
  WCHECK(!api.Send(mgr, listener, "x", 1));
  WCHECK(!api.Send(mgr, 4242, "x", 1));
  WCHECK(updateUntil(api, 'r', sizeof sizes / sizeof sizes[0]));
  size_t k = 0;
  for (const auto& e : events) {
    if (e.kind != 'r') continue;
    WCHECK(e.id == server);
    WCHECK(k < sizeof sizes / sizeof sizes[0] && e.data == nettest::pattern(sizes[k]));
    ++k;
  }
  // And back.
  WCHECK(api.Send(mgr, server, "pong", 4));
  WCHECK(updateUntil(api, 'r', k + 1));
  WCHECK(events.back().id == client && events.back().data == "pong");

  // A raw peer asks for the policy file, then sends a length past the limit.
  SOCKET raw = rawClient(port);
  WCHECK(raw != INVALID_SOCKET);
  send(raw, "<policy-file-request/>", 23, 0);
  const std::string answer = recvExactly(raw, 89);
  WCHECK(answer == std::string("<cross-domain-policy><allow-access-from domain=\"*\" to-ports=\"*\" />"
                               "</cross-domain-policy>",
                               89));
  WCHECK(updateUntil(api, 'a', 2));
  const char tooLong[4] = {0x01, 0x00, 0x10, 0x00};  // 1048577
  send(raw, tooLong, 4, 0);
  WCHECK(updateUntil(api, 'd', 1));
  WCHECK(std::strcmp(api.GetErrorString(), "flash") == 0);
  api.CleanError();
  WCHECK(api.GetErrorString()[0] == '\0');
  closesocket(raw);

  // Background connects under both names, and one from text that is no address.
  int32_t r1 = -1, r2 = -1, r3 = -1;
  WCHECK(api.ConnectAsyn(mgr, "127.0.0.1", port, &r1, 3000));
  WCHECK(api.ConnectAsynByDotted(mgr, "127.0.0.1", port, &r2, 3000));
  WCHECK(api.ConnectAsynByWithDns(mgr, "localhost", port, &r3, 3000));
  WCHECK(!api.ConnectAsynByDotted(mgr, "localhost", port, nullptr, 3000));
  WCHECK(r2 == r1 + 1 && r3 == r2 + 1);
  WCHECK(updateUntil(api, 'c', 3));
  int oks = 0;
  for (const auto& e : events)
    if (e.kind == 'c') oks += e.a == 1 ? 1 : 0;
  WCHECK(oks == 2);

  // Closing from one side reaches both.
  const size_t before = count('d');
  api.Disconnect(mgr, client);
  WCHECK(updateUntil(api, 'd', before + 2));

  // More connections than a default Winsock set holds (64): the select
  // sets must carry them all, each way.
  {
    const size_t acceptsBefore = count('a');
    std::vector<int32_t> clients;
    for (int i = 0; i < 100; ++i) {
      int32_t id = -1;
      if (!WCHECK(api.Connect(mgr, 0x7F000001, port, &id, 3000))) break;
      clients.push_back(id);
    }
    WCHECK(updateUntil(api, 'a', acceptsBefore + clients.size()));
    std::vector<int32_t> servers;
    for (const auto& e : events)
      if (e.kind == 'a') servers.push_back(e.id);
    servers.erase(servers.begin(), servers.begin() + static_cast<std::ptrdiff_t>(acceptsBefore));
    const size_t recvBefore = count('r');
    for (size_t i = 0; i < clients.size(); ++i) {
      const std::string text = "to server " + std::to_string(i);
      WCHECK(api.Send(mgr, clients[i], text.data(), static_cast<int32_t>(text.size())));
    }
    WCHECK(updateUntil(api, 'r', recvBefore + clients.size()));
    for (int32_t id : servers) WCHECK(api.Send(mgr, id, "back", 4));
    WCHECK(updateUntil(api, 'r', recvBefore + 2 * clients.size()));
    size_t back = 0;
    for (const auto& e : events)
      back += e.kind == 'r' && e.data == "back" && std::find(clients.begin(), clients.end(), e.id) != clients.end();
    WCHECK(back == clients.size());
    std::printf("  %zu connections beside the others: every message arrived both ways\n", clients.size());
    const size_t closesBefore = count('d');
    for (int32_t id : clients) api.Disconnect(mgr, id);
    WCHECK(updateUntil(api, 'd', closesBefore + 2 * clients.size()));
  }

  // A flooding peer next to an echoing one, through the exports.
  {
    Flooder flooder;
    flooder.s = rawClient(port);
    Echoer echoer;
    const size_t acceptsBefore = count('a');
    echoer.s = rawClient(port);
    WCHECK(flooder.s != INVALID_SOCKET && echoer.s != INVALID_SOCKET);
    WCHECK(updateUntil(api, 'a', acceptsBefore + 2));
    // The echo connection is the one whose peer port is the echoer's.
    sockaddr_in local{};
    int n = sizeof local;
    getsockname(echoer.s, reinterpret_cast<sockaddr*>(&local), &n);
    for (const auto& e : events)
      if (e.kind == 'a' && e.port == ntohs(local.sin_port)) echoServerId = e.id;
    WCHECK(echoServerId >= 0);
    const size_t memoryBefore = privateBytes();
    size_t memoryPeak = memoryBefore;
    flooder.thread = CreateThread(nullptr, 0, &Flooder::run, &flooder, 0, nullptr);
    echoer.thread = CreateThread(nullptr, 0, &Echoer::run, &echoer, 0, nullptr);
    const DWORD until = GetTickCount() + static_cast<DWORD>(floodSeconds) * 1000;
    while (static_cast<LONG>(until - GetTickCount()) > 0) {
      api.Update();
      memoryPeak = std::max(memoryPeak, privateBytes());
      Sleep(1);
    }
    echoer.stop = 1;
    while (WaitForSingleObject(echoer.thread, 0) == WAIT_TIMEOUT) api.Update();  // its last round trip
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&a);
    api.Stop();  // the flooder still sends
    QueryPerformanceCounter(&b);
    const double stopMs = 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart);
    flooder.stop = 1;
    WaitForSingleObject(flooder.thread, INFINITE);
    const double growthMiB = static_cast<double>(memoryPeak - memoryBefore) / 1048576.0;
    std::printf(
        "  flood %d s: %ld frames sent, %u delivered in order, echo round trips %zu, p50 %.2f ms, "
        "p99 %.2f ms, memory growth %.1f MiB, Stop %.1f ms\n",
        floodSeconds, static_cast<long>(flooder.sent), flood.received, echoer.roundTripsMs.size(),
        percentile(echoer.roundTripsMs, 0.5), percentile(echoer.roundTripsMs, 0.99), growthMiB, stopMs);
    WCHECK(!echoer.lost);
    WCHECK(echoer.roundTripsMs.size() >= 5);
    WCHECK(flood.received > 100);
    WCHECK(flood.outOfOrder == 0);
    WCHECK(growthMiB < 48.0);  // the backlog bounds: 256 KiB per connection, 64 MiB in all
    // Loose enough for 32-bit Wine under emulation; a Stop that waited for the
    // flood to end would never return here, as the flooder only stops after it.
    WCHECK(stopMs < 5000.0);
    closesocket(flooder.s);
    closesocket(echoer.s);
    CloseHandle(flooder.thread);
    CloseHandle(echoer.thread);
  }

  echoServerId = -1;  // ids start over in each session below
  for (const Hostile& h : kHostile) {
    std::printf("  %s\n", h.name);
    api.RegisterCallback(nullptr, onAccept, onRecv, onDisconnect, onConnect);
    api.Start();
    h.run(api, mgr);
    api.Stop();
  }

  api.Stop();
  const size_t after = events.size();
  for (int i = 0; i < 10; ++i) {
    api.Update();
    Sleep(5);
  }
  WCHECK(events.size() == after);
  WCHECK(!api.Send(mgr, server, "x", 1));
  WSACleanup();
  return wincheck::summary();
}
