// The NetworkManager_ exports in the order a game calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "NetExports.h"
#include "NetTestUtil.h"

using namespace nettest;

namespace {
std::mutex eventsLock;
std::vector<std::string> gameEvents;

void record(const std::string& e) {
  std::lock_guard<std::mutex> g(eventsLock);
  gameEvents.push_back(e);
}
size_t countPrefix(const std::string& prefix) {
  std::lock_guard<std::mutex> g(eventsLock);
  size_t n = 0;
  for (const auto& e : gameEvents) n += e.rfind(prefix, 0) == 0;
  return n;
}
std::vector<std::string> eventsNow() {
  std::lock_guard<std::mutex> g(eventsLock);
  return gameEvents;
}

void onAccept(uint32_t listenPort, int32_t id, uint32_t ip, uint32_t port) {
  record("accept " + std::to_string(listenPort & 0xFFFF) + " " + std::to_string(id) + " " + std::to_string(ip) + " " +
         std::to_string(port & 0xFFFF));
}
void onRecv(int32_t id, const uint8_t* data, int32_t length) {
  record("recv " + std::to_string(id) + " " + std::string(reinterpret_cast<const char*>(data), length));
}
void onDisconnect(int32_t id) { record("disconnect " + std::to_string(id)); }
void onConnect(uint32_t ok, int32_t request, int32_t id, uint32_t, uint32_t) {
  record("connect " + std::to_string(ok & 0xFF) + " " + std::to_string(request) + " " +
         std::to_string((ok & 0xFF) ? id : -1));
}

uint16_t unusedPort() {
  vexolib::net::Sock s = vexolib::net::sock::tcp();
  vexolib::net::sock::bindListen(s, kLoopback, 0, 1);
  const uint16_t port = vexolib::net::sock::localPort(s);
  vexolib::net::sock::closeSock(s);
  return port;
}

bool updateUntil(const std::function<bool()>& done) {
  return waitFor(done, [] { NetworkManager_Update(); });
}
}  // namespace

TEST(NetExports, AGameSessionThroughTheExports) {
  int token = 0;
  EXPECT_EQ(NetworkManager_Init(&token), &token);
  void* manager = nullptr;
  for (int i = 0; i < 33; ++i)
    manager = NetworkManager_RegisterCallback(&token, onAccept, onRecv, onDisconnect, onConnect);
  ASSERT_NE(manager, nullptr);
  NetworkManager_Start();

  const uint16_t port = unusedPort();
  int32_t listenId = -1;
  ASSERT_TRUE(NetworkManager_Listen(manager, port, 16, &listenId, "127.0.0.1"));
  int32_t client = -1;
  ASSERT_TRUE(NetworkManager_Connect(manager, kLoopback, port, &client, 2000));
  EXPECT_NE(client, listenId);
  ASSERT_TRUE(updateUntil([] { return countPrefix("accept ") == 32; }));  // 32 records, the 33rd dropped
  const std::string acceptLine = eventsNow().back();
  const int32_t server = std::stoi(acceptLine.substr(acceptLine.find(' ', 7) + 1));
  EXPECT_EQ(acceptLine.rfind("accept " + std::to_string(port) + " ", 0), 0u) << acceptLine;
  EXPECT_STREQ(NetworkManager_GetPeerName(manager, client), "127.0.0.1");
  EXPECT_EQ(NetworkManager_GetPeerName(manager, listenId), nullptr);

  ASSERT_TRUE(NetworkManager_Send(manager, client, "hello", 5));
  EXPECT_FALSE(NetworkManager_Send(manager, listenId, "hello", 5));
  EXPECT_FALSE(NetworkManager_Send(manager, 999, "hello", 5));
  EXPECT_FALSE(NetworkManager_Send(manager, client, "hello", -5));
  ASSERT_TRUE(updateUntil([] { return countPrefix("recv ") == 32; }));
  EXPECT_EQ(eventsNow().back(), "recv " + std::to_string(server) + " hello");

  // The same function under both names.
  int32_t r1 = -1, r2 = -1, r3 = -1;
  ASSERT_TRUE(NetworkManager_ConnectAsyn(manager, "127.0.0.1", port, &r1, 2000));
  ASSERT_TRUE(NetworkManager_ConnectAsynByDotted(manager, "127.0.0.1", port, &r2, 2000));
  ASSERT_TRUE(NetworkManager_ConnectAsynByWithDns(manager, "localhost", port, &r3, 2000));
  EXPECT_FALSE(NetworkManager_ConnectAsyn(manager, "not an address", port, nullptr, 2000));
  EXPECT_EQ(r2, r1 + 1);
  EXPECT_EQ(r3, r2 + 1);
  ASSERT_TRUE(updateUntil([] { return countPrefix("connect ") == 3 * 32; }));
  EXPECT_EQ(countPrefix("connect 1 " + std::to_string(r1) + " "), 32u);
  EXPECT_EQ(countPrefix("connect 1 " + std::to_string(r2) + " "), 32u);
  EXPECT_EQ(countPrefix("connect 0 " + std::to_string(r3) + " -1"), 32u);

  NetworkManager_Disconnect(manager, client);
  ASSERT_TRUE(updateUntil([] { return countPrefix("disconnect ") >= 2 * 32; }));  // both ends
  EXPECT_EQ(std::string(NetworkManager_GetErrorString()).rfind("Recv ret  [0] Errno[", 0), 0u)
      << "the server end saw the close: " << NetworkManager_GetErrorString();
  NetworkManager_CleanError();
  EXPECT_STREQ(NetworkManager_GetErrorString(), "");

  NetworkManager_SetPaused(1);
  NetworkManager_SetPaused(-3);  // resumes
  NetworkManager_SetFrameDealCount(0);

  // After Stop nothing reaches the old records.
  int32_t late = -1;
  ASSERT_TRUE(NetworkManager_ConnectAsynByWithDns(manager, "x", port, &late, 100));
  NetworkManager_Stop();
  const size_t before = eventsNow().size();
  for (int i = 0; i < 20; ++i) {
    NetworkManager_Update();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(eventsNow().size(), before);
  EXPECT_FALSE(NetworkManager_Send(manager, client, "x", 1));
}

TEST(NetExports, CallsBeforeStartAndWithBadArgumentsFailCleanly) {
  EXPECT_EQ(NetworkManager_Init(nullptr), nullptr);
  EXPECT_FALSE(NetworkManager_Send(nullptr, -1, nullptr, 0));
  EXPECT_FALSE(NetworkManager_Connect(nullptr, kLoopback, unusedPort(), nullptr, 200));
  EXPECT_FALSE(NetworkManager_ConnectAsynByDotted(nullptr, nullptr, 1, nullptr, 1));
  EXPECT_FALSE(NetworkManager_ConnectAsynByWithDns(nullptr, nullptr, 1, nullptr, 1));
  EXPECT_EQ(NetworkManager_GetPeerName(nullptr, 12), nullptr);
  NetworkManager_Disconnect(nullptr, 77);
  NetworkManager_Update();
  NetworkManager_Stop();
  NetworkManager_Stop();
  // Listening works before Start; the socket is served once it runs.
  int32_t id = -1;
  const uint16_t port = unusedPort();
  ASSERT_TRUE(NetworkManager_Listen(nullptr, port, 4, &id, nullptr));
  ASSERT_TRUE(NetworkManager_Listen(nullptr, 0, 4, nullptr, "not an address"));
  int32_t c = -1;
  ASSERT_TRUE(NetworkManager_Connect(nullptr, kLoopback, port, &c, 2000));
  NetworkManager_RegisterCallback(nullptr, nullptr, nullptr, nullptr, nullptr);  // null functions are skipped
  NetworkManager_Start();
  NetworkManager_Update();
  NetworkManager_Stop();
}
