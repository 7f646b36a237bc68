// The socket loop: one thread serving every listener and connection of the
// library with select, length-prefixed framing, batched sends and a close
// list. Game threads only add handlers, queue messages and ask for closes.
#pragma once
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <deque>
#include <vector>

#include "Framing.h"
#include "Jobs.h"
#include "MsgMem.h"
#include "NetPlatform.h"

namespace vnet {

class SocketLoop;

class BasicNetworkHandler {
 public:
  BasicNetworkHandler(Sock socket, bool isListener) : socket_(socket), isListener_(isListener) {}
  virtual ~BasicNetworkHandler() = default;
  BasicNetworkHandler(const BasicNetworkHandler&) = delete;
  BasicNetworkHandler& operator=(const BasicNetworkHandler&) = delete;

  virtual void onReadable() {}
  virtual void onWritable() {}
  virtual void close() {}

  Sock socket() const { return socket_; }
  int32_t id() const { return id_; }
  bool isListener() const { return isListener_; }
  SocketLoop* owner() const { return owner_; }
  void attach(SocketLoop* owner, int32_t id) {
    owner_ = owner;
    id_ = id;
  }

 protected:
  // Shuts the socket down and closes it; an added handler reports the close.
  void closeSocket();

  SocketLoop* owner_ = nullptr;
  Sock socket_;
  int32_t id_ = -1;
  bool isListener_;
};

class ListenHandler final : public BasicNetworkHandler {
 public:
  ListenHandler(Sock socket, uint16_t port, int32_t maxMessageLength)
      : BasicNetworkHandler(socket, true), port_(port), maxMessageLength_(maxMessageLength) {}
  ~ListenHandler() override { close(); }
  void onReadable() override;
  void close() override;
  uint16_t port() const { return port_; }

 private:
  uint16_t port_;
  int32_t maxMessageLength_;
};

class TcpHandler final : public BasicNetworkHandler, private FrameSink {
 public:
  static constexpr int32_t kBatchCapacity = 2048;
  static constexpr int32_t kShrinkAbove = 2097152;
  // Switches the socket to non-blocking mode; check ready() afterwards.
  TcpHandler(Sock socket, int32_t maxMessageLength);
  ~TcpHandler() override { close(); }
  bool ready() const { return inFlight_.data && out_.data; }

  void onReadable() override;
  void onWritable() override;
  void close() override;

  // Appends one framed message, or raw bytes, to the out buffer.
  bool queueFrame(const void* data, int32_t length);
  bool queueRaw(const void* data, int32_t length);

 private:
  void onMessage(char* block, int32_t length) override;
  void onPolicyRequest() override;

  FrameDecoder decoder_;
  OutBuffer inFlight_;
  OutBuffer out_;
  Mutex lock_;  // guards out_ and the swap
  int32_t sendPosition_ = 0;
};

// Ids by slot: listeners and connections share them; the first handler gets 0.
class HandlerTable {
 public:
  struct Entry {
    BasicNetworkHandler* handler = nullptr;
    int64_t pending = 0;  // bytes queued on the connection, not yet known to be sent
  };

  int32_t insert(BasicNetworkHandler* handler);
  // Frees the slot; the id goes on the free stack when recycle() is called
  // for it, once the game has seen the close.
  void erase(int32_t id);
  void recycle(int32_t id);
  Entry* lookup(int32_t id);
  void reset();

  int32_t live() const { return live_; }
  int32_t first() const { return first_; }
  int32_t end() const { return end_; }
  bool used(int32_t id) const { return used_[static_cast<size_t>(id)] != 0; }
  Entry& at(int32_t id) { return entries_[static_cast<size_t>(id)]; }
  uint32_t epoch() const { return epoch_; }

 private:
  std::vector<Entry> entries_;
  std::vector<uint8_t> used_;
  std::vector<uint8_t> awaitingRecycle_;
  std::vector<int32_t> freeIds_;
  int32_t highWater_ = 0;
  int32_t first_ = 0;
  int32_t end_ = 0;
  int32_t live_ = 0;
  uint32_t epoch_ = 0;  // grows at every reset, so ids of an earlier table are ignored
};

class SocketLoop {
 public:
  static constexpr int kMaxSetSockets = 1024;
  static constexpr int kHandlersPerPass = 128;
  static constexpr int kSelectTimeoutMs = 10;
  static constexpr int kIdleSleepMs = 100;
  static constexpr int kNoId = -1;

  SocketLoop(BoundedQueue<Job*>& jobQueue, int32_t maxMessageLength);
  ~SocketLoop();
  SocketLoop(const SocketLoop&) = delete;
  SocketLoop& operator=(const SocketLoop&) = delete;

  // Takes the handler over; kNoId (and the handler is destroyed) when the
  // read set is full, so no socket is left that would never be served.
  int32_t add(BasicNetworkHandler* handler);
  // Adds a connected socket as a TcpHandler; on failure the socket is closed.
  int32_t addConnection(Sock socket, int32_t maxMessageLength);
  void queueClose(int32_t id);
  bool send(int32_t id, const void* data, int32_t length);
  const char* peerName(int32_t id);
  int32_t connect(uint32_t ip, uint16_t port, int32_t timeoutMs);
  int32_t listen(uint16_t port, int32_t backlog, const char* bindAddress);
  void start();
  void stop();
  bool stopped() const { return stopped_.load(); }

  // Error text: 256 bytes, the last error wins.
  void setError(const char* format, ...);
  void copyError(char (&out)[256]);
  void clearError();

  // Used by the handlers on the socket thread.
  void pushJob(Job* job) { overflow_.push_back(job); }
  void pushDisconnect(int32_t id);
  void subtractPending(int32_t id, int64_t n);
  void addPending(int32_t id, int64_t n);
  void recycleId(int32_t id, uint32_t epoch);

  // For tests and diagnostics.
  int64_t pending(int32_t id);
  bool inWriteSet(int32_t id);
  uint16_t listenerPort(int32_t id);
  // One pass of the socket thread; returns the number of handlers served.
  int runPass();

 private:
  static void threadMain(void* self);
  void processCloseList();
  // Closes and destroys every handler and queued job; the thread is not running.
  void closeAll();
  void moveOverflow();
  static bool addToSet(std::vector<Sock>& set, Sock s);
  // Cuts a wait short when the sets changed after they were copied for it.
  void wakeIfWaiting();
  static void removeFromSet(std::vector<Sock>& set, Sock s);

  char error_[256] = {};
  Mutex errorLock_;
  HandlerTable table_;
  Mutex lock_;  // table, pending counts and both socket sets
  std::vector<int32_t> closeList_;
  Mutex closeLock_;
  uintptr_t thread_ = 0;
  std::atomic<bool> stopped_{true};
  std::deque<Job*> overflow_;
  BoundedQueue<Job*>& jobQueue_;
  std::vector<Sock> readSet_, writeSet_;
  std::vector<Sock> workRead_, workWrite_;
  std::vector<uint8_t> readReady_, writeReady_;
  std::vector<Sock> readyRead_, readyWrite_;
  std::vector<BasicNetworkHandler*> toRead_, toWrite_;
  int32_t maxMessageLength_;
  Sock waker_ = kNoSock;
  std::atomic<bool> waiting_{false};
};

}  // namespace vnet
