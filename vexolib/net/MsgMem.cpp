#include "MsgMem.h"

#include <cstdlib>
#include <cstring>

namespace vexolib::net {

// Chunk header; blocks of {chunk reference; object} follow it.
struct ObjectPool::Chunk {
  int index;      // in the chunks list
  int freeIndex;  // in the free-chunk list, -1 while full
  int freeCount;
  uint16_t* stack;  // free block indexes, top taken first
};

namespace {
constexpr size_t roundUp(size_t n) {
  return (n + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
}
// The chunk header (three ints and a pointer) padded so blocks stay aligned.
constexpr size_t kHeader = roundUp(sizeof(void*) * 4);
}  // namespace

ObjectPool::ObjectPool(const char* name, int objectSize, int blocksPerChunk)
    : objectSize_(objectSize), blocksPerChunk_(blocksPerChunk > 65535 ? 65535 : blocksPerChunk), name_(name) {}

ObjectPool::~ObjectPool() {
  for (int i = 0; i < chunkCount_; ++i) {
    std::free(chunks_[i]->stack);
    std::free(chunks_[i]);
  }
  std::free(chunks_);
  std::free(freeChunks_);
}

size_t ObjectPool::blockSize() const { return roundUp(sizeof(Chunk*) + static_cast<size_t>(objectSize_)); }

bool ObjectPool::reserve(Chunk**& list, int& cap, int wanted) {
  if (cap >= wanted) return true;
  int ncap = cap ? cap : 4;
  while (ncap < wanted) ncap *= 2;
  auto* n = static_cast<Chunk**>(std::realloc(list, sizeof(Chunk*) * static_cast<size_t>(ncap)));
  if (!n) return false;
  list = n;
  cap = ncap;
  return true;
}

ObjectPool::Chunk* ObjectPool::makeChunk() {
  static_assert(sizeof(Chunk) <= kHeader, "chunk header");
  // Every chunk may come back to the free list at once (one block of each
  // released), so that list's room follows the chunk list's; release then
  // never needs memory.
  if (!reserve(chunks_, chunkCap_, chunkCount_ + 1) || !reserve(freeChunks_, freeCap_, chunkCap_)) return nullptr;
  auto* c = static_cast<Chunk*>(std::malloc(kHeader + blockSize() * static_cast<size_t>(blocksPerChunk_)));
  if (!c) return nullptr;
  c->stack = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * static_cast<size_t>(blocksPerChunk_)));
  if (!c->stack) {
    std::free(c);
    return nullptr;
  }
  c->index = chunkCount_;
  chunks_[chunkCount_++] = c;
  freeChunks_[freeCount_++] = c;
  c->freeIndex = freeCount_ - 1;
  c->freeCount = blocksPerChunk_;
  char* blocks = reinterpret_cast<char*>(c) + kHeader;
  for (int i = 0; i < blocksPerChunk_; ++i) {
    c->stack[i] = static_cast<uint16_t>(blocksPerChunk_ - 1 - i);  // block 0 on top
    *reinterpret_cast<Chunk**>(blocks + blockSize() * static_cast<size_t>(i)) = c;
  }
  return c;
}

void* ObjectPool::allocate() {
  if (freeCount_ == 0 && !makeChunk()) return nullptr;
  Chunk* c = freeChunks_[freeCount_ - 1];
  int idx = c->stack[--c->freeCount];
  if (c->freeCount == 0) {
    --freeCount_;
    c->freeIndex = -1;
  }
  char* block = reinterpret_cast<char*>(c) + kHeader + blockSize() * static_cast<size_t>(idx);
  return block + sizeof(Chunk*);
}

void ObjectPool::release(void* object) {
  if (!object) return;
  char* block = static_cast<char*>(object) - sizeof(Chunk*);
  Chunk* c = *reinterpret_cast<Chunk**>(block);
  size_t idx = static_cast<size_t>(block - (reinterpret_cast<char*>(c) + kHeader)) / blockSize();
  c->stack[c->freeCount++] = static_cast<uint16_t>(idx);
  if (c->freeCount == 1) {
    // Room is kept for every chunk (see makeChunk).
    freeChunks_[freeCount_] = c;
    c->freeIndex = freeCount_++;
  }
  if (c->freeCount == blocksPerChunk_) {
    Chunk* last = freeChunks_[--freeCount_];
    freeChunks_[c->freeIndex] = last;
    last->freeIndex = c->freeIndex;
    last = chunks_[--chunkCount_];
    chunks_[c->index] = last;
    last->index = c->index;
    std::free(c->stack);
    std::free(c);
  }
}

namespace msgmempool {
const int MsgMemPool::kSizes[kSizeCount] = {16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 16384, 65536, 262144};

// Each buffer is preceded by 4 bytes holding its class.
constexpr size_t kBufHeader = 4;

MsgMemPool::MsgMemPool() {
  for (int i = 0; i < kSizeCount; ++i) pools_[i] = new LockedPool(name_, kSizes[i] + 4, kBlocksPerChunk);
}

MsgMemPool::~MsgMemPool() {
  for (auto* p : pools_) delete p;
}

int MsgMemPool::classOf(int length) {
  for (int i = 0; i < kSizeCount; ++i)
    if (length <= kSizes[i]) return i;
  return kHeapClass;
}

int MsgMemPool::classOfBuffer(const void* buffer) {
  int32_t cls;
  std::memcpy(&cls, static_cast<const char*>(buffer) - kBufHeader, 4);
  return cls;
}

void* MsgMemPool::allocate(int length) {
  if (length < 0) return nullptr;
  int cls = classOf(length);
  char* block;
  if (cls == kHeapClass) {
    // Heap blocks also keep their length in front of the class, so what they
    // hold can be counted when they go back.
    block = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 2 * kBufHeader));
    if (!block) return nullptr;
    const int32_t n = length;
    std::memcpy(block, &n, 4);
    block += kBufHeader;
    heapBytes_.fetch_add(length, std::memory_order_relaxed);
  } else {
    block = static_cast<char*>(pools_[cls]->allocate());
  }
  if (!block) return nullptr;  // callers see a refused allocation, no header written to nothing
  int32_t c32 = cls;
  std::memcpy(block, &c32, 4);
  return block + kBufHeader;
}

void MsgMemPool::release(void* buffer) {
  if (!buffer) return;
  char* block = static_cast<char*>(buffer) - kBufHeader;
  int cls = classOfBuffer(buffer);
  if (cls == kHeapClass) {
    int32_t n;
    std::memcpy(&n, block - kBufHeader, 4);
    heapBytes_.fetch_sub(n, std::memory_order_relaxed);
    std::free(block - kBufHeader);
    return;
  }
  if (cls < 0 || cls > kHeapClass) return;
  pools_[cls]->release(block);
}

int MsgMemPool::chunkCount(int cls) { return pools_[cls]->chunkCount(); }

int64_t MsgMemPool::heldBytes() {
  int64_t n = heapBytes_.load(std::memory_order_relaxed);
  for (int i = 0; i < kSizeCount; ++i) n += int64_t{pools_[i]->chunkCount()} * kBlocksPerChunk * (kSizes[i] + 4);
  return n;
}

MsgMemPool& instance() {
  static MsgMemPool pool;
  return pool;
}
}  // namespace msgmempool
}  // namespace vexolib::net
