// Loopback echo, one message in flight per connection: messages per second
// and round-trip latency (p50/p99) for the network manager (socket loop plus
// Update delivery on a game thread, on both ends) and for Boost.Asio doing
// the same framing with one io_context thread per end.
#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "NetworkManager.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr uint32_t kLoopback = 0x7F000001;

struct Result {
  double messagesPerSecond;
  double p50us;
  double p99us;
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
    return {rtts_.size() / seconds, pct(0.50), pct(0.99)};
  }

 private:
  std::mutex m_;
  std::vector<double> rtts_;
  bool measuring_ = false;
  Clock::time_point start_;
};

void measure(Recorder& rec, Result& out, double seconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // warm-up
  rec.begin();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  out = rec.end();
}

// ---- the network manager ----

class EchoServer : public vnet::DefaultCallback {
 public:
  vnet::NetworkService* service = nullptr;
  void onRecv(int32_t id, const uint8_t* data, int32_t length) override { service->loop().send(id, data, length); }
};

class EchoClient : public vnet::DefaultCallback {
 public:
  EchoClient(Recorder& rec, size_t size) : rec_(rec), payload_(size, 'x') {}
  vnet::NetworkService* service = nullptr;
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

Result runVexolib(int connections, size_t size, double seconds) {
  Recorder rec;
  EchoServer serverSink;
  EchoClient clientSink(rec, size);
  auto server = std::make_unique<vnet::NetworkService>(&serverSink, vnet::kMaxMessageLength);
  auto client = std::make_unique<vnet::NetworkService>(&clientSink, vnet::kMaxMessageLength);
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
  auto game = [&](vnet::NetworkService* s) {
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
  Result r{};
  measure(rec, r, seconds);
  done = true;
  serverGame.join();
  clientGame.join();
  client->stop();
  server->stop();
  return r;
}

// ---- Boost.Asio ----

namespace asio = boost::asio;
using asio::ip::tcp;

class AsioServerSession : public std::enable_shared_from_this<AsioServerSession> {
 public:
  explicit AsioServerSession(tcp::socket s) : socket_(std::move(s)) {}
  void start() { readHeader(); }

 private:
  void readHeader() {
    auto self = shared_from_this();
    asio::async_read(socket_, asio::buffer(header_, 4), [this, self](boost::system::error_code ec, size_t) {
      if (ec) return;
      uint32_t n;
      std::memcpy(&n, header_, 4);
      body_.resize(n + 4);
      std::memcpy(body_.data(), header_, 4);
      asio::async_read(socket_, asio::buffer(body_.data() + 4, n), [this, self](boost::system::error_code ec2, size_t) {
        if (ec2) return;
        asio::async_write(socket_, asio::buffer(body_), [this, self](boost::system::error_code ec3, size_t) {
          if (!ec3) readHeader();
        });
      });
    });
  }
  tcp::socket socket_;
  unsigned char header_[4];
  std::vector<unsigned char> body_;
};

class AsioClientSession : public std::enable_shared_from_this<AsioClientSession> {
 public:
  AsioClientSession(tcp::socket s, Recorder& rec, size_t size, std::atomic<bool>& done)
      : socket_(std::move(s)), rec_(rec), frame_(size + 4, 'x'), reply_(size + 4), done_(done) {
    const uint32_t n = static_cast<uint32_t>(size);
    std::memcpy(frame_.data(), &n, 4);
  }
  void kick() {
    if (done_.load()) return;
    auto self = shared_from_this();
    sentAt_ = Clock::now();
    asio::async_write(socket_, asio::buffer(frame_), [this, self](boost::system::error_code ec, size_t) {
      if (ec) return;
      asio::async_read(socket_, asio::buffer(reply_), [this, self](boost::system::error_code ec2, size_t) {
        if (ec2) return;
        rec_.record(sentAt_);
        kick();
      });
    });
  }

 private:
  tcp::socket socket_;
  Recorder& rec_;
  std::vector<char> frame_, reply_;
  std::atomic<bool>& done_;
  Clock::time_point sentAt_;
};

Result runAsio(int connections, size_t size, double seconds) {
  Recorder rec;
  std::atomic<bool> done{false};
  asio::io_context serverIo, clientIo;
  tcp::acceptor acceptor(serverIo, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  const uint16_t port = acceptor.local_endpoint().port();
  std::function<void()> acceptNext = [&] {
    acceptor.async_accept([&](boost::system::error_code ec, tcp::socket s) {
      if (ec) return;
      std::make_shared<AsioServerSession>(std::move(s))->start();
      acceptNext();
    });
  };
  acceptNext();
  auto serverGuard = asio::make_work_guard(serverIo);
  std::thread serverThread([&] { serverIo.run(); });
  std::vector<std::shared_ptr<AsioClientSession>> sessions;
  for (int i = 0; i < connections; ++i) {
    tcp::socket s(clientIo);
    s.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    sessions.push_back(std::make_shared<AsioClientSession>(std::move(s), rec, size, done));
  }
  for (auto& s : sessions) s->kick();
  std::thread clientThread([&] { clientIo.run(); });
  Result r{};
  measure(rec, r, seconds);
  done = true;
  clientIo.stop();
  serverIo.stop();
  clientThread.join();
  serverThread.join();
  return r;
}
}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  std::printf("loopback echo, one message in flight per connection, %.1f s per run\n", seconds);
  std::printf("%-5s %-6s | %12s %9s %9s | %12s %9s %9s | %s\n", "conns", "size", "vexolib msg/s", "p50 us",
              "p99 us", "asio msg/s", "p50 us", "p99 us", "vexolib/asio");
  for (int connections : {1, 64}) {
    for (size_t size : {size_t{64}, size_t{4096}}) {
      const Result v = runVexolib(connections, size, seconds);
      const Result a = runAsio(connections, size, seconds);
      std::printf("%-5d %-6zu | %12.0f %9.1f %9.1f | %12.0f %9.1f %9.1f | %5.2f\n", connections, size,
                  v.messagesPerSecond, v.p50us, v.p99us, a.messagesPerSecond, a.p50us, a.p99us,
                  a.messagesPerSecond > 0 ? v.messagesPerSecond / a.messagesPerSecond : 0.0);
      std::fflush(stdout);
    }
  }
  return 0;
}
