// Shared pieces of the network tests: a sink that records every event, a
// plain blocking peer socket, and waiting with a deadline.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Jobs.h"
#include "NetFrames.h"
#include "SocketCalls.h"

namespace nettest {

constexpr uint32_t kLoopback = 0x7F000001;

// Sanitizers slow everything down and take address space of their own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct Event {
  enum Kind { Accept, Recv, Disconnect, Connect } kind = Accept;
  explicit Event(Kind k) : kind(k) {}
  int32_t id = -1;
  std::string data;
  uint16_t listenPort = 0;
  uint32_t ip = 0;
  uint16_t port = 0;
  bool ok = false;
  int32_t requestId = -1;
};

class RecordingSink : public vexolib::net::INetworkCallback {
 public:
  void onAccept(uint16_t listenPort, int32_t id, uint32_t ip, uint16_t port) override {
    Event e(Event::Accept);
    e.id = id, e.listenPort = listenPort, e.ip = ip, e.port = port;
    add(e);
  }
  void onRecv(int32_t id, const uint8_t* data, int32_t length) override {
    Event e(Event::Recv);
    e.id = id;
    e.data.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    add(e);
    if (onRecvHook) onRecvHook();
  }
  void onDisconnect(int32_t id) override {
    Event e(Event::Disconnect);
    e.id = id;
    add(e);
  }
  void onConnect(bool ok, int32_t requestId, int32_t id, uint32_t ip, uint16_t port) override {
    Event e(Event::Connect);
    e.ok = ok, e.requestId = requestId, e.id = id, e.ip = ip, e.port = port;
    add(e);
  }

  std::vector<Event> events() {
    std::lock_guard<std::mutex> g(m_);
    return events_;
  }
  size_t count(Event::Kind kind) {
    std::lock_guard<std::mutex> g(m_);
    size_t n = 0;
    for (const Event& e : events_) n += e.kind == kind;
    return n;
  }
  std::vector<Event> of(Event::Kind kind, int32_t id = -2) {
    std::lock_guard<std::mutex> g(m_);
    std::vector<Event> out;
    for (const Event& e : events_)
      if (e.kind == kind && (id == -2 || e.id == id)) out.push_back(e);
    return out;
  }
  std::function<void()> onRecvHook;

 private:
  void add(const Event& e) {
    std::lock_guard<std::mutex> g(m_);
    events_.push_back(e);
  }
  std::mutex m_;
  std::vector<Event> events_;
};

// Polls step() until done() holds or the time is up.
inline bool waitFor(const std::function<bool()>& done, const std::function<void()>& step = {}, int timeoutMs = 10000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < until) {
    if (step) step();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (step) step();
  return done();
}

// A blocking peer on the other end of the library's connections.
class Peer {
 public:
  Peer() = default;
  explicit Peer(vexolib::net::Sock s) : s_(s) {}
  ~Peer() { close(); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  bool connect(uint16_t port) {
    s_ = vexolib::net::sock::tcp();
    return s_ != vexolib::net::kNoSock && vexolib::net::sock::connectStart(s_, kLoopback, port);
  }
  bool sendAll(const std::string& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
      int n = vexolib::net::sock::sendSome(s_, bytes.data() + at, static_cast<int>(bytes.size() - at));
      if (n <= 0) return false;
      at += static_cast<size_t>(n);
    }
    return true;
  }
  // Reads exactly n bytes (blocking).
  std::string recvExactly(size_t n) {
    std::string out(n, '\0');
    size_t at = 0;
    while (at < n) {
      int got = vexolib::net::sock::recvSome(s_, &out[at], static_cast<int>(n - at));
      if (got <= 0) break;
      at += static_cast<size_t>(got);
    }
    out.resize(at);
    return out;
  }
  // True when the peer has closed (a read returns 0 or fails).
  bool closedByOther() {
    char c;
    return vexolib::net::sock::recvSome(s_, &c, 1) <= 0;
  }
  void close() {
    if (s_ != vexolib::net::kNoSock) vexolib::net::sock::closeSock(s_);
    s_ = vexolib::net::kNoSock;
  }
  vexolib::net::Sock sock() const { return s_; }

 private:
  vexolib::net::Sock s_ = vexolib::net::kNoSock;
};

}  // namespace nettest
