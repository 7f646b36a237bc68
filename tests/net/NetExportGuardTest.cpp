// Every NetworkManager_ export, driven through what can go wrong inside it
// (an allocation that fails, a game function that throws) where there is
// such a path: the export gives its failure result, nothing escapes, and the
// manager keeps working afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FailNextAllocation.h"
#include "NetExports.h"
#include "NetTestUtil.h"
#include "NetworkManager.h"

using vekt::testsupport::failNextAllocation;

using namespace nettest;

namespace {
constexpr intptr_t kNoResult = 0x7eadbeef;  // rows of exports that return nothing

std::vector<std::string> events;
bool throwInGame = false;

void onAccept(uint32_t, int32_t id, uint32_t, uint32_t) { events.push_back("accept " + std::to_string(id)); }
void onRecv(int32_t id, const uint8_t* data, int32_t length) {
  events.push_back("recv " + std::to_string(id) + " " + std::string(reinterpret_cast<const char*>(data), length));
  if (throwInGame) throw std::runtime_error("the game's function failed");
}
void onDisconnect(int32_t id) { events.push_back("disconnect " + std::to_string(id)); }
void onConnect(uint32_t ok, int32_t request, int32_t, uint32_t, uint32_t) {
  events.push_back("connect " + std::to_string(ok & 0xFF) + " " + std::to_string(request));
}

size_t count(const std::string& prefix) {
  size_t n = 0;
  for (const auto& e : events) n += e.rfind(prefix, 0) == 0;
  return n;
}
bool updateUntil(const std::function<bool()>& done) {
  return waitFor(done, [] { NetworkManager_Update(); });
}

intptr_t none(const std::function<void()>& f) {
  f();
  return kNoResult;
}

// State shared by the rows, which run in order on the one manager.
int32_t listener = -1, client = -1, server = -1;
uint16_t port = 0;

// A listener and a connection to it, with the accept delivered.
void connectPair() {
  ASSERT_TRUE(NetworkManager_Listen(nullptr, 0, 8, &listener, "127.0.0.1"));
  port = vexolib::net::theManager().service().loop().listenerPort(listener);
  const size_t accepts = count("accept");
  ASSERT_TRUE(NetworkManager_Connect(nullptr, kLoopback, port, &client, 2000));
  ASSERT_TRUE(updateUntil([&] { return count("accept") > accepts; }));
  server = std::stoi(events.back().substr(7));
}

bool seen(const std::string& event) { return std::find(events.begin(), events.end(), event) != events.end(); }

bool messageArrives(const std::string& text) {
  const std::string expected = "recv " + std::to_string(server) + " " + text;
  if (!NetworkManager_Send(nullptr, client, text.data(), static_cast<int32_t>(text.size()))) return false;
  return updateUntil([&] { return seen(expected); });
}

struct Row {
  const char* name;
  std::function<void()> setUp;     // unarmed
  std::function<intptr_t()> call;  // armed: the first allocation in it fails
  intptr_t expected;               // the failure result where a failing path exists
  std::function<void()> after;     // unarmed: the manager still works
};

const std::vector<Row>& rows() {
  static int token = 0;
  static const std::vector<Row> table = {
      {"RegisterCallback: the manager cannot be made",
       {},
       [] {
         return reinterpret_cast<intptr_t>(
             NetworkManager_RegisterCallback(nullptr, onAccept, onRecv, onDisconnect, onConnect));
       },
       0,
       [] { EXPECT_NE(NetworkManager_RegisterCallback(nullptr, onAccept, onRecv, onDisconnect, onConnect), nullptr); }},
      {"Init: no failing path",
       {},
       [] { return reinterpret_cast<intptr_t>(NetworkManager_Init(&token)); },
       reinterpret_cast<intptr_t>(&token),
       {}},
      {"Start: the socket thread cannot start",
       {},
       [] { return none(NetworkManager_Start); },
       kNoResult,
       [] {
         NetworkManager_Start();  // tried again
         connectPair();
         EXPECT_TRUE(messageArrives("after start"));
       }},
      {"Listen: no memory for the listener",
       {},
       [] {
         int32_t id = -1;
         return intptr_t{NetworkManager_Listen(nullptr, 0, 8, &id, "127.0.0.1")};
       },
       0,
       [] {
         int32_t id = -1;
         EXPECT_TRUE(NetworkManager_Listen(nullptr, 0, 8, &id, "127.0.0.1"));
         NetworkManager_Disconnect(nullptr, id);
         EXPECT_TRUE(updateUntil([&] { return count("disconnect " + std::to_string(id)) == 1; }));
       }},
      {"Connect: no memory for the connection",
       {},
       [] {
         int32_t id = -1;
         return intptr_t{NetworkManager_Connect(nullptr, kLoopback, port, &id, 2000)};
       },
       0,
       [] { EXPECT_TRUE(messageArrives("after connect")); }},
      {"Send: no failing path",
       {},
       [] { return intptr_t{NetworkManager_Send(nullptr, client, "s", 1)}; },
       1,
       [] { EXPECT_TRUE(updateUntil([] { return seen("recv " + std::to_string(server) + " s"); })); }},
      {"Update: a game function throws", [] { ASSERT_TRUE(NetworkManager_Send(nullptr, client, "boom", 4)); },
       [] {
         failNextAllocation(false);  // the game's own failure is what this row is about
         throwInGame = true;
         updateUntil([] { return seen("recv " + std::to_string(server) + " boom"); });
         throwInGame = false;
         return kNoResult;
       },
       kNoResult,
       [] {
         EXPECT_TRUE(messageArrives("after throw"));
         EXPECT_EQ(vexolib::net::theManager().service().loop().backlogBytes(), 0)
             << "the message that threw was released";
       }},
      {"Disconnect: no memory to queue the close",
       {},
       [] { return none([] { NetworkManager_Disconnect(nullptr, client); }); },
       kNoResult,
       [] {
         NetworkManager_Disconnect(nullptr, client);
         EXPECT_TRUE(updateUntil([] {
           return seen("disconnect " + std::to_string(client)) && seen("disconnect " + std::to_string(server));
         }));
       }},
      {"ConnectAsynByDotted: one worker cannot start",
       {},
       [] {
         int32_t request = -1;
         return intptr_t{NetworkManager_ConnectAsynByDotted(nullptr, "127.0.0.1", port, &request, 2000)};
       },
       1,
       [] { EXPECT_TRUE(updateUntil([] { return count("connect 1") == 1; })); }},
      {"ConnectAsyn: no failing path",
       {},
       [] {
         int32_t request = -1;
         return intptr_t{NetworkManager_ConnectAsyn(nullptr, "127.0.0.1", port, &request, 2000)};
       },
       1,
       [] { EXPECT_TRUE(updateUntil([] { return count("connect 1") == 2; })); }},
      {"ConnectAsynByWithDns: no failing path",
       {},
       [] {
         int32_t request = -1;
         return intptr_t{NetworkManager_ConnectAsynByWithDns(nullptr, "localhost", port, &request, 500)};
       },
       1,
       [] { EXPECT_TRUE(updateUntil([] { return count("connect 0") == 1; })); }},
      {"GetPeerName: no failing path",
       [] { connectPair(); },
       [] { return intptr_t{std::string(NetworkManager_GetPeerName(nullptr, client)) == "127.0.0.1"}; },
       1,
       {}},
      {"GetErrorString: no failing path",
       {},
       [] { return intptr_t{NetworkManager_GetErrorString() != nullptr}; },
       1,
       {}},
      {"CleanError: no failing path",
       {},
       [] { return none(NetworkManager_CleanError); },
       kNoResult,
       [] { EXPECT_STREQ(NetworkManager_GetErrorString(), ""); }},
      {"SetFrameDealCount: no failing path",
       {},
       [] { return none([] { NetworkManager_SetFrameDealCount(10); }); },
       kNoResult,
       {}},
      {"SetPaused: no failing path",
       {},
       [] { return none([] { NetworkManager_SetPaused(0); }); },
       kNoResult,
       [] { EXPECT_TRUE(messageArrives("not paused")); }},
      {"Stop: no memory to list the handlers",
       {},
       [] { return none(NetworkManager_Stop); },
       kNoResult,
       [] {
         NetworkManager_Stop();  // finishes what the first one could not
         const vexolib::net::Sock s = vexolib::net::sock::tcp();
         vexolib::net::sock::setNonBlocking(s);
         const bool refused =
             !vexolib::net::sock::connectStart(s, kLoopback, port) || !vexolib::net::sock::waitConnected(s, 500);
         vexolib::net::sock::closeSock(s);
         EXPECT_TRUE(refused) << "the listener is closed";
       }},
  };
  return table;
}
}  // namespace

TEST(NetExportGuard, EveryExportGivesItsFailureResultAndTheManagerGoesOn) {
  ASSERT_TRUE(vexolib::net::sock::startup());
  for (const Row& row : rows()) {
    SCOPED_TRACE(row.name);
    if (row.setUp) row.setUp();
    failNextAllocation();
    intptr_t result = 0;
    EXPECT_NO_THROW(result = row.call());
    failNextAllocation(false);
    EXPECT_EQ(result, row.expected);
    if (row.after) row.after();
    if (::testing::Test::HasFailure()) {
      std::string seen;
      for (const std::string& e : events) seen += e + "\n";
      ADD_FAILURE() << "events so far:\n" << seen;
      return;
    }
  }
}
