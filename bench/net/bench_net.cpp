// Loopback echo, one message in flight per connection: messages per second
// and round-trip latency (p50/p99) for
//  - the network manager (socket loop plus Update delivery on a game thread,
//    on both ends),
//  - "same model": Boost.Asio with one io_context thread per end handing
//    events to a game thread through a queue drained in a per-frame update
//    call (the delivery model a game would build with Asio),
//  - raw Boost.Asio: the echo runs inside the io_context thread.
// Then a flood case: one connection sends 8-byte frames as fast as it can
// while 63 others echo; echo rate, p99 of the 63 and the memory high-water
// mark of the process.
#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "NetFrames.h"
#include "NetworkManager.h"
#include "PeakMemory.h"

namespace {
namespace net = vexolib::net;
using Clock = std::chrono::steady_clock;
constexpr uint32_t kLoopback = 0x7F000001;
constexpr char kFloodMark = 'F';  // first payload byte of a flood frame: not echoed

struct Result {
  double messagesPerSecond = 0;
  double p50us = 0;
  double p99us = 0;
  double highWaterMiB = 0;  // flood case only
  double floodPerSecond = 0;
};

// Round trips completed inside the measuring window.
class Recorder {
 public:
  void begin() {
    std::lock_guard<std::mutex> g(m_);
    rtts_.clear();
    measuring_ = true;
    start_ = Clock::now();
  }
  void record(Clock::time_point sent) {
    const auto now = Clock::now();
    std::lock_guard<std::mutex> g(m_);
    if (measuring_) rtts_.push_back(std::chrono::duration<double, std::micro>(now - sent).count());
  }
  Result end() {
    std::lock_guard<std::mutex> g(m_);
    measuring_ = false;
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    std::sort(rtts_.begin(), rtts_.end());
    auto pct = [&](double p) { return rtts_.empty() ? 0.0 : rtts_[static_cast<size_t>(p * (rtts_.size() - 1))]; };
    Result r;
    r.messagesPerSecond = rtts_.size() / seconds;
    r.p50us = pct(0.50);
    r.p99us = pct(0.99);
    return r;
  }

 private:
  std::mutex m_;
  std::vector<double> rtts_;
  bool measuring_ = false;
  Clock::time_point start_;
};

std::atomic<uint64_t> floodDelivered{0};

Result measure(Recorder& rec, double seconds, bool flood) {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // warm-up
  if (flood) resetPeakMemory();
  const uint64_t floodBefore = floodDelivered.load();
  rec.begin();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  Result r = rec.end();
  if (flood) {
    r.highWaterMiB = peakMemoryMiB();
    r.floodPerSecond = (floodDelivered.load() - floodBefore) / seconds;
  }
  return r;
}

// Sends 8-byte frames as fast as the socket takes them, never reading.
class Flooder {
 public:
  explicit Flooder(uint16_t port) {
    std::string block;
    for (int i = 0; i < 4096; ++i) block += nettest::frame(std::string(1, kFloodMark) + "1234567");
    thread_ = std::thread([this, port, block] {
      boost::asio::io_context io;
      boost::asio::ip::tcp::socket s(io);
      boost::system::error_code ec;
      s.connect({boost::asio::ip::make_address("127.0.0.1"), port}, ec);
      while (!ec && !done_.load()) boost::asio::write(s, boost::asio::buffer(block), ec);
    });
  }
  ~Flooder() { stop(); }
  void stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// ---- the network manager ----

class EchoServer : public net::DefaultCallback {
 public:
  net::NetworkService* service = nullptr;
  void onRecv(int32_t id, const uint8_t* data, int32_t length) override {
    if (length > 0 && data[0] == kFloodMark) {
      floodDelivered.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    service->loop().send(id, data, length);
  }
};

class EchoClient : public net::DefaultCallback {
 public:
  EchoClient(Recorder& rec, size_t size) : rec_(rec), payload_(size, 'x') {}
  net::NetworkService* service = nullptr;
  std::vector<Clock::time_point> sentAt;
  void kick(int32_t id) {
    sentAt[static_cast<size_t>(id)] = Clock::now();
    service->loop().send(id, payload_.data(), static_cast<int32_t>(payload_.size()));
  }
  void onRecv(int32_t id, const uint8_t*, int32_t) override {
    rec_.record(sentAt[static_cast<size_t>(id)]);
    kick(id);
  }

 private:
  Recorder& rec_;
  std::vector<char> payload_;
};

Result runVexolib(int connections, size_t size, double seconds, bool flood) {
  Recorder rec;
  EchoServer serverSink;
  EchoClient clientSink(rec, size);
  auto server = std::make_unique<net::NetworkService>(&serverSink, net::kMaxMessageLength);
  auto client = std::make_unique<net::NetworkService>(&clientSink, net::kMaxMessageLength);
  serverSink.service = server.get();
  clientSink.service = client.get();
  const int32_t listener = server->loop().listen(0, 256, "127.0.0.1");
  const uint16_t port = server->loop().listenerPort(listener);
  server->start();
  client->start();
  std::vector<int32_t> ids;
  for (int i = 0; i < connections; ++i) ids.push_back(client->loop().connect(kLoopback, port, 5000));
  clientSink.sentAt.resize(static_cast<size_t>(*std::max_element(ids.begin(), ids.end()) + 1));
  std::atomic<bool> done{false};
  // Each end's game thread calls Update as often as it can.
  auto game = [&](net::NetworkService* s) {
    while (!done.load()) {
      s->update();
      std::this_thread::yield();
    }
  };
  std::thread serverGame(game, server.get());
  std::thread clientGame([&] {
    for (int32_t id : ids) clientSink.kick(id);
    game(client.get());
  });
  std::unique_ptr<Flooder> flooder;
  if (flood) flooder = std::make_unique<Flooder>(port);
  const Result r = measure(rec, seconds, flood);
  const auto stopStart = Clock::now();
  if (flooder) flooder->stop();
  done = true;
  serverGame.join();
  clientGame.join();
  client->stop();
  server->stop();
  if (flood)
    std::printf("  (vexolib flood: Stop of both ends took %.1f ms)\n",
                std::chrono::duration<double, std::milli>(Clock::now() - stopStart).count());
  return r;
}

// ---- Boost.Asio ----

namespace asio = boost::asio;
using asio::ip::tcp;

// Echo server session of both Asio variants. With a sink the whole message
// goes to it (the same-model game decides); without one it is echoed here.
class AsioServerSession : public std::enable_shared_from_this<AsioServerSession> {
 public:
  using Sink = std::function<void(std::shared_ptr<AsioServerSession>, std::vector<unsigned char>)>;
  AsioServerSession(tcp::socket s, Sink sink) : socket_(std::move(s)), sink_(std::move(sink)) {}
  void start() { readHeader(); }
  // Called on the io_context thread: writes one framed message.
  void write(std::vector<unsigned char> frame) {
    outbox_.push_back(std::move(frame));
    if (outbox_.size() == 1) writeNext();
  }

 private:
  void readHeader() {
    auto self = shared_from_this();
    asio::async_read(socket_, asio::buffer(header_, 4), [this, self](boost::system::error_code ec, size_t) {
      if (ec) return;
      uint32_t n;
      std::memcpy(&n, header_, 4);
      body_.resize(n + 4);
      std::memcpy(body_.data(), header_, 4);
      asio::async_read(socket_, asio::buffer(body_.data() + 4, n),
                       [this, self, n](boost::system::error_code ec2, size_t) {
                         if (ec2) return;
                         if (sink_) {
                           sink_(self, body_);
                         } else if (!(n > 0 && body_[4] == kFloodMark)) {
                           write(body_);
                         } else {
                           floodDelivered.fetch_add(1, std::memory_order_relaxed);
                         }
                         readHeader();
                       });
    });
  }
  void writeNext() {
    auto self = shared_from_this();
    asio::async_write(socket_, asio::buffer(outbox_.front()), [this, self](boost::system::error_code ec, size_t) {
      if (ec) return;
      outbox_.pop_front();
      if (!outbox_.empty()) writeNext();
    });
  }
  tcp::socket socket_;
  Sink sink_;
  unsigned char header_[4];
  std::vector<unsigned char> body_;
  std::deque<std::vector<unsigned char>> outbox_;
};

// Client session of both variants: sends, reads the whole echo, reports it.
class AsioClientSession : public std::enable_shared_from_this<AsioClientSession> {
 public:
  using Sink = std::function<void(std::shared_ptr<AsioClientSession>)>;
  AsioClientSession(tcp::socket s, size_t size, Sink onEcho)
      : socket_(std::move(s)), frame_(size + 4, 'x'), reply_(size + 4), onEcho_(std::move(onEcho)) {
    const uint32_t n = static_cast<uint32_t>(size);
    std::memcpy(frame_.data(), &n, 4);
  }
  Clock::time_point sentAt;
  // Called on the io_context thread.
  void send() {
    auto self = shared_from_this();
    asio::async_write(socket_, asio::buffer(frame_), [this, self](boost::system::error_code ec, size_t) {
      if (ec) return;
      asio::async_read(socket_, asio::buffer(reply_), [this, self](boost::system::error_code ec2, size_t) {
        if (!ec2) onEcho_(self);
      });
    });
  }

 private:
  tcp::socket socket_;
  std::vector<char> frame_, reply_;
  Sink onEcho_;
};

// The same-model game side: events queued by the io_context thread, taken in
// one go by update() on the game thread.
class GameQueue {
 public:
  void push(std::function<void()> event) {
    std::lock_guard<std::mutex> g(m_);
    events_.push_back(std::move(event));
  }
  void update() {
    {
      std::lock_guard<std::mutex> g(m_);
      taken_.swap(events_);
    }
    for (auto& e : taken_) e();
    taken_.clear();
  }

 private:
  std::mutex m_;
  std::vector<std::function<void()>> events_, taken_;
};

Result runAsio(int connections, size_t size, double seconds, bool sameModel, bool flood) {
  Recorder rec;
  std::atomic<bool> done{false};
  asio::io_context serverIo, clientIo;
  GameQueue serverGame, clientGame;
  AsioServerSession::Sink serverSink;
  if (sameModel) {
    // The game echoes from its update; the send goes back to the io thread.
    serverSink = [&](std::shared_ptr<AsioServerSession> s, std::vector<unsigned char> frame) {
      serverGame.push([&serverIo, s, frame = std::move(frame)]() mutable {
        asio::post(serverIo, [s, frame = std::move(frame)]() mutable { s->write(std::move(frame)); });
      });
    };
  }
  tcp::acceptor acceptor(serverIo, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  const uint16_t port = acceptor.local_endpoint().port();
  std::function<void()> acceptNext = [&] {
    acceptor.async_accept([&](boost::system::error_code ec, tcp::socket s) {
      if (ec) return;
      std::make_shared<AsioServerSession>(std::move(s), serverSink)->start();
      acceptNext();
    });
  };
  acceptNext();
  auto serverGuard = asio::make_work_guard(serverIo);
  auto clientGuard = asio::make_work_guard(clientIo);
  std::thread serverThread([&] { serverIo.run(); });

  AsioClientSession::Sink onEcho;
  if (sameModel) {
    onEcho = [&](std::shared_ptr<AsioClientSession> s) {
      clientGame.push([&, s] {
        rec.record(s->sentAt);
        if (done.load()) return;
        s->sentAt = Clock::now();
        asio::post(clientIo, [s] { s->send(); });
      });
    };
  } else {
    onEcho = [&](std::shared_ptr<AsioClientSession> s) {
      rec.record(s->sentAt);
      if (done.load()) return;
      s->sentAt = Clock::now();
      s->send();
    };
  }
  std::vector<std::shared_ptr<AsioClientSession>> sessions;
  for (int i = 0; i < connections; ++i) {
    tcp::socket s(clientIo);
    s.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    sessions.push_back(std::make_shared<AsioClientSession>(std::move(s), size, onEcho));
  }
  for (auto& s : sessions) {
    s->sentAt = Clock::now();
    asio::post(clientIo, [s] { s->send(); });
  }
  std::thread clientThread([&] { clientIo.run(); });
  std::vector<std::thread> games;
  if (sameModel) {
    for (GameQueue* q : {&serverGame, &clientGame})
      games.emplace_back([&done, q] {
        while (!done.load()) {
          q->update();
          std::this_thread::yield();
        }
      });
  }
  std::unique_ptr<Flooder> flooder;
  if (flood) flooder = std::make_unique<Flooder>(port);
  const Result r = measure(rec, seconds, flood);
  if (flooder) flooder->stop();
  done = true;
  for (auto& g : games) g.join();
  clientIo.stop();
  serverIo.stop();
  clientThread.join();
  serverThread.join();
  return r;
}

double ratio(double a, double b) { return b > 0 ? a / b : 0.0; }
}  // namespace

// Arguments: seconds per case (2); --no-flood leaves the flood case out;
// --only-vexolib runs the network manager alone (for profiling).
int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  bool noFlood = false, onlyVexolib = false;
  for (int i = 2; i < argc; ++i) {
    noFlood |= std::strcmp(argv[i], "--no-flood") == 0;
    onlyVexolib |= std::strcmp(argv[i], "--only-vexolib") == 0;
  }
  std::printf("loopback echo, one message in flight per connection, %.1f s per case\n", seconds);
  std::printf("%-5s %-5s | %10s %8s %8s | %10s %8s %8s | %10s %8s %8s | %7s %7s\n", "conns", "size", "vexolib/s",
              "p50 us", "p99 us", "same/s", "p50 us", "p99 us", "asio/s", "p50 us", "p99 us", "v/same", "v/asio");
  for (int connections : {1, 64}) {
    for (size_t size : {size_t{64}, size_t{4096}}) {
      const Result v = runVexolib(connections, size, seconds, false);
      const Result s = onlyVexolib ? Result{} : runAsio(connections, size, seconds, true, false);
      const Result a = onlyVexolib ? Result{} : runAsio(connections, size, seconds, false, false);
      std::printf("%-5d %-5zu | %10.0f %8.1f %8.1f | %10.0f %8.1f %8.1f | %10.0f %8.1f %8.1f | %7.2f %7.2f\n",
                  connections, size, v.messagesPerSecond, v.p50us, v.p99us, s.messagesPerSecond, s.p50us, s.p99us,
                  a.messagesPerSecond, a.p50us, a.p99us, ratio(v.messagesPerSecond, s.messagesPerSecond),
                  ratio(v.messagesPerSecond, a.messagesPerSecond));
      std::fflush(stdout);
    }
  }
  if (noFlood) return 0;
  std::printf("flood: one connection sends 8-byte frames unthrottled while 63 echo 64 bytes\n");
  std::printf("%-8s | %10s %8s %8s | %12s | %14s\n", "", "echo/s", "p50 us", "p99 us", "flood msg/s", "high water MiB");
  const Result vf = runVexolib(63, 64, seconds, true);
  std::printf("%-8s | %10.0f %8.1f %8.1f | %12.0f | %14.1f\n", "vexolib", vf.messagesPerSecond, vf.p50us, vf.p99us,
              vf.floodPerSecond, vf.highWaterMiB);
  std::fflush(stdout);
  if (onlyVexolib) return 0;
  const Result af = runAsio(63, 64, seconds, false, true);
  std::printf("%-8s | %10.0f %8.1f %8.1f | %12.0f | %14.1f\n", "asio", af.messagesPerSecond, af.p50us, af.p99us,
              af.floodPerSecond, af.highWaterMiB);
  std::printf("(the same-model Asio queue has no bound, so it is not flooded)\n");
  return 0;
}
