// Delivery of events within the budget, pause, and background connects.
#include <gtest/gtest.h>

#include <thread>

#include "NetTestUtil.h"
#include "NetworkManager.h"

using namespace nettest;
using vexolib::net::NetworkService;

namespace {

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() : service_(&sink_, vexolib::net::kMaxMessageLength) {}
  void TearDown() override { service_.stop(); }

  void queueMessages(int n) {
    for (int i = 0; i < n; ++i) {
      auto* block = static_cast<char*>(vexolib::net::msgmempool::instance().allocate(1));
      block[0] = 'x';
      service_.jobs().push(vexolib::net::JobRecv::create(block, 1, i));
    }
  }
  // A free loopback port: the system picks one for a listener that closes again.
  static uint16_t unusedPort() {
    vexolib::net::Sock s = vexolib::net::sock::tcp();
    vexolib::net::sock::bindListen(s, kLoopback, 0, 1);
    const uint16_t port = vexolib::net::sock::localPort(s);
    vexolib::net::sock::closeSock(s);
    return port;
  }

  RecordingSink sink_;
  NetworkService service_;
};

}  // namespace

TEST_F(ServiceTest, SlowJobsEndTheCallAfterTheFirstGroupPastTheBudget) {
  queueMessages(100);
  sink_.onRecvHook = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  service_.update();
  EXPECT_EQ(sink_.count(Event::Recv), 11u);  // frameDealCount 10: one group of 11
}

TEST_F(ServiceTest, QuickJobsGoOnInWholeGroups) {
  queueMessages(500);
  sink_.onRecvHook = [] { std::this_thread::sleep_for(std::chrono::microseconds(100)); };
  service_.update();
  const size_t n = sink_.count(Event::Recv);
  EXPECT_EQ(n % 11, 0u) << n;
  EXPECT_GE(n, 11u);  // more than one group unless the machine is very slow
  EXPECT_LT(n, 500u);
}

TEST_F(ServiceTest, DealCountZeroChecksTheTimeAfterEveryJob) {
  queueMessages(50);
  service_.setFrameDealCount(0);
  sink_.onRecvHook = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  service_.update();
  const size_t n = sink_.count(Event::Recv);
  EXPECT_GE(n, 1u);
  EXPECT_LE(n, 9u);  // each job takes at least 1 ms; the call ends once 8 ms are past
}

TEST_F(ServiceTest, PauseHoldsJobsButNotConnectResults) {
  queueMessages(5);
  service_.setPaused(true);
  int32_t request = -1;
  ASSERT_TRUE(service_.connectAsyncText("localhost", 80, &request, 100));
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Connect) == 1; }, [&] { service_.update(); }));
  EXPECT_EQ(sink_.count(Event::Recv), 0u);
  const Event e = sink_.of(Event::Connect)[0];
  EXPECT_FALSE(e.ok);  // names are not looked up
  EXPECT_EQ(e.requestId, request);
  EXPECT_EQ(e.ip, 0xFFFFFFFFu);
  EXPECT_EQ(e.port, 80);
  service_.setPaused(false);
  service_.update();
  EXPECT_EQ(sink_.count(Event::Recv), 5u);
}

TEST_F(ServiceTest, PausingFromACallbackStopsAfterTheCurrentJob) {
  queueMessages(5);
  sink_.onRecvHook = [&] { service_.setPaused(true); };
  service_.update();
  EXPECT_EQ(sink_.count(Event::Recv), 1u);
  sink_.onRecvHook = nullptr;
  service_.setPaused(false);
  service_.update();
  EXPECT_EQ(sink_.count(Event::Recv), 5u);
}

TEST_F(ServiceTest, BackgroundConnectsReportTheirRequest) {
  const int32_t listener = service_.loop().listen(0, 8, "127.0.0.1");
  const uint16_t port = service_.loop().listenerPort(listener);
  service_.start();
  int32_t viaDotted = -1, viaText = -1, bad = -1;
  ASSERT_TRUE(service_.connectAsyncDotted("127.0.0.1", port, &viaDotted, 2000));
  ASSERT_TRUE(service_.connectAsyncText("127.0.0.1", port, &viaText, 2000));
  EXPECT_EQ(viaText, viaDotted + 1);
  EXPECT_FALSE(service_.connectAsyncDotted("127.0.0.1.5", port, &bad, 2000));
  EXPECT_FALSE(service_.connectAsyncDotted("localhost", port, &bad, 2000));
  EXPECT_FALSE(service_.connectAsyncDotted(nullptr, port, &bad, 2000));
  EXPECT_EQ(bad, -1) << "no id is taken for text that is not an address";
  int32_t next = -1;
  ASSERT_TRUE(service_.connectAsyncText(std::string(100, '1').c_str(), port, &next, 100));
  EXPECT_EQ(next, viaText + 1);
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Connect) == 3 && sink_.count(Event::Accept) == 2; },
                      [&] { service_.update(); }));
  for (const Event& e : sink_.of(Event::Connect)) {
    if (e.requestId == next) {
      EXPECT_FALSE(e.ok);
      EXPECT_EQ(e.ip, 0xFFFFFFFFu);
      continue;
    }
    EXPECT_TRUE(e.ok) << e.requestId;
    EXPECT_EQ(e.ip, kLoopback);
    EXPECT_EQ(e.port, port);
    EXPECT_NE(e.id, listener);
  }
}

TEST_F(ServiceTest, FullRequestQueueRefusesButUsesTheId) {
  const uint16_t port = unusedPort();
  // Without updates the result queue fills, the workers wait, and then the
  // request queue fills.
  int32_t id = -1, last = -1;
  size_t accepted = 0;
  bool refused = false;
  for (int i = 0; i < 4000 && !refused; ++i) {
    refused = !service_.connectAsyncDotted("127.0.0.1", port, &id, 500);
    if (!refused) {
      last = id;
      ++accepted;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  ASSERT_TRUE(refused);
  EXPECT_EQ(id, last + 1);
  EXPECT_GE(accepted, 256u);
  // The game takes results, the workers go on and empty the request queue.
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Connect) + 2 >= accepted; }, [&] { service_.update(); }));
  int32_t after = -1;
  ASSERT_TRUE(service_.connectAsyncDotted("127.0.0.1", port, &after, 500));
  EXPECT_EQ(after, id + 1);
  ++accepted;
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Connect) == accepted; }, [&] { service_.update(); }, 30000));
  for (const Event& e : sink_.of(Event::Connect)) EXPECT_FALSE(e.ok);
}

TEST_F(ServiceTest, StopReturnsWhileWorkersWaitForRoomForResults) {
  const uint16_t port = unusedPort();
  int32_t id = -1;
  for (int i = 0; i < 4000 && service_.connectAsyncDotted("127.0.0.1", port, &id, 500); ++i)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  const auto started = std::chrono::steady_clock::now();
  service_.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_FALSE(service_.workersRunning());
}

TEST_F(ServiceTest, StopDropsQueuedJobsAndConnectionsWithoutEvents) {
  const int32_t listener = service_.loop().listen(0, 8, "127.0.0.1");
  const uint16_t port = service_.loop().listenerPort(listener);
  service_.start();
  const int32_t id = service_.loop().connect(kLoopback, port, 2000);
  ASSERT_NE(id, vexolib::net::SocketLoop::kNoId);
  queueMessages(3);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  service_.stop();
  service_.update();
  EXPECT_TRUE(sink_.events().empty());
  EXPECT_FALSE(service_.loop().send(id, "x", 1));
  // Start after stop serves sockets again.
  const int32_t again = service_.loop().listen(0, 8, "127.0.0.1");
  EXPECT_EQ(again, 0) << "the table starts over after stop";
  service_.start();
  const int32_t c = service_.loop().connect(kLoopback, service_.loop().listenerPort(again), 2000);
  ASSERT_NE(c, vexolib::net::SocketLoop::kNoId);
  ASSERT_TRUE(waitFor([&] { return sink_.count(Event::Accept) == 1; }, [&] { service_.update(); }));
}
