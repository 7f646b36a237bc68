// Threads, the mutex, the semaphore and the clocks.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "base/Clock.h"
#include "base/Mutex.h"
#include "base/Semaphore.h"
#include "base/Thread.h"

using namespace vekt::base;

namespace {

size_t currentStackSize() {
  pthread_attr_t attr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
  }
  return size;
}

size_t stackOfAThreadWith(size_t request) {
  std::atomic<size_t> seen{0};
  Thread t;
  EXPECT_TRUE(t.start([&] { seen = currentStackSize(); }, request));
  t.join();
  return seen;
}

TEST(ThreadTest, RunsWithTheRequestedStackAndJoinsOnDestruction) {
  std::atomic<bool> ran{false};
  {
    Thread t;
    ASSERT_TRUE(t.start([&] {
      sleepMs(20);
      ran = true;
    }));
    EXPECT_TRUE(t.joinable());
    EXPECT_FALSE(t.start([] {})) << "a second start on a running thread";
  }  // the destructor joins
  EXPECT_TRUE(ran);
  // Sanitizers add room of their own: compare sizes rather than expect exact ones.
  const size_t small = stackOfAThreadWith(256 * 1024);
  const size_t large = stackOfAThreadWith(4 * 1024 * 1024);
  EXPECT_GE(small, 256u * 1024u);
  EXPECT_GE(large, 4u * 1024u * 1024u);
  EXPECT_GE(large - small, 3u * 1024u * 1024u);
}

TEST(ThreadTest, JoinMoveAndEmptyBodies) {
  Thread idle;
  idle.join();  // nothing runs: no effect
  EXPECT_FALSE(idle.start(nullptr));
  std::atomic<int> count{0};
  Thread a;
  ASSERT_TRUE(a.start([&] { ++count; }));
  Thread b(std::move(a));
  EXPECT_FALSE(a.joinable());
  EXPECT_TRUE(b.joinable());
  b.join();
  EXPECT_FALSE(b.joinable());
  EXPECT_EQ(count, 1);
  ASSERT_TRUE(b.start([&] { ++count; }, 1));  // a tiny request gets the system's minimum
  b.join();
  EXPECT_EQ(count, 2);
}

TEST(ThreadTest, MutexWorksWithStandardGuards) {
  Mutex m;
  long total = 0;
  std::vector<Thread> threads(4);
  for (auto& t : threads) {
    ASSERT_TRUE(t.start([&] {
      for (int i = 0; i < 20000; ++i) {
        std::lock_guard<Mutex> g(m);
        ++total;
      }
    }));
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(total, 80000);
  std::unique_lock<Mutex> l(m);
  EXPECT_FALSE(m.try_lock());
  l.unlock();
  EXPECT_TRUE(m.try_lock());
  m.unlock();
}

TEST(ThreadTest, SemaphoreCountsWaitsAndTimesOut) {
  Semaphore s(1, 2);
  EXPECT_TRUE(s.tryWait());
  EXPECT_FALSE(s.tryWait());
  const uint64_t before = monotonicMs();
  EXPECT_FALSE(s.wait(50));
  EXPECT_GE(monotonicMs() - before, 45u);
  s.post();
  s.post();
  s.post();  // beyond the maximum: stays at 2
  EXPECT_TRUE(s.wait(0));
  EXPECT_TRUE(s.wait(0));
  EXPECT_FALSE(s.wait(0));

  std::atomic<int> taken{0};
  Thread waiter;
  ASSERT_TRUE(waiter.start([&] {
    for (int i = 0; i < 1000; ++i) {
      if (s.wait(-1)) ++taken;
    }
  }));
  for (int i = 0; i < 1000; ++i) {
    while (taken < i) sleepMs(0);
    s.post();
  }
  waiter.join();
  EXPECT_EQ(taken, 1000);
}

TEST(ThreadTest, ClocksMoveForwardTogether) {
  const uint64_t ms0 = monotonicMs();
  const int64_t us0 = monotonicMicros();
  const uint64_t t0 = highResTicks();
  sleepMs(30);
  const uint64_t ms = monotonicMs() - ms0;
  const int64_t us = monotonicMicros() - us0;
  EXPECT_GE(ms, 29u);
  EXPECT_LT(ms, 5000u);
  EXPECT_GE(us, 29000);
  EXPECT_GT(highResTicks(), t0);
  EXPECT_GT(highResFrequency(), 999u);
  EXPECT_EQ(static_cast<uint32_t>(monotonicMs()) - tickMs() <= 1u, true);
  std::tm parts{};
  ASSERT_TRUE(localTime(wallSeconds(), parts));
  EXPECT_GE(parts.tm_year, 120);
}

}  // namespace
