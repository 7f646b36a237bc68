// Fixed-size object pools with chunks, the "MsgMem" byte buffers in twelve
// size classes, and the bounded multi-producer multi-consumer queue.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "NetPlatform.h"

namespace vnet {

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
  // The class index written in front of a buffer handed out.
  static int classOfBuffer(const void* buffer);
  int chunkCount(int cls);
  static const int kSizes[kSizeCount];

 private:
  // Classes lock independently, so buffers of different sizes never contend.
  LockedPool* pools_[kSizeCount];
  const char* name_ = "MsgMem";
};

MsgMemPool& instance();
}  // namespace msgmempool

// Fixed-capacity ring shared by several producers and consumers: producers and
// consumers take different locks and meet through two counting semaphores.
template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(int capacity)
      : items_(0, 999999), space_(capacity, 999999), slots_(capacity + 1) {
    entries_ = new (std::nothrow) T[static_cast<size_t>(slots_)];
    if (!entries_) throw std::bad_alloc();
  }
  ~BoundedQueue() { delete[] entries_; }
  BoundedQueue(const BoundedQueue&) = delete;
  BoundedQueue& operator=(const BoundedQueue&) = delete;

  bool tryPush(const T& v) { return pushWait(v, 0); }
  void push(const T& v) { pushWait(v, -1); }
  // Waits at most timeoutMs (-1: without limit) for room.
  bool pushWait(const T& v, int timeoutMs) {
    if (!space_.wait(timeoutMs)) return false;
    {
      LockGuard g(producer_);
      entries_[write_] = v;
      write_ = (write_ + 1) % slots_;
    }
    items_.post();
    return true;
  }
  bool tryPop(T& out) {
    if (!items_.wait(0)) return false;
    {
      LockGuard g(consumer_);
      out = entries_[read_];
      read_ = (read_ + 1) % slots_;
    }
    space_.post();
    return true;
  }
  int capacity() const { return slots_ - 1; }

 private:
  int read_ = 0;
  int write_ = 0;
  Mutex consumer_;
  Mutex producer_;
  Semaphore items_;
  Semaphore space_;
  T* entries_ = nullptr;
  int slots_;
};

}  // namespace vnet
