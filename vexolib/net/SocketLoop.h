// The socket loop: one thread serving every listener and connection of the
// library with select, length-prefixed framing, batched sends and a close
// list. Game threads only add handlers, queue messages and ask for closes.
#pragma once
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <deque>
#include <vector>

#include "Budget.h"
#include "HandlerTable.h"
#include "Handlers.h"
#include "Jobs.h"
#include "MsgMem.h"
#include "NetSync.h"
#include "SocketCalls.h"
#include "TurnPicker.h"
#include "base/Thread.h"

namespace vexolib::net {

class SocketLoop final : private IJobRecycler {
 public:
  static constexpr int kMaxSetSockets = 1024;
  static constexpr int kHandlersPerPass = 128;
  static constexpr int kSelectTimeoutMs = 10;
  static constexpr int kIdleSleepMs = 100;
  static constexpr int kNoId = -1;
  static constexpr uint32_t kAnyGeneration = 0xFFFFFFFFu;
  // Most bytes read from one connection in one pass, so no connection can
  // hold the thread while others (and accepts) wait.
  static constexpr int kReadPerPass = 65536;
  // The bounds of what peers can make the loop hold (Budget.h).
  static constexpr int64_t kConnectionBacklog = Limits{}.connectionBacklog;
  static constexpr int64_t kTotalBacklog = Limits{}.totalBacklog;

  SocketLoop(JobQueue& jobQueue, int32_t maxMessageLength, const Limits& limits = Limits{});
  ~SocketLoop();
  SocketLoop(const SocketLoop&) = delete;
  SocketLoop& operator=(const SocketLoop&) = delete;

  // Takes the handler over; kNoId (and the handler is destroyed) when the
  // read set is full, so no socket is left that would never be served. A
  // held handler is not read until release() (see connect()).
  // With a generation other than kAnyGeneration the handler is added only
  // while the loop is in that generation (see generation()).
  int32_t add(BasicNetworkHandler* handler, bool held = false, uint64_t* serial = nullptr,
              uint32_t generation = kAnyGeneration);
  // Adds a connected socket as a TcpHandler; on failure the socket is closed.
  int32_t addConnection(Sock socket, int32_t maxMessageLength, bool held = false, uint64_t* serial = nullptr,
                        uint32_t generation = kAnyGeneration);
  // Closes the handler that has the id now; ids without one are ignored,
  // and a close asked for before a Stop never reaches a later handler.
  void queueClose(int32_t id);
  bool send(int32_t id, const void* data, int32_t length);
  const char* peerName(int32_t id);
  // Blocking connect. With held set the connection is not read until
  // release(id, serial): the game hears of it before any of its messages.
  int32_t connect(uint32_t ip, uint16_t port, int32_t timeoutMs, bool held = false, uint64_t* serial = nullptr,
                  uint32_t generation = kAnyGeneration);
  // Grows at every stop: ids handed out before belong to an earlier one.
  uint32_t generation();
  void release(int32_t id, uint64_t serial);
  int32_t listen(uint16_t port, int32_t backlog, const char* bindAddress);
  void start();
  // Ends the thread, then closes and forgets every handler, queued close and
  // job, also when the loop never ran.
  void stop();
  bool stopped() const { return stopped_.load(); }

  // Error text: 256 bytes, the last error wins.
  void setError(const char* format, ...);
  void copyError(char (&out)[256]);
  void clearError();

  // Used by the handlers on the socket thread.
  void pushJob(Job* job) { overflow_.pushBack(job); }
  // Queues a received message as a job on the connection's backlog; false
  // when no job can be had (the block is then still the caller's).
  bool pushMessage(BasicNetworkHandler& from, char* block, int32_t length);
  void pushDisconnect(int32_t id);
  void subtractPending(int32_t id, int64_t n);
  void addPartial(int64_t n) { partial_.fetch_add(n, std::memory_order_relaxed); }
  // Queues raw bytes (the policy answer) within the send bounds.
  bool queueAnswer(int32_t id, const void* data, int32_t length);
  char* readBuffer() { return readBuffer_.data(); }

  // For tests and diagnostics.
  int64_t pending(int32_t id);
  // Where the connection's receive stands (-4 to -1 in the header, then the
  // payload bytes so far); only while the socket thread does not run.
  int32_t receivePosition(int32_t id);
  bool inWriteSet(int32_t id);
  uint16_t listenerPort(int32_t id);
  // Received bytes held: whole messages the game has not taken, and the
  // buffers of messages still arriving.
  int64_t backlogBytes() const { return totalBacklog_.load() + partial_.load(); }
  int64_t partialBytes() const { return partial_.load(); }
  // One pass of the socket thread; returns the number of handlers served.
  int runPass();

 private:
  struct CloseRequest {
    int32_t id;
    uint64_t serial;
  };
  void threadMain();
  void recycleId(int32_t id, uint32_t tableEpoch) override;
  void backlogReleased(Backlog& backlog, int64_t left, int64_t cost) override;
  void processCloseList();
  // Closes and destroys every handler and queued job; the thread is not running.
  void closeAll();
  // Hands the jobs made so far to the game's queue.
  void moveOverflow() { jobQueue_.pushList(overflow_); }
  // Writes what was queued since the last pass without waiting for select.
  int writeFresh();
  // Copies the sockets to wait on; false when there is no handler at all.
  bool collectWaitSets();
  void markInWriteSet(HandlerTable::Entry& e);
  // Appends to the connection's out buffer unless a send bound would pass
  // (Budget.h); under lock_.
  bool queueOn(HandlerTable::Entry& e, const void* data, int32_t length, bool framed);
  // Closes the connection holding the largest partly received message.
  void shedLargestPartial();
  // Cuts a wait short when the sets changed after they were copied for it.
  void wakeIfWaiting();

  char error_[256] = {};
  Mutex errorLock_;
  HandlerTable table_;
  Mutex lock_;  // table, pending counts and both socket sets
  int readCount_ = 0, writeCount_ = 0;
  int64_t queuedTotal_ = 0;  // pending bytes of all connections
  uint64_t nextSerial_ = 1;
  std::vector<CloseRequest> closeList_;
  Mutex closeLock_;
  vekt::base::Thread thread_;
  std::atomic<bool> stopped_{true};
  JobList overflow_;  // jobs of this pass, handed to the queue together
  JobQueue& jobQueue_;
  std::vector<Sock> workRead_, workWrite_;
  std::vector<BasicNetworkHandler*> workReadHandlers_, workWriteHandlers_;
  std::vector<int32_t> workReadIds_, workWriteIds_;
  std::vector<size_t> picked_;
  TurnPicker readTurns_, writeTurns_;
  std::vector<uint8_t> readReady_, writeReady_;
  std::vector<BasicNetworkHandler*> toRead_, toWrite_;
  std::vector<char> readBuffer_;
  std::atomic<int64_t> totalBacklog_{0};  // whole messages waiting for the game
  std::atomic<int64_t> partial_{0};       // buffers of messages still arriving
  bool totalThrottled_ = false;           // socket thread only
  int32_t maxMessageLength_;
  const Limits limits_;
  Sock waker_ = kNoSock;
  std::atomic<bool> waiting_{false};
};

}  // namespace vexolib::net
