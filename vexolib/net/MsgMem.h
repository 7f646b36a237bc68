// Fixed-size object pools with chunks, the "MsgMem" byte buffers in twelve
// size classes, and the bounded multi-producer multi-consumer queue.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "NetSync.h"
#include "base/Clock.h"

namespace vexolib::net {

// Hands out fixed-size blocks from chunks; a chunk goes back to the heap as
// soon as its last block is released. Takes no lock: callers hold one.
class ObjectPool {
 public:
  ObjectPool(const char* name, int objectSize, int blocksPerChunk);
  ~ObjectPool();
  ObjectPool(const ObjectPool&) = delete;
  ObjectPool& operator=(const ObjectPool&) = delete;

  void* allocate();
  void release(void* object);

  int chunkCount() const { return chunkCount_; }
  const std::string& name() const { return name_; }

 private:
  struct Chunk;
  Chunk* makeChunk();
  size_t blockSize() const;
  // Grows a chunk list's room to at least wanted entries; false when refused.
  static bool reserve(Chunk**& list, int& cap, int wanted);

  Chunk** chunks_ = nullptr;
  int chunkCount_ = 0;
  int chunkCap_ = 0;
  Chunk** freeChunks_ = nullptr;
  int freeCount_ = 0;
  int freeCap_ = 0;
  int objectSize_;
  int blocksPerChunk_;
  std::string name_;
};

// A pool with its own lock, for objects shared between threads.
class LockedPool {
 public:
  LockedPool(const char* name, int objectSize, int blocksPerChunk) : pool_(name, objectSize, blocksPerChunk) {}
  void* allocate() {
    LockGuard g(lock_);
    return pool_.allocate();
  }
  void release(void* p) {
    LockGuard g(lock_);
    pool_.release(p);
  }
  int chunkCount() {
    LockGuard g(lock_);
    return pool_.chunkCount();
  }

 private:
  Mutex lock_;
  ObjectPool pool_;
};

class CLMemPool {
 public:
  virtual ~CLMemPool() = default;
  virtual void* allocate(int length) = 0;
  virtual void release(void* buffer) = 0;
};

namespace msgmempool {
constexpr int kSizeCount = 12;
constexpr int kHeapClass = 12;

class MsgMemPool : public CLMemPool {
 public:
  MsgMemPool();
  ~MsgMemPool() override;
  // A buffer of at least length bytes, or null when memory is refused.
  void* allocate(int length) override;
  void release(void* buffer) override;
  // The class index a length falls into (kHeapClass above the largest class).
  static int classOf(int length);
  // Bytes a buffer of this length really takes: its class's size, or the
  // length itself above the largest class.
  static int blockBytes(int length) {
    const int cls = classOf(length);
    return cls == kHeapClass ? length : kSizes[cls];
  }
  // The class index written in front of a buffer handed out.
  static int classOfBuffer(const void* buffer);
  int chunkCount(int cls);
  // Bytes held from the heap: every chunk of the classes and every heap block.
  int64_t heldBytes();
  static const int kSizes[kSizeCount];
  static constexpr int kBlocksPerChunk = 64;

 private:
  // Classes lock independently, so buffers of different sizes never contend.
  LockedPool* pools_[kSizeCount];
  std::atomic<int64_t> heapBytes_{0};
  const char* name_ = "MsgMem";
};

MsgMemPool& instance();
}  // namespace msgmempool

// Fixed-capacity ring shared by several producers and consumers. Entries
// move under one short lock; a semaphore is touched only when a producer
// has to wait for room, so taking or adding an entry never costs a kernel
// call (a semaphore call per job was the price of every message on Windows).
template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(int capacity) : slots_(capacity + 1) {
    entries_ = new (std::nothrow) T[static_cast<size_t>(slots_)];
    if (!entries_) throw std::bad_alloc();
  }
  ~BoundedQueue() { delete[] entries_; }
  BoundedQueue(const BoundedQueue&) = delete;
  BoundedQueue& operator=(const BoundedQueue&) = delete;

  bool tryPush(const T& v) {
    LockGuard g(lock_);
    if (size_ == slots_ - 1) return false;
    put(v);
    return true;
  }
  // Adds entries from first on, oldest first, while there is room; returns
  // how many were taken.
  template <typename It>
  size_t tryPushMany(It first, It last) {
    LockGuard g(lock_);
    size_t n = 0;
    for (; first != last && size_ < slots_ - 1; ++first, ++n) put(*first);
    return n;
  }
  void push(const T& v) { pushWait(v, -1); }
  // Waits at most timeoutMs (-1: without limit) for room.
  bool pushWait(const T& v, int timeoutMs) {
    const int64_t until = timeoutMs < 0 ? 0 : vekt::base::monotonicMicros() + int64_t{timeoutMs} * 1000;
    for (;;) {
      waiters_.fetch_add(1);
      // Tested again after announcing the wait: a pop in between posts.
      const bool pushed = tryPush(v);
      if (pushed) {
        waiters_.fetch_sub(1);
        return true;
      }
      int wait = -1;
      if (timeoutMs >= 0) {
        const int64_t left = until - vekt::base::monotonicMicros();
        wait = left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
      }
      const bool woken = room_.wait(wait);
      waiters_.fetch_sub(1);
      if (!woken && timeoutMs >= 0 && vekt::base::monotonicMicros() >= until) return tryPush(v);
    }
  }
  bool tryPop(T& out) {
    {
      LockGuard g(lock_);
      if (size_ == 0) return false;
      out = entries_[read_];
      read_ = (read_ + 1) % slots_;
      --size_;
    }
    if (waiters_.load() > 0) room_.post();
    return true;
  }
  int capacity() const { return slots_ - 1; }

 private:
  void put(const T& v) {
    entries_[write_] = v;
    write_ = (write_ + 1) % slots_;
    ++size_;
  }

  int read_ = 0;
  int write_ = 0;
  int size_ = 0;
  Mutex lock_;
  std::atomic<int> waiters_{0};
  Semaphore room_{0, 999999};
  T* entries_ = nullptr;
  int slots_;
};

}  // namespace vexolib::net
