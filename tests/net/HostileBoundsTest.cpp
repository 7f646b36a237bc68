// What hostile peers can make the library hold: headers that announce more
// than they send, and the turns of many ready connections.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "MsgMem.h"
#include "NetTestUtil.h"
#include "PeakMemory.h"
#include "SocketLoop.h"
#include "TurnPicker.h"

using namespace nettest;
namespace net = vexolib::net;

namespace {

constexpr double kMiB = 1048576.0;

// A loop without its thread: the test runs the passes, so it can look at
// each connection's receive state between them.
struct ManualLoop {
  net::JobQueue jobs;
  net::SocketLoop loop;
  RecordingSink sink;
  explicit ManualLoop(const net::Limits& limits = net::Limits{}) : loop(jobs, net::kMaxMessageLength, limits) {}
  ~ManualLoop() {
    loop.stop();
    jobs.clear();
  }
  void pump() {
    loop.runPass();
    net::Job* job;
    while (jobs.tryPop(job)) {
      job->dispatch(sink);
      job->destroy();
    }
  }
};

// The far ends of n connections the loop makes itself: a plain listener here
// accepts them, so the loop holds connections only, no listener.
std::vector<std::unique_ptr<Peer>> connectMany(net::SocketLoop& loop, int n, std::vector<int32_t>& ids) {
  const net::Sock server = net::sock::tcp();
  EXPECT_TRUE(net::sock::bindListen(server, kLoopback, 0, n));
  const uint16_t port = net::sock::localPort(server);
  std::vector<std::unique_ptr<Peer>> peers;
  for (int i = 0; i < n; ++i) {
    const int32_t id = loop.connect(kLoopback, port, 5000);
    if (id == net::SocketLoop::kNoId) break;
    uint32_t ip;
    uint16_t p;
    const net::Sock s = net::sock::acceptOne(server, &ip, &p);  // blocking: the connect is complete
    if (s == net::kNoSock) break;
    ids.push_back(id);
    peers.push_back(std::make_unique<Peer>(s));
  }
  net::sock::closeSock(server);
  return peers;
}

}  // namespace

TEST(HostileBounds, HeadersAnnouncing1MiBHoldNothingAndARealOneArrivesWhole) {
  constexpr int kConnections = 1024;
  ManualLoop m;
  std::vector<int32_t> ids;
  auto peers = connectMany(m.loop, kConnections, ids);
  ASSERT_EQ(peers.size(), static_cast<size_t>(kConnections));

  const int64_t heldBefore = net::msgmempool::instance().heldBytes();
  const double spaceBefore = addressSpaceMiB();
  // Every peer but the first announces the largest message and sends no more.
  for (int i = 1; i < kConnections; ++i) ASSERT_TRUE(peers[i]->sendAll(lengthOnly(net::kMaxMessageLength)));
  EXPECT_TRUE(waitFor(
      [&] {
        return std::all_of(ids.begin() + 1, ids.end(), [&](int32_t id) { return m.loop.receivePosition(id) == 0; });
      },
      [&] { m.pump(); }));
  const double heldMiB = (net::msgmempool::instance().heldBytes() - heldBefore) / kMiB;
  const double spaceMiB = addressSpaceMiB() - spaceBefore;
  std::printf("%d headers of 1 MiB: buffers +%.2f MiB, backlog %lld bytes, address space +%.1f MiB\n", kConnections - 1,
              heldMiB, static_cast<long long>(m.loop.backlogBytes()), spaceMiB);
  EXPECT_LT(heldMiB, 16.0);
  EXPECT_LT(m.loop.backlogBytes(), 16 * 1048576);
  if (!kSanitized) {
    EXPECT_LT(spaceMiB, 16.0);
  }

  // The first peer sends a real message of the largest size beside them.
  const std::string whole = pattern(static_cast<size_t>(net::kMaxMessageLength), 3);
  ASSERT_TRUE(peers[0]->sendAll(frame(whole)));
  ASSERT_TRUE(waitFor([&] { return m.sink.count(Event::Recv) == 1; }, [&] { m.pump(); }, 30000));
  EXPECT_EQ(m.sink.of(Event::Recv, ids[0]).at(0).data, whole);
  EXPECT_EQ(m.sink.count(Event::Disconnect), 0u);
}

// Peers that send part of a large message and stall: what they hold counts
// against the total bound, and since the game cannot take a partial message,
// the loop closes the largest holders instead of waiting for ever.
TEST(HostileBounds, StalledPartialMessagesCountAgainstTheTotalBound) {
  constexpr int kConnections = 24;
  constexpr int64_t kTotal = 4 * 1048576;
  net::Limits limits;
  limits.totalBacklog = kTotal;
  ManualLoop m(limits);
  std::vector<int32_t> ids;
  auto peers = connectMany(m.loop, kConnections + 1, ids);
  ASSERT_EQ(peers.size(), static_cast<size_t>(kConnections + 1));
  // Each sends 300 KiB of an announced 1 MiB: 24 of them would hold 12 MiB.
  const std::string part = lengthOnly(net::kMaxMessageLength) + pattern(300 * 1024);
  for (int i = 1; i <= kConnections; ++i) ASSERT_TRUE(peers[i]->sendAll(part));
  int64_t peak = 0;
  for (int pass = 0; pass < 400; ++pass) {
    m.pump();
    peak = std::max(peak, m.loop.backlogBytes());
  }
  std::printf("stalled partial messages: peak %.2f MiB held, %zu connections closed\n", peak / kMiB,
              m.sink.count(Event::Disconnect));
  // One read past the bound per connection of a pass at most.
  EXPECT_LE(peak, kTotal + int64_t{net::SocketLoop::kHandlersPerPass} * net::SocketLoop::kReadPerPass * 2);
  EXPECT_LE(m.loop.partialBytes(), kTotal / 2 + 2 * net::kMaxMessageLength) << "the largest holders are closed";
  EXPECT_GT(m.sink.count(Event::Disconnect), 0u);
  char text[256];
  m.loop.copyError(text);
  EXPECT_EQ(std::string(text).rfind("Recv held [", 0), 0u) << text;
  // Reading goes on: the connection that holds nothing is still served.
  ASSERT_TRUE(peers[0]->sendAll(frame("still served")));
  ASSERT_TRUE(waitFor([&] { return m.sink.count(Event::Recv) == 1; }, [&] { m.pump(); }));
  EXPECT_EQ(m.sink.of(Event::Recv).at(0).data, "still served");
}

// 300 handlers that are ready in every pass and 128 taken per pass: with
// turns, none waits more than 3 passes; by id alone the high ids never came.
TEST(TurnPicker, EveryReadyHandlerIsServedWithinThreePasses) {
  struct Case {
    const char* name;
    int handlers;
    size_t limit;
    int maxWait;  // passes between two turns of one handler, at most
  };
  const Case cases[] = {
      {"300 ready, 128 per pass", 300, 128, 3},
      {"exactly two passes' worth", 256, 128, 2},
      {"fewer than a pass", 100, 128, 1},
      {"one per pass", 5, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int32_t> ids;
    for (int i = 0; i < c.handlers; ++i) ids.push_back(i * 3 + 1);  // ids need not be dense
    const std::vector<uint8_t> ready(ids.size(), 1);
    std::vector<int> lastServed(ids.size(), -1);
    int worst = 0;
    net::TurnPicker picker;
    for (int pass = 0; pass < 50; ++pass) {
      std::vector<size_t> picked;
      picker.pick(ids, ready, c.limit, picked);
      EXPECT_EQ(picked.size(), std::min(c.limit, ids.size()));
      for (size_t i : picked) {
        worst = std::max(worst, pass - lastServed[i]);
        lastServed[i] = pass;
      }
    }
    for (int last : lastServed) worst = std::max(worst, 50 - last);
    EXPECT_LE(worst, c.maxWait);
  }
}

TEST(TurnPicker, OnlyReadyHandlersAreTakenAndTheTurnSurvivesChangingSets) {
  net::TurnPicker picker;
  std::vector<size_t> picked;
  picker.pick({0, 1, 2, 3, 4, 5}, {1, 0, 1, 1, 0, 1}, 2, picked);
  EXPECT_EQ(picked, (std::vector<size_t>{0, 2}));
  // The set changed: id 3 and those after it come first now.
  picked.clear();
  picker.pick({1, 3, 5, 7}, {1, 1, 1, 1}, 3, picked);
  EXPECT_EQ(picked, (std::vector<size_t>{1, 2, 3}));
  picked.clear();
  picker.pick({1, 3, 5, 7}, {1, 1, 1, 1}, 3, picked);
  EXPECT_EQ(picked, (std::vector<size_t>{0, 1, 2})) << "wraps to the lowest id after the highest";
  picked.clear();
  picker.pick({}, {}, 3, picked);
  EXPECT_TRUE(picked.empty());
}

// A peer that never reads: Send is refused once the connection's bound is
// reached, queues nothing more, and the connection beside it goes on. Kept
// over its bound past the time allowed, it is closed as a slow reader.
TEST(HostileBounds, APeerThatNeverReadsMeetsItsSendBound) {
  struct Case {
    const char* name;
    int32_t slowReaderMs;
    bool closed;
  };
  const Case cases[] = {
      {"refused while it may still read", 3600 * 1000, false},
      {"closed as a slow reader", 0, true},
  };
  constexpr int64_t kBound = 256 * 1024;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    net::JobQueue jobs;
    net::Limits limits;
    limits.connectionSend = kBound;
    limits.slowReaderMs = c.slowReaderMs;
    net::SocketLoop loop(jobs, net::kMaxMessageLength, limits);
    RecordingSink sink;
    auto deliver = [&] {
      net::Job* job;
      while (jobs.tryPop(job)) {
        job->dispatch(sink);
        job->destroy();
      }
    };
    const uint16_t port = loop.listenerPort(loop.listen(0, 4, "127.0.0.1"));
    loop.start();
    Peer stalled, other;
    ASSERT_TRUE(stalled.connect(port));
    ASSERT_TRUE(waitFor([&] { return sink.count(Event::Accept) == 1; }, deliver));
    ASSERT_TRUE(other.connect(port));
    ASSERT_TRUE(waitFor([&] { return sink.count(Event::Accept) == 2; }, deliver));
    const int32_t stalledId = sink.of(Event::Accept).at(0).id;
    const int32_t otherId = sink.of(Event::Accept).at(1).id;

    // The kernel's buffers take their share first; past them the bound holds.
    const std::string chunk = pattern(16 * 1024);
    int64_t accepted = 0;
    bool refused = false;
    while (!refused && accepted < 64 * 1048576) {
      const int64_t before = loop.pending(stalledId);  // the socket thread only lowers it meanwhile
      refused = !loop.send(stalledId, chunk.data(), static_cast<int32_t>(chunk.size()));
      if (refused) {
        EXPECT_LE(loop.pending(stalledId), before) << "a refused Send queues nothing";
      } else {
        accepted += static_cast<int64_t>(chunk.size());
      }
      EXPECT_LE(loop.pending(stalledId), kBound);
    }
    ASSERT_TRUE(refused) << "Send kept queueing for a peer that never reads";

    // The connection beside it is not held back.
    std::string expected;
    for (int i = 0; i < 10; ++i) {
      const std::string m = pattern(16 * 1024, static_cast<unsigned>(i));
      ASSERT_TRUE(loop.send(otherId, m.data(), static_cast<int32_t>(m.size())));
      expected += frame(m);
    }
    EXPECT_EQ(other.recvExactly(expected.size()), expected);

    if (c.closed) {
      // The game keeps sending; once the kernel holds no more, the queue
      // stays full and the connection goes.
      ASSERT_TRUE(waitFor([&] { return sink.count(Event::Disconnect) == 1; },
                          [&] {
                            loop.send(stalledId, chunk.data(), static_cast<int32_t>(chunk.size()));
                            deliver();
                          }));
      EXPECT_EQ(sink.of(Event::Disconnect).at(0).id, stalledId);
      char text[256];
      loop.copyError(text);
      EXPECT_EQ(std::string(text).rfind("Send full [", 0), 0u) << text;
      EXPECT_FALSE(loop.send(stalledId, "x", 1));
    } else {
      for (int i = 0; i < 20; ++i) {
        deliver();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      EXPECT_EQ(sink.count(Event::Disconnect), 0u);
    }
    EXPECT_TRUE(loop.send(otherId, "still", 5));
    EXPECT_EQ(other.recvExactly(9), frame("still"));
    loop.stop();
    jobs.clear();
  }
}

// Policy answers are queued within the send bound like messages: a peer that
// keeps asking without reading meets it as any peer that does not read. Here
// the bound is below one answer, so the first request already meets it.
TEST(HostileBounds, PolicyAnswersCountAgainstTheSendBound) {
  net::Limits limits;
  limits.connectionSend = net::kPolicyAnswerSize - 1;
  ManualLoop m(limits);
  std::vector<int32_t> ids;
  auto peers = connectMany(m.loop, 1, ids);
  ASSERT_EQ(peers.size(), 1u);
  ASSERT_TRUE(peers[0]->sendAll(std::string(net::kPolicyRequest, net::kPolicyRequestSize)));
  ASSERT_TRUE(waitFor([&] { return m.sink.count(Event::Disconnect) == 1; }, [&] { m.pump(); }));
  char text[256];
  m.loop.copyError(text);
  EXPECT_EQ(std::string(text).rfind("Send full [", 0), 0u) << text;
  EXPECT_TRUE(peers[0]->closedByOther());
}
