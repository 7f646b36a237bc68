// The socket loop over loopback: accepts, framing in both directions, closes,
// id reuse, the policy-file answer, pending bytes and the per-pass limit.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Framing.h"
#include "NetTestUtil.h"
#include "SocketLoop.h"

using namespace nettest;
using vexolib::net::SocketLoop;

namespace {

class LoopTest : public ::testing::Test {
 protected:
  LoopTest() : loop_(jobs_, vexolib::net::kMaxMessageLength) {}

  void SetUp() override {
    ASSERT_TRUE(vexolib::net::sock::startup());
    listenId_ = loop_.listen(0, 64, "127.0.0.1");
    ASSERT_NE(listenId_, SocketLoop::kNoId);
    port_ = loop_.listenerPort(listenId_);
    ASSERT_NE(port_, 0);
  }
  void TearDown() override {
    loop_.stop();
    drain();
  }

  void drain() {
    vexolib::net::Job* job;
    while (jobs_.tryPop(job)) {
      job->dispatch(sink_);
      job->destroy();
    }
  }
  // Connects a peer and returns the id the loop gave its connection.
  int32_t accept(Peer& peer) {
    const size_t before = sink_.count(Event::Accept);
    EXPECT_TRUE(peer.connect(port_));
    EXPECT_TRUE(waitFor([&] { return sink_.count(Event::Accept) > before; }, [&] { pump(); }));
    return sink_.of(Event::Accept).back().id;
  }
  // The socket thread runs unless a test drives the passes itself.
  virtual void pump() { drain(); }
  std::string error() {
    char text[256];
    loop_.copyError(text);
    return text;
  }

  vexolib::net::JobQueue jobs_;
  SocketLoop loop_;
  RecordingSink sink_;
  int32_t listenId_ = -1;
  uint16_t port_ = 0;
};

class RunningLoop : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    loop_.start();
  }
};

std::vector<std::string> received(RecordingSink& sink, int32_t id) {
  std::vector<std::string> out;
  for (const Event& e : sink.of(Event::Recv, id)) out.push_back(e.data);
  return out;
}

}  // namespace

TEST_F(RunningLoop, AcceptReportsListenerAndPeerAddresses) {
  Peer peer;
  const int32_t id = accept(peer);
  const Event e = sink_.of(Event::Accept).back();
  EXPECT_EQ(e.listenPort, port_);
  EXPECT_EQ(e.ip, kLoopback);
  EXPECT_EQ(e.port, vexolib::net::sock::localPort(peer.sock()));
  EXPECT_NE(id, listenId_);
  ASSERT_NE(loop_.peerName(id), nullptr);
  EXPECT_STREQ(loop_.peerName(id), "127.0.0.1");
  EXPECT_EQ(loop_.peerName(listenId_), nullptr);
  EXPECT_EQ(loop_.peerName(999), nullptr);
  EXPECT_EQ(loop_.peerName(-1), nullptr);
}

TEST_F(RunningLoop, MessagesOfEverySizeClassBoundaryArriveWholeBothWays) {
  std::vector<size_t> sizes = {0, 1};
  for (int s : vexolib::net::msgmempool::MsgMemPool::kSizes) {
    sizes.push_back(static_cast<size_t>(s) - 1);
    sizes.push_back(static_cast<size_t>(s));
    sizes.push_back(static_cast<size_t>(s) + 1);
  }
  sizes.push_back(static_cast<size_t>(vexolib::net::kMaxMessageLength));
  Peer peer;
  const int32_t id = accept(peer);
  std::vector<std::string> sent;
  for (size_t i = 0; i < sizes.size(); ++i) {
    sent.push_back(pattern(sizes[i], static_cast<unsigned>(i)));
    ASSERT_TRUE(peer.sendAll(frame(sent.back())));
  }
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Recv) == sent.size(); }, [&] { drain(); }, 30000));
  EXPECT_EQ(received(sink_, id), sent);

  for (const std::string& m : sent) ASSERT_TRUE(loop_.send(id, m.data(), static_cast<int32_t>(m.size())));
  for (const std::string& m : sent) ASSERT_EQ(peer.recvExactly(m.size() + 4), frame(m));
  EXPECT_TRUE(waitFor([&] { return loop_.pending(id) == 0; }));
  EXPECT_EQ(error(), "");
}

TEST_F(RunningLoop, OneLengthPastTheLimitClosesWithFlashAndKeepsWhatCameBefore) {
  Peer peer, other;
  const int32_t id = accept(peer);
  const int32_t otherId = accept(other);
  ASSERT_TRUE(peer.sendAll(frame("before")));
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Recv) == 1; }, [&] { drain(); }));
  ASSERT_TRUE(peer.sendAll(lengthOnly(vexolib::net::kMaxMessageLength + 1) + "rest"));
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Disconnect) == 1; }, [&] { drain(); }));
  EXPECT_EQ(error(), "flash");
  EXPECT_EQ(received(sink_, id), std::vector<std::string>{"before"});
  EXPECT_EQ(sink_.of(Event::Disconnect).at(0).id, id);
  EXPECT_TRUE(peer.closedByOther());
  // The other connection goes on.
  ASSERT_TRUE(other.sendAll(frame("still here")));
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Recv) == 2; }, [&] { drain(); }));
  EXPECT_EQ(received(sink_, otherId), std::vector<std::string>{"still here"});
}

TEST_F(RunningLoop, ManyMessagesInOneWriteAndOneMessageOverManyWrites) {
  Peer peer;
  const int32_t id = accept(peer);
  std::string burst;
  std::vector<std::string> expected;
  for (int i = 0; i < 300; ++i) {
    expected.push_back("m" + std::to_string(i));
    burst += frame(expected.back());
  }
  ASSERT_TRUE(peer.sendAll(burst));
  // Header and payload dribbled in one byte at a time.
  const std::string slow = frame(pattern(40));
  for (char c : slow) {
    ASSERT_TRUE(peer.sendAll(std::string(1, c)));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  expected.push_back(pattern(40));
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Recv) == expected.size(); }, [&] { drain(); }));
  EXPECT_EQ(received(sink_, id), expected);
}

TEST_F(RunningLoop, PeerCloseSetsTheRecvErrorAndReportsOneDisconnect) {
  Peer peer;
  const int32_t id = accept(peer);
  peer.close();
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Disconnect) == 1; }, [&] { drain(); }));
  EXPECT_EQ(sink_.of(Event::Disconnect)[0].id, id);
  EXPECT_EQ(error().rfind("Recv ret  [0] Errno[", 0), 0u) << error();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  drain();
  EXPECT_EQ(sink_.count(Event::Disconnect), 1u);
  EXPECT_FALSE(loop_.send(id, "x", 1));
}

TEST_F(RunningLoop, DisconnectFromThisSideClosesThePeer) {
  Peer peer;
  const int32_t id = accept(peer);
  loop_.queueClose(id);
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Disconnect) == 1; }, [&] { drain(); }));
  EXPECT_TRUE(peer.closedByOther());
  EXPECT_EQ(error(), "");
}

TEST_F(RunningLoop, ClosedIdIsReusedOnlyAfterTheGameSawTheClose) {
  Peer a;
  const int32_t idA = accept(a);
  loop_.queueClose(idA);
  // Wait for the close without handing the disconnect to the game yet.
  ASSERT_TRUE(waitFor([&] { return a.closedByOther(); }));
  Peer b;
  ASSERT_TRUE(b.connect(port_));
  // Let the socket thread accept b before the game takes the disconnect.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Accept) == 2; }, [&] { drain(); }));
  const int32_t idB = sink_.of(Event::Accept).back().id;
  EXPECT_NE(idB, idA) << "a new connection must not take an id whose close is still on its way";
  ASSERT_EQ(sink_.of(Event::Disconnect).size(), 1u);  // delivered by the drain above
  Peer c;
  EXPECT_EQ(accept(c), idA);
  // A second Disconnect of the old id now closes the handler that took it.
  loop_.queueClose(idA);
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Disconnect) == 2; }, [&] { drain(); }));
  EXPECT_TRUE(c.closedByOther());
}

TEST_F(RunningLoop, SecondDisconnectBeforeReuseIsSkipped) {
  Peer a, b;
  const int32_t idA = accept(a);
  const int32_t idB = accept(b);
  loop_.queueClose(idA);
  loop_.queueClose(idA);
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Disconnect) == 1; }, [&] { drain(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  drain();
  EXPECT_EQ(sink_.count(Event::Disconnect), 1u);
  EXPECT_TRUE(loop_.send(idB, "ok", 2));
  EXPECT_EQ(b.recvExactly(6), frame("ok"));
}

TEST_F(RunningLoop, PolicyRequestGetsTheExactAnswerAndFramingGoesOn) {
  Peer peer;
  const int32_t id = accept(peer);
  ASSERT_TRUE(peer.sendAll(std::string("<policy-file-request/>", 23)));
  const std::string answer = peer.recvExactly(89);
  EXPECT_EQ(answer, std::string("<cross-domain-policy><allow-access-from domain=\"*\" to-ports=\"*\" />"
                                "</cross-domain-policy>",
                                89));
  ASSERT_TRUE(peer.sendAll(frame("after")));
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Recv) == 1; }, [&] { drain(); }));
  EXPECT_EQ(received(sink_, id), std::vector<std::string>{"after"});
  EXPECT_TRUE(waitFor([&] { return loop_.pending(id) == 0; }));
  EXPECT_EQ(sink_.count(Event::Disconnect), 0u);
}

TEST_F(RunningLoop, SendRefusesListenersUnknownIdsAndBadLengths) {
  Peer peer;
  const int32_t id = accept(peer);
  EXPECT_FALSE(loop_.send(listenId_, "x", 1));
  EXPECT_FALSE(loop_.send(12345, "x", 1));
  EXPECT_FALSE(loop_.send(-7, "x", 1));
  EXPECT_FALSE(loop_.send(id, "x", -1));
  EXPECT_FALSE(loop_.send(id, nullptr, 5));
  EXPECT_TRUE(loop_.send(id, nullptr, 0));
  EXPECT_EQ(peer.recvExactly(4), lengthOnly(0));
}

TEST_F(RunningLoop, BlockingConnectToTheLoopsOwnListener) {
  const int32_t id = loop_.connect(kLoopback, port_, 2000);
  ASSERT_NE(id, SocketLoop::kNoId);
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Accept) == 1; }, [&] { drain(); }));
  const int32_t accepted = sink_.of(Event::Accept)[0].id;
  ASSERT_TRUE(loop_.send(id, "ping", 4));
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Recv) == 1; }, [&] { drain(); }));
  EXPECT_EQ(received(sink_, accepted), std::vector<std::string>{"ping"});
}

TEST_F(RunningLoop, FailedConnectsAndListensAddNothing) {
  // A port nobody listens on: take one from a listener and close it.
  const int32_t tmp = loop_.listen(0, 1, "127.0.0.1");
  const uint16_t freePort = loop_.listenerPort(tmp);
  loop_.queueClose(tmp);
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Disconnect) == 1; }, [&] { drain(); }));
  EXPECT_EQ(loop_.connect(kLoopback, freePort, 1000), SocketLoop::kNoId);
  EXPECT_EQ(loop_.listen(port_, 1, "127.0.0.1"), SocketLoop::kNoId) << "port already taken";
}

// The thread does not run: each test step is one pass.
class ManualLoop : public LoopTest {
 protected:
  void pump() override {
    loop_.runPass();
    drain();
  }
};

TEST_F(ManualLoop, PendingCountsFramedBytesUntilTheBatchIsOut) {
  Peer peer;
  const int32_t id = accept(peer);
  ASSERT_TRUE(loop_.send(id, "0123456789", 10));
  EXPECT_EQ(loop_.pending(id), 14);
  EXPECT_TRUE(loop_.inWriteSet(id));
  ASSERT_TRUE(waitFor([&] { return loop_.pending(id) == 0; }, [&] { pump(); }));
  EXPECT_FALSE(loop_.inWriteSet(id));
  EXPECT_EQ(peer.recvExactly(14), frame("0123456789"));
}

TEST_F(ManualLoop, AtMost128ReadableHandlersPerPass) {
  constexpr int kPeers = 200;
  const int32_t wide = loop_.listen(0, 512, "127.0.0.1");  // room for every connect before any accept
  const uint16_t widePort = loop_.listenerPort(wide);
  std::vector<std::unique_ptr<Peer>> peers;
  for (int i = 0; i < kPeers; ++i) {
    peers.push_back(std::make_unique<Peer>());
    ASSERT_TRUE(peers.back()->connect(widePort));
  }
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Accept) == kPeers; }, [&] { pump(); }));
  for (auto& p : peers) ASSERT_TRUE(p->sendAll(frame("x")));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(loop_.runPass(), 128);
  EXPECT_EQ(loop_.runPass(), kPeers - 128);
  loop_.runPass();  // moves the last jobs out of the overflow list
  drain();
  EXPECT_EQ(sink_.count(Event::Recv), static_cast<size_t>(kPeers));
}

// A game that takes one job at a time: nothing is lost, order is kept.
TEST_F(RunningLoop, SlowGameLosesNoEventAndKeepsOrder) {
  Peer peer;
  const int32_t id = accept(peer);
  std::vector<std::string> expected;
  std::string burst;
  for (int i = 0; i < 2000; ++i) {
    expected.push_back(std::to_string(i));
    burst += frame(expected.back());
  }
  ASSERT_TRUE(peer.sendAll(burst));
  peer.close();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the queue fills up
  // One job at a time, as a slow game would take them.
  auto takeOne = [&] {
    vexolib::net::Job* job;
    if (jobs_.tryPop(job)) {
      job->dispatch(sink_);
      job->destroy();
    }
  };
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Disconnect) == 1; }, takeOne, 30000));
  EXPECT_EQ(received(sink_, id), expected);
  const auto events = sink_.events();
  EXPECT_EQ(events.back().kind, Event::Disconnect);
}
