// Peers that do not play along: a flood next to an echoing connection,
// back-pressure on the connection and on all of them, and a table of call
// orders and byte streams that once went wrong (policy request followed by
// garbage, Stop without Start, Disconnect between Stop and Start, data of a
// background connect arriving before the game heard of the connection).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "NetTestUtil.h"
#include "NetworkManager.h"
#include "PeakMemory.h"

using namespace nettest;
namespace net = vexolib::net;
using Clock = std::chrono::steady_clock;

namespace {

// Sends numbered flood frames as fast as the socket takes them, on its own
// thread, never reading; stops when asked (it never blocks for long).
class Flooder {
 public:
  explicit Flooder(uint16_t port) {
    ok_ = peer_.connect(port) && net::sock::setNonBlocking(peer_.sock());
    thread_ = std::thread([this] { run(); });
  }
  ~Flooder() { stop(); }
  void stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool ok() const { return ok_; }
  uint32_t framesSent() const { return sent_.load(); }
  // True while the socket refuses more (the receiver stopped reading).
  bool blocked() const { return blocked_.load(); }

 private:
  void run() {
    std::string block;
    uint32_t next = 0;
    size_t at = 0;
    while (!done_.load() && ok_) {
      if (at == block.size()) {
        block.clear();
        for (int i = 0; i < 1024; ++i) block += floodFrame(next + static_cast<uint32_t>(i));
        next += 1024;
        at = 0;
      }
      const int n = net::sock::sendSome(peer_.sock(), block.data() + at, static_cast<int>(block.size() - at));
      if (n > 0) {
        at += static_cast<size_t>(n);
        sent_.store(next - static_cast<uint32_t>((block.size() - at + 11) / 12));  // whole frames out
        blocked_ = false;
      } else if (n < 0 && net::sock::wouldBlock(net::sock::lastError())) {
        blocked_ = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      } else {
        return;
      }
    }
  }
  Peer peer_;
  bool ok_ = false;
  std::atomic<bool> done_{false};
  std::atomic<bool> blocked_{false};
  std::atomic<uint32_t> sent_{0};
  std::thread thread_;
};

// The game: echoes every message that is not a flood frame, and checks that
// flood frames arrive whole and numbered in order.
class GameSink : public net::DefaultCallback {
 public:
  net::NetworkService* service = nullptr;
  nettest::FloodCheck flood;
  void onRecv(int32_t id, const uint8_t* data, int32_t length) override {
    if (flood.take(data, length)) return;
    service->loop().send(id, data, length);
  }
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * (v.size() - 1))];
}

}  // namespace

TEST(HostilePeer, FloodNextToAnEchoingConnection) {
  GameSink game;
  net::NetworkService service(&game, net::kMaxMessageLength);
  game.service = &service;
  const int32_t listener = service.loop().listen(0, 16, "127.0.0.1");
  const uint16_t port = service.loop().listenerPort(listener);
  service.start();

  resetPeakMemory();
  const double memoryBefore = peakMemoryMiB();
  Flooder flooder(port);
  ASSERT_TRUE(flooder.ok());

  // The echoing peer: one message in flight, round trips timed.
  std::atomic<bool> done{false};
  std::vector<double> roundTripsMs;
  std::string echoError;
  std::atomic<bool> echoFinished{false};
  std::thread echo([&] {
    struct Finish {
      std::atomic<bool>& flag;
      ~Finish() { flag = true; }
    } finish{echoFinished};
    Peer peer;
    if (!peer.connect(port)) {
      echoError = "connect";
      return;
    }
    for (uint32_t i = 0; !done.load(); ++i) {
      const std::string message = frame("echo " + std::to_string(i));
      const auto sent = Clock::now();
      if (!peer.sendAll(message) || peer.recvExactly(message.size()) != message) {
        echoError = "echo " + std::to_string(i) + " lost";
        return;
      }
      roundTripsMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });

  int64_t backlogPeak = 0;
  const auto until = Clock::now() + std::chrono::seconds(3);
  while (Clock::now() < until) {
    service.update();
    backlogPeak = std::max(backlogPeak, service.loop().backlogBytes());
    std::this_thread::sleep_for(std::chrono::microseconds(500));  // a frame's other work
  }
  const double memoryPeak = peakMemoryMiB();
  done = true;
  while (!echoFinished.load()) service.update();  // its last round trip
  echo.join();
  const auto stopStarted = Clock::now();
  service.stop();  // the flooder is still sending
  const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - stopStarted).count();
  flooder.stop();

  const double p99 = percentile(roundTripsMs, 0.99);
  std::printf(
      "flood: %u frames sent, %u delivered, echo round trips %zu, p50 %.2f ms, p99 %.2f ms, "
      "backlog peak %.2f MiB, memory peak +%.1f MiB, Stop %.1f ms\n",
      flooder.framesSent(), game.flood.received, roundTripsMs.size(), percentile(roundTripsMs, 0.5), p99,
      backlogPeak / 1048576.0, memoryPeak - memoryBefore, stopMs);
  EXPECT_EQ(echoError, "");
  EXPECT_GT(roundTripsMs.size(), kSanitized ? 5u : 100u) << "the echoing connection keeps its turns";
  EXPECT_GT(game.flood.received, 10000u);
  EXPECT_EQ(game.flood.outOfOrder, 0) << "flood frames must arrive whole and in order";
  // One read past the bound at most: 64 KiB of 12-byte frames.
  EXPECT_LE(backlogPeak, net::SocketLoop::kConnectionBacklog + 65536 / 12 * net::Backlog::costOf(8) + 4096);
  EXPECT_LT(stopMs, 200.0);
  if (!kSanitized) {
    EXPECT_LT(p99, 100.0);
    EXPECT_LT(memoryPeak - memoryBefore, 48.0) << "the backlog bound keeps the process small";
  }
}

// A small loop-level fixture with chosen backlog bounds, driven by the test's
// own game loop.
class BackPressure : public ::testing::Test {
 protected:
  static constexpr int64_t kConnectionBound = 256 * 1024;
  static constexpr int64_t kTotalBound = 512 * 1024;
  // Each test starts the loop with the bounds it is about.
  void startLoop(int64_t connectionBound, int64_t totalBound) {
    net::Limits limits;
    limits.connectionBacklog = connectionBound;
    limits.totalBacklog = totalBound;
    loop_ = std::make_unique<net::SocketLoop>(jobs_, net::kMaxMessageLength, limits);
    listener_ = loop_->listen(0, 16, "127.0.0.1");
    port_ = loop_->listenerPort(listener_);
    loop_->start();
  }
  void TearDown() override {
    if (loop_) loop_->stop();
    jobs_.clear();
  }
  // Takes every waiting job; counts the flood frames of each connection.
  void takeAll() {
    net::Job* job;
    while (jobs_.tryPop(job)) {
      job->dispatch(sink_);
      job->destroy();
    }
  }
  struct Counter : net::DefaultCallback {
    std::vector<uint32_t> next = std::vector<uint32_t>(64, 0);
    int outOfOrder = 0;
    void onRecv(int32_t id, const uint8_t* data, int32_t length) override {
      uint32_t seq;
      if (length != 8 || id < 0 || id >= 64) return;
      std::memcpy(&seq, data + 1, 4);
      outOfOrder += seq != next[static_cast<size_t>(id)];
      ++next[static_cast<size_t>(id)];
    }
  };
  net::JobQueue jobs_;
  std::unique_ptr<net::SocketLoop> loop_;
  Counter sink_;
  int32_t listener_ = -1;
  uint16_t port_ = 0;
};

TEST_F(BackPressure, ReadingStopsAtTheBoundAndResumesWhenTheGameTakesIt) {
  startLoop(kConnectionBound, kTotalBound);
  Flooder flooder(port_);
  ASSERT_TRUE(flooder.ok());
  // The game does not take anything: the loop must stop reading, and TCP
  // then holds the peer.
  ASSERT_TRUE(waitFor([&] { return flooder.blocked(); }, {}, 10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const int64_t held = loop_->backlogBytes();
  EXPECT_GE(held, kConnectionBound);
  EXPECT_LE(held, kConnectionBound + 65536 / 12 * net::Backlog::costOf(8) + 4096);
  const uint32_t sentWhileHeld = flooder.framesSent();
  // The game takes everything: the peer moves again and nothing is lost.
  ASSERT_TRUE(waitFor([&] { return flooder.framesSent() > sentWhileHeld + 100000; }, [&] { takeAll(); }, 20000));
  flooder.stop();
  const uint32_t sent = flooder.framesSent();
  ASSERT_TRUE(waitFor([&] { return sink_.next[1] >= sent; }, [&] { takeAll(); }, 20000));
  EXPECT_EQ(sink_.next[1], sent);
  EXPECT_EQ(sink_.outOfOrder, 0);
  // Only the frame the flooder stopped in may still be on its way.
  EXPECT_LE(loop_->backlogBytes() - loop_->partialBytes(), 0);
}

TEST_F(BackPressure, AllConnectionsTogetherStayUnderTheTotalBound) {
  // Each connection alone may hold far more than the total: only the total
  // bound can stop them.
  startLoop(64 * 1048576, kTotalBound);
  std::vector<std::unique_ptr<Flooder>> flooders;
  for (int i = 0; i < 4; ++i) {
    flooders.push_back(std::make_unique<Flooder>(port_));
    ASSERT_TRUE(flooders.back()->ok());
  }
  ASSERT_TRUE(
      waitFor([&] { return std::all_of(flooders.begin(), flooders.end(), [](auto& f) { return f->blocked(); }); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // Four connections could hold four times the connection bound; together
  // they stop at the total, give or take one read per connection.
  EXPECT_LE(loop_->backlogBytes(), kTotalBound + 4 * (65536 / 12 * net::Backlog::costOf(8) + 4096));
  std::vector<uint32_t> before;
  for (auto& f : flooders) before.push_back(f->framesSent());
  // Once the game takes its messages every connection moves again.
  ASSERT_TRUE(waitFor(
      [&] {
        for (size_t i = 0; i < flooders.size(); ++i)
          if (flooders[i]->framesSent() < before[i] + 10000) return false;
        return true;
      },
      [&] { takeAll(); }, 20000));
  for (auto& f : flooders) f->stop();
  EXPECT_EQ(sink_.outOfOrder, 0);
}

// ---- call orders and byte streams, one fresh service per case ----

namespace {
struct Case {
  const char* name;
  std::function<void(net::NetworkService&, RecordingSink&)> run;
};

std::string policyRequest() { return std::string("<policy-file-request/>", 23); }
const std::string kPolicyAnswer(
    "<cross-domain-policy><allow-access-from domain=\"*\" to-ports=\"*\" />"
    "</cross-domain-policy>",
    89);

// Everything the peer receives until the library closes the connection.
std::string readUntilClosed(Peer& peer) {
  std::string all;
  for (;;) {
    std::string more = peer.recvExactly(1);
    if (more.empty()) return all;
    all += more;
  }
}

int32_t acceptOne(net::NetworkService& s, RecordingSink& sink, Peer& peer, uint16_t port) {
  const size_t before = sink.count(Event::Accept);
  EXPECT_TRUE(peer.connect(port));
  EXPECT_TRUE(waitFor([&] { return sink.count(Event::Accept) > before; }, [&] { s.update(); }));
  return sink.of(Event::Accept).empty() ? -1 : sink.of(Event::Accept).back().id;
}

bool portRefuses(uint16_t port) {
  const net::Sock s = net::sock::tcp();
  net::sock::setNonBlocking(s);
  const bool refused = !net::sock::connectStart(s, kLoopback, port) || !net::sock::waitConnected(s, 1000);
  net::sock::closeSock(s);
  return refused;
}

const Case kCases[] = {
    {"policy request followed by garbage gets one answer, then flash",
     [](net::NetworkService& s, RecordingSink& sink) {
       const uint16_t port = s.loop().listenerPort(s.loop().listen(0, 4, "127.0.0.1"));
       s.start();
       Peer peer;
       acceptOne(s, sink, peer, port);
       ASSERT_TRUE(peer.sendAll(policyRequest() + std::string(2025, '\xFF')));
       EXPECT_EQ(readUntilClosed(peer), kPolicyAnswer) << "one answer per request, not per header";
       ASSERT_TRUE(waitFor([&] { return sink.count(Event::Disconnect) == 1; }, [&] { s.update(); }));
       char text[256];
       s.loop().copyError(text);
       EXPECT_STREQ(text, "flash");
     }},
    {"policy request followed by frames gets one answer and the frames",
     [](net::NetworkService& s, RecordingSink& sink) {
       const uint16_t port = s.loop().listenerPort(s.loop().listen(0, 4, "127.0.0.1"));
       s.start();
       Peer peer;
       const int32_t id = acceptOne(s, sink, peer, port);
       ASSERT_TRUE(peer.sendAll(policyRequest() + frame("a") + frame("bc")));
       EXPECT_EQ(peer.recvExactly(89), kPolicyAnswer);
       ASSERT_TRUE(waitFor([&] { return sink.count(Event::Recv) == 2; }, [&] { s.update(); }));
       EXPECT_EQ(sink.of(Event::Recv, id).at(0).data, "a");
       EXPECT_EQ(sink.of(Event::Recv, id).at(1).data, "bc");
       ASSERT_TRUE(s.loop().send(id, "z", 1));
       EXPECT_EQ(peer.recvExactly(5), frame("z")) << "nothing else was sent";
       EXPECT_EQ(sink.count(Event::Disconnect), 0u);
     }},
    {"Stop without Start closes and forgets listeners and connections",
     [](net::NetworkService& s, RecordingSink& sink) {
       const int32_t listener = s.loop().listen(0, 4, "127.0.0.1");
       const uint16_t port = s.loop().listenerPort(listener);
       const int32_t id = s.loop().connect(kLoopback, port, 2000);  // the kernel completes it unaccepted
       ASSERT_NE(id, net::SocketLoop::kNoId);
       s.stop();
       EXPECT_TRUE(portRefuses(port)) << "the listener must be closed";
       EXPECT_FALSE(s.loop().send(id, "x", 1));
       s.start();
       EXPECT_EQ(s.loop().listen(0, 4, "127.0.0.1"), 0) << "the table starts over";
       for (int i = 0; i < 20; ++i) {
         s.update();
         std::this_thread::sleep_for(std::chrono::milliseconds(5));
       }
       EXPECT_TRUE(sink.events().empty()) << "nothing of the old handlers reaches the game";
     }},
    {"Disconnect between Stop and Start reaches no later handler",
     [](net::NetworkService& s, RecordingSink& sink) {
       const int32_t oldListener = s.loop().listen(0, 4, "127.0.0.1");
       const int32_t oldConnection = s.loop().connect(kLoopback, s.loop().listenerPort(oldListener), 2000);
       ASSERT_EQ(oldConnection, 1);
       s.start();
       s.stop();
       s.loop().queueClose(oldConnection);  // the game closes what it still remembers
       // New handlers made before the next Start take the old ids.
       const int32_t listener = s.loop().listen(0, 4, "127.0.0.1");
       const int32_t id = s.loop().connect(kLoopback, s.loop().listenerPort(listener), 2000);
       ASSERT_EQ(id, oldConnection);
       s.start();
       ASSERT_TRUE(waitFor([&] { return sink.count(Event::Accept) == 1; }, [&] { s.update(); }));
       ASSERT_TRUE(s.loop().send(id, "still open", 10));
       ASSERT_TRUE(waitFor([&] { return sink.count(Event::Recv) == 1; }, [&] { s.update(); }));
       EXPECT_EQ(sink.of(Event::Recv).at(0).data, "still open");
       EXPECT_EQ(sink.count(Event::Disconnect), 0u);
     }},
    {"onConnect of a background connect comes before its messages and its close",
     [](net::NetworkService& s, RecordingSink& sink) {
       // A peer that greets and hangs up as soon as it accepts.
       const net::Sock server = net::sock::tcp();
       ASSERT_TRUE(net::sock::bindListen(server, kLoopback, 0, 4));
       const uint16_t port = net::sock::localPort(server);
       std::thread greeter([&] {
         uint32_t ip;
         uint16_t p;
         net::Sock c = net::kNoSock;
         for (int i = 0; i < 5000 && c == net::kNoSock; ++i) {
           c = net::sock::acceptOne(server, &ip, &p);
           if (c == net::kNoSock) std::this_thread::sleep_for(std::chrono::milliseconds(1));
         }
         Peer peer(c);
         peer.sendAll(frame("hello") + frame("bye"));
       });
       net::sock::setNonBlocking(server);
       s.start();
       int32_t request = -1;
       ASSERT_TRUE(s.connectAsyncDotted("127.0.0.1", port, &request, 2000));
       greeter.join();
       std::this_thread::sleep_for(std::chrono::milliseconds(200));  // data and close are there first
       ASSERT_TRUE(waitFor([&] { return sink.count(Event::Disconnect) == 1; }, [&] { s.update(); }));
       const auto events = sink.events();
       ASSERT_EQ(events.size(), 4u);
       EXPECT_EQ(events[0].kind, Event::Connect);
       EXPECT_TRUE(events[0].ok);
       EXPECT_EQ(events[0].requestId, request);
       const int32_t id = events[0].id;
       EXPECT_EQ(events[1].kind, Event::Recv);
       EXPECT_EQ(events[1].data, "hello");
       EXPECT_EQ(events[2].kind, Event::Recv);
       EXPECT_EQ(events[2].data, "bye");
       EXPECT_EQ(events[3].kind, Event::Disconnect);
       for (const Event& e : events) EXPECT_EQ(e.id, id);
       net::sock::closeSock(server);
     }},
    {"a background connect started before Stop reaches nothing after a new Start",
     [](net::NetworkService& s, RecordingSink& sink) {
       // The far end: a plain listener that accepts when the test says so.
       const net::Sock server = net::sock::tcp();
       ASSERT_TRUE(net::sock::bindListen(server, kLoopback, 0, 8));
       const uint16_t port = net::sock::localPort(server);
       uint32_t ip;
       uint16_t p;
       s.start();
       int32_t old = -1;
       ASSERT_TRUE(s.connectAsyncDotted("127.0.0.1", port, &old, 2000));
       Peer first(net::sock::acceptOne(server, &ip, &p));  // the connect is made
       s.stop();  // the game has not called Update: the answer is still to come
       s.start();
       // New handlers take the ids of the old generation again.
       ASSERT_EQ(s.loop().listen(0, 4, "127.0.0.1"), 0);
       int32_t fresh = -1;
       ASSERT_TRUE(s.connectAsyncDotted("127.0.0.1", port, &fresh, 2000));
       Peer second(net::sock::acceptOne(server, &ip, &p));
       ASSERT_TRUE(waitFor([&] { return sink.count(Event::Connect) >= 1; }, [&] { s.update(); }));
       for (int i = 0; i < 20; ++i) {
         s.update();
         std::this_thread::sleep_for(std::chrono::milliseconds(5));
       }
       const auto connects = sink.of(Event::Connect);
       ASSERT_EQ(connects.size(), 1u) << "only the connect of this generation is answered";
       EXPECT_EQ(connects[0].requestId, fresh);
       EXPECT_TRUE(connects[0].ok);
       EXPECT_NE(connects[0].id, 0) << "the listener holds id 0";
       net::sock::closeSock(server);
     }},
};
}  // namespace

TEST(HostilePeer, CallOrdersAndByteStreams) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink;
    net::NetworkService service(&sink, net::kMaxMessageLength);
    c.run(service, sink);
    service.stop();
  }
}
