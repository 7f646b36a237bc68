// Object pools, MsgMem size classes and the bounded queue.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "Jobs.h"
#include "MsgMem.h"

using vexolib::net::BoundedQueue;
using vexolib::net::ObjectPool;
namespace mm = vexolib::net::msgmempool;

TEST(MsgMem, LengthsFallIntoTheirClasses) {
  struct Case {
    int length;
    int cls;
  } cases[] = {{0, 0},      {16, 0},     {17, 1},      {32, 1},      {33, 2},      {1024, 6},
               {2048, 7},   {4096, 8},   {4097, 9},    {5000, 9},    {16384, 9},   {16385, 10},
               {65536, 10}, {65537, 11}, {262144, 11}, {262145, 12}, {1048576, 12}};
  for (const Case& c : cases) {
    void* b = mm::instance().allocate(c.length);
    ASSERT_NE(b, nullptr) << c.length;
    EXPECT_EQ(mm::MsgMemPool::classOfBuffer(b), c.cls) << c.length;
    // The whole length is usable.
    if (c.length > 0) {
      static_cast<char*>(b)[0] = 1;
      static_cast<char*>(b)[c.length - 1] = 2;
    }
    mm::instance().release(b);
  }
  mm::instance().release(nullptr);
  EXPECT_EQ(mm::instance().allocate(-1), nullptr);
}

TEST(MsgMem, ChunksComeAndGoWithDemand) {
  const int cls = mm::MsgMemPool::classOf(100);
  const int before = mm::instance().chunkCount(cls);
  std::vector<void*> held;
  for (int i = 0; i < 65; ++i) held.push_back(mm::instance().allocate(100));
  EXPECT_GE(mm::instance().chunkCount(cls), before + 1);
  for (void* p : held) mm::instance().release(p);
  EXPECT_EQ(mm::instance().chunkCount(cls), before);
}

TEST(ObjectPool, SixtyFourPerChunkAndEmptyChunksGoBack) {
  ObjectPool pool("JobAccept", 40, 64);
  std::vector<void*> objects;
  for (int i = 0; i < 64; ++i) objects.push_back(pool.allocate());
  EXPECT_EQ(pool.chunkCount(), 1);
  objects.push_back(pool.allocate());
  EXPECT_EQ(pool.chunkCount(), 2);
  std::set<void*> distinct(objects.begin(), objects.end());
  EXPECT_EQ(distinct.size(), objects.size());
  for (void* p : objects) pool.release(p);
  EXPECT_EQ(pool.chunkCount(), 0);
}

TEST(ObjectPool, MostRecentlyFreedBlockComesBackFirst) {
  ObjectPool pool("p", 24, 64);
  void* keep = pool.allocate();
  void* a = pool.allocate();
  pool.release(a);
  EXPECT_EQ(pool.allocate(), a);
  pool.release(a);
  pool.release(keep);
}

// Many full chunks each getting one block back at once: every chunk joins the
// free list together, which must have room for all of them.
TEST(ObjectPool, EveryChunkPartlyFreeAtOnce) {
  ObjectPool pool("p", 8, 4);
  std::vector<void*> objects;
  for (int i = 0; i < 4 * 40; ++i) objects.push_back(pool.allocate());
  ASSERT_EQ(pool.chunkCount(), 40);
  for (size_t i = 0; i < objects.size(); i += 4) pool.release(objects[i]);
  for (size_t i = 0; i < objects.size(); i += 4) objects[i] = pool.allocate();
  EXPECT_EQ(pool.chunkCount(), 40);
  for (void* p : objects) pool.release(p);
  EXPECT_EQ(pool.chunkCount(), 0);
}

TEST(ObjectPool, ObjectsKeepTheirContents) {
  ObjectPool pool("p", 64, 16);
  std::vector<unsigned char*> objects;
  for (int i = 0; i < 100; ++i) {
    auto* o = static_cast<unsigned char*>(pool.allocate());
    std::memset(o, i, 64);
    objects.push_back(o);
  }
  for (int i = 0; i < 100; i += 3)
    pool.release(objects[static_cast<size_t>(i)]), objects[static_cast<size_t>(i)] = nullptr;
  for (int i = 0; i < 100; ++i) {
    if (!objects[static_cast<size_t>(i)]) continue;
    for (int b = 0; b < 64; ++b) ASSERT_EQ(objects[static_cast<size_t>(i)][b], i);
    pool.release(objects[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(pool.chunkCount(), 0);
}

TEST(JobPools, AcceptJobsFillChunksOfSixtyFour) {
  const int before = vexolib::net::jobPoolChunks("JobAccept");
  std::vector<vexolib::net::JobAccept*> jobs;
  for (int i = 0; i < 65; ++i) jobs.push_back(vexolib::net::JobAccept::create(i, vexolib::net::kNoSock, 1, 2, 3));
  EXPECT_EQ(vexolib::net::jobPoolChunks("JobAccept"), before + 2);
  for (auto* j : jobs) j->destroy();
  EXPECT_EQ(vexolib::net::jobPoolChunks("JobAccept"), before);
}

TEST(BoundedQueue, RefusesWhenFullAndWrapsInOrder) {
  BoundedQueue<int> q(512);
  for (int i = 0; i < 512; ++i) ASSERT_TRUE(q.tryPush(i));
  EXPECT_FALSE(q.tryPush(512));
  int v = -1;
  ASSERT_TRUE(q.tryPop(v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(q.tryPush(512));
  for (int i = 1; i <= 512; ++i) {
    ASSERT_TRUE(q.tryPop(v));
    ASSERT_EQ(v, i);
  }
  EXPECT_FALSE(q.tryPop(v));
  for (int i = 0; i < 600; ++i) {
    ASSERT_TRUE(q.tryPush(i));
    ASSERT_TRUE(q.tryPop(v));
    ASSERT_EQ(v, i);
  }
}

TEST(BoundedQueue, ManyProducersAndConsumersLoseNothing) {
  BoundedQueue<int> q(64);
  constexpr int kProducers = 4, kPerProducer = 5000;
  std::atomic<int> consumed{0};
  std::vector<std::atomic<int>> seen(kProducers * kPerProducer);
  std::vector<std::thread> threads;
  for (int p = 0; p < kProducers; ++p)
    threads.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) q.push(p * kPerProducer + i);
    });
  for (int c = 0; c < 3; ++c)
    threads.emplace_back([&] {
      int v;
      while (consumed.load() < kProducers * kPerProducer) {
        if (q.tryPop(v)) {
          seen[static_cast<size_t>(v)].fetch_add(1);
          consumed.fetch_add(1);
        } else {
          std::this_thread::yield();
        }
      }
    });
  for (auto& t : threads) t.join();
  for (auto& s : seen) ASSERT_EQ(s.load(), 1);
}

TEST(BoundedQueue, PushWaitsForRoom) {
  BoundedQueue<int> q(1);
  ASSERT_TRUE(q.tryPush(1));
  std::atomic<bool> pushed{false};
  std::thread t([&] {
    q.push(2);
    pushed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(pushed.load());
  int v;
  ASSERT_TRUE(q.tryPop(v));
  t.join();
  EXPECT_TRUE(pushed.load());
  ASSERT_TRUE(q.tryPop(v));
  EXPECT_EQ(v, 2);
}
