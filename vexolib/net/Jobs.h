// Events of the socket loop on their way to the game: the sink interface and
// the three job kinds, each taken from its own pool.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "MsgMem.h"
#include "NetSync.h"
#include "SocketCalls.h"

namespace vexolib::net {

class INetworkCallback {
 public:
  virtual ~INetworkCallback() = default;
  virtual void onAccept(uint16_t listenPort, int32_t connectionId, uint32_t ip, uint16_t port) = 0;
  virtual void onRecv(int32_t connectionId, const uint8_t* data, int32_t length) = 0;
  virtual void onDisconnect(int32_t connectionId) = 0;
  virtual void onConnect(bool ok, int32_t requestId, int32_t connectionId, uint32_t ip, uint16_t port) = 0;
};

class DefaultCallback : public INetworkCallback {
 public:
  void onAccept(uint16_t, int32_t, uint32_t, uint16_t) override {}
  void onRecv(int32_t, const uint8_t*, int32_t) override {}
  void onDisconnect(int32_t) override {}
  void onConnect(bool, int32_t, int32_t, uint32_t, uint16_t) override {}
};

class Backlog;

// What a job hands back to the loop that made it once the game has seen it,
// or it was dropped: the id of a closed connection, and the room a received
// message took in its connection's backlog. Keeps the jobs free of the loop.
class IJobRecycler {
 public:
  virtual void recycleId(int32_t id, uint32_t tableEpoch) = 0;
  virtual void backlogReleased(Backlog& backlog, int64_t left, int64_t cost) = 0;

 protected:
  ~IJobRecycler() = default;
};

// Room taken by the received messages of one connection that the game has
// not taken yet. Written by the socket thread when a message is queued and
// by the game's thread when it is delivered.
class Backlog {
 public:
  // What one queued message costs: the buffer its payload really takes (a
  // size class may be up to four times the payload) plus the job and
  // bookkeeping.
  static int64_t costOf(int32_t length) { return int64_t{msgmempool::MsgMemPool::blockBytes(length)} + 64; }
  void bind(IJobRecycler* owner) { owner_ = owner; }
  void add(int64_t cost) { bytes_.fetch_add(cost, std::memory_order_relaxed); }
  void release(int64_t cost) {
    const int64_t left = bytes_.fetch_sub(cost, std::memory_order_acq_rel) - cost;
    if (owner_) owner_->backlogReleased(*this, left, cost);
  }
  int64_t bytes() const { return bytes_.load(std::memory_order_acquire); }
  // Reading stopped until the game takes enough of it.
  std::atomic<bool> throttled{false};

 private:
  std::atomic<int64_t> bytes_{0};
  IJobRecycler* owner_ = nullptr;
};

class Job {
 public:
  // Gives the job (and what it owns) back to its pool.
  virtual void destroy() = 0;
  virtual void dispatch(INetworkCallback& sink) = 0;

  Job* next = nullptr;  // link in a JobList

 protected:
  ~Job() = default;
};

// Jobs in order, linked through the jobs themselves: adding one never
// allocates, and a whole list moves in one step.
struct JobList {
  Job* head = nullptr;
  Job* tail = nullptr;
  size_t size = 0;

  bool empty() const { return head == nullptr; }
  void pushBack(Job* job) {
    job->next = nullptr;
    if (tail)
      tail->next = job;
    else
      head = job;
    tail = job;
    ++size;
  }
  void append(JobList& other) {
    if (other.empty()) return;
    if (tail)
      tail->next = other.head;
    else
      head = other.head;
    tail = other.tail;
    size += other.size;
    other = JobList{};
  }
  Job* popFront() {
    Job* job = head;
    if (!job) return nullptr;
    head = job->next;
    if (!head) tail = nullptr;
    job->next = nullptr;
    --size;
    return job;
  }
  void destroyAll() {
    while (Job* job = popFront()) job->destroy();
  }
};

// Events on their way from the socket thread to the game: the producer hands
// over everything it made in one pass under one short lock; the one consumer
// (the game's thread in Update) takes everything waiting in one step and
// then works through it without locking. No kernel call, no count limit: the
// memory held is bounded by the connections' backlogs instead.
class JobQueue {
 public:
  JobQueue() = default;
  ~JobQueue() { clear(); }
  JobQueue(const JobQueue&) = delete;
  JobQueue& operator=(const JobQueue&) = delete;

  void push(Job* job) {
    LockGuard g(lock_);
    shared_.pushBack(job);
  }
  void pushList(JobList& jobs) {
    if (jobs.empty()) return;
    LockGuard g(lock_);
    shared_.append(jobs);
  }
  // Consumer side only.
  bool tryPop(Job*& out) {
    if (taken_.empty()) {
      LockGuard g(lock_);
      taken_.append(shared_);
    }
    out = taken_.popFront();
    return out != nullptr;
  }
  // Destroys every job waiting (consumer side).
  void clear() {
    {
      LockGuard g(lock_);
      taken_.append(shared_);
    }
    taken_.destroyAll();
  }

 private:
  Mutex lock_;
  JobList shared_;  // guarded by lock_
  JobList taken_;   // the consumer's
};

// The peer address is read when the connection is accepted: by the time the
// game sees the job the socket may be closed and its number reused.
class JobAccept final : public Job {
 public:
  static JobAccept* create(int32_t connectionId, Sock socket, uint16_t listenPort, uint32_t peerIp, uint16_t peerPort);
  void destroy() override;
  void dispatch(INetworkCallback& sink) override;

  int32_t connectionId;
  Sock socket;
  uint16_t listenPort;
  uint32_t peerIp;
  uint16_t peerPort;
};

// Hands the connection id back for reuse once the game has seen the close
// (or the job was dropped), so no late event of an old connection can reach a
// new one that took its id.
class JobDisconect final : public Job {
 public:
  static JobDisconect* create(int32_t connectionId, IJobRecycler* owner, uint32_t tableEpoch);
  void destroy() override;
  void dispatch(INetworkCallback& sink) override;

  int32_t connectionId;
  IJobRecycler* owner;
  uint32_t tableEpoch;
};

class JobRecv final : public Job {
 public:
  // Takes over the MsgMem block; the message's cost stays on the backlog
  // (when one is given) until the job is destroyed.
  static JobRecv* create(char* data, int32_t length, int32_t connectionId, Backlog* backlog = nullptr);
  void destroy() override;
  void dispatch(INetworkCallback& sink) override;

  char* data;
  int32_t length;
  int32_t connectionId;
  Backlog* backlog;
};

// Chunks currently held by each job pool (for tests).
int jobPoolChunks(const char* name);

}  // namespace vexolib::net
