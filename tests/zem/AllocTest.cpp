// Allocation tracking against the project's stand-in runtime module: paths
// from the shadow stacks, live counts across collections (objects dying and
// moving, addresses handed out again), the locks of the sweep, the frame
// allocation tree, the dumps, threads and the combined mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "StandinRuntimeDriver.h"
#include "TempDir.h"
#include "records/Records.h"
#include "session/Profiler.h"

namespace {

using vekt::testsupport::readFile;

const int kMarkEnd = 2, kWorldRestarted = 11;

class AllocTest : public vekt::testsupport::TempDirTest {
 protected:
  // "depth name total calls extra1 extra2" per active node of a tree, pre-order, root included.
  std::vector<std::string> lines(zem::Profiler& p, zem::CallTree& t) {
    std::vector<std::string> out;
    walk(p, t.root, 0, out);
    return out;
  }
  void walk(zem::Profiler& p, zem::MonoMethodCallNode& n, int depth, std::vector<std::string>& out) {
    if (!n.active) return;
    const std::string name = n.key == 0 ? "[Root]" : p.runtime().displayName(n.key);
    out.push_back(std::to_string(depth) + " " + name + " " + std::to_string(n.total) + " " + std::to_string(n.calls) +
                  " " + std::to_string(n.extra1) + " " + std::to_string(n.extra2));
    for (auto& kv : n.children) walk(p, static_cast<zem::MonoMethodCallNode&>(*kv.second), depth + 1, out);
  }
  // Memory mode on the stand-in; weak handles refused when handles is false.
  void start(zem::Profiler& p, Standin& s, const char* module, bool handles) {
    s.weakHandles(handles ? 1 : 0);
    p.startProfiling();
    ASSERT_EQ(p.startMonoOn(module, 2, false), 1);
  }
  size_t liveObjects(zem::ThreadContext& c) {
    size_t n = 0;
    for (auto& e : c.objectMap) n += e.second.dead ? 0 : 1;
    return n;
  }
};

TEST_F(AllocTest, MemoryModeInstallsShadowHooksAndTheAllocationCallback) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_LEGACY_PATH, true);
  EXPECT_EQ(s.mask(), 0x180 | 0x1000);
  EXPECT_EQ(s.counter("null_installs"), 0);
  // The shadow hooks keep paths; the CPU tree gets nothing.
  s.enter(kUpdate);
  s.alloc(0x1000, kBullet, 24);
  s.leave(kUpdate);
  zem::ThreadContext& c = *p.mainContext();
  EXPECT_TRUE(lines(p, c.cpuTree).empty());
  EXPECT_EQ(lines(p, c.allocTotalTree), (std::vector<std::string>{"0 [Root] 0 0 0 0", "1 Game:Update () 24 1 24 1"}));
  // After the stop the allocation callback is a no-op: no stale paths.
  p.stopProfiling();
  s.alloc(0x2000, kBullet, 24);
  EXPECT_EQ(c.objectMap.size(), 1u);
}

// Two allocations of 24 bytes on one path, then both die: live counts go, totals stay.
// With weak handles the sweep runs once the world runs again; with only the
// liveness test it runs at mark end (world stopped) too.
TEST_F(AllocTest, DeadObjectsLeaveTheLiveCountsAndTheMap) {
  struct Case {
    const char* module;
    bool handles;
    int sweepEvent;
  };
  for (const Case& k :
       {Case{STANDIN_FULL_PATH, true, kWorldRestarted}, Case{STANDIN_LEGACY_PATH, true, kWorldRestarted},
        Case{STANDIN_FULL_PATH, false, kMarkEnd}, Case{STANDIN_FULL_PATH, false, kWorldRestarted}}) {
    SCOPED_TRACE(std::string(k.module) + (k.handles ? " handles " : " is_alive ") + std::to_string(k.sweepEvent));
    Standin s(k.module);
    zem::Profiler p;
    start(p, s, k.module, k.handles);
    s.enter(kUpdate);
    s.enter(kLevel2);
    s.alloc(0x1000, kBullet, 24);
    s.alloc(0x1040, kBullet, 24);
    s.alloc(0x1080, kString, 0);  // size 0: counted nowhere, still mapped
    s.leave(kLevel2);
    s.alloc(0x10c0, kString, 40);
    s.leave(kUpdate);
    zem::ThreadContext& c = *p.mainContext();
    const std::vector<std::string> before{"0 [Root] 0 0 0 0", "1 Game:Update () 40 1 40 1",
                                          "2 Game:Level2 () 48 2 48 2"};
    EXPECT_EQ(lines(p, c.allocTotalTree), before);
    EXPECT_EQ(lines(p, c.allocFrameTree), before);
    EXPECT_EQ(c.objectMap.size(), 4u);
    s.kill(0x1000);
    s.kill(0x1040);
    s.kill(0x1080);
    if (k.handles) {
      s.gc(kMarkEnd);  // weakly held objects wait for the world to run again
      EXPECT_EQ(liveObjects(c), 4u);
    }
    s.gc(k.sweepEvent);
    EXPECT_EQ(lines(p, c.allocTotalTree), (std::vector<std::string>{"0 [Root] 0 0 0 0", "1 Game:Update () 40 1 40 1",
                                                                    "2 Game:Level2 () 48 2 0 0"}));
    EXPECT_EQ(liveObjects(c), 1u);
    EXPECT_EQ(s.counter("live_handles"), k.handles ? 1 : 0);
  }
}

// The legacy runtime with neither weak handles nor a liveness test: nothing is
// ever taken for dead by a sweep.
TEST_F(AllocTest, WithoutAWayToTellLivenessTheSweepRemovesNothing) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_LEGACY_PATH, false);
  s.alloc(0x1000, kBullet, 24);
  s.kill(0x1000);
  s.gc(kMarkEnd);
  s.gc(kWorldRestarted);
  EXPECT_EQ(lines(p, p.mainContext()->allocTotalTree), (std::vector<std::string>{"0 [Root] 24 1 24 1"}));
}

// A moving collector hands addresses out again: every allocation counts, and the
// object that left the address is no longer live there.
TEST_F(AllocTest, AnAddressHandedOutAgainIsCountedAsANewAllocation) {
  for (bool handles : {false, true}) {
    SCOPED_TRACE(handles ? "weak handles" : "no liveness test");
    Standin s(STANDIN_LEGACY_PATH);
    zem::Profiler p;
    start(p, s, STANDIN_LEGACY_PATH, handles);
    s.enter(kUpdate);
    for (int i = 0; i < 100; ++i) s.alloc(0x1000, kBullet, 24);  // each one collected before the next
    s.leave(kUpdate);
    zem::ThreadContext& c = *p.mainContext();
    EXPECT_EQ(lines(p, c.allocTotalTree),
              (std::vector<std::string>{"0 [Root] 0 0 0 0", "1 Game:Update () 2400 100 24 1"}));
    EXPECT_EQ(c.objectMap.size(), 1u);
    EXPECT_EQ(s.counter("live_handles"), handles ? 1 : 0);
  }
}

// With weak handles a moved object keeps its record under its new address, and
// the address it left can take a new object.
TEST_F(AllocTest, MovedObjectsStayLiveUnderTheirNewAddress) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_LEGACY_PATH, true);
  s.enter(kUpdate);
  s.alloc(0x1000, kBullet, 24);
  s.alloc(0x2000, kBullet, 32);
  s.move(0x1000, 0x9000);  // promoted, the event of that collection not seen yet
  s.alloc(0x1000, kString, 40);
  s.move(0x2000, 0x9100);
  s.kill(0x9000);
  s.gc(kWorldRestarted);
  s.leave(kUpdate);
  zem::ThreadContext& c = *p.mainContext();
  ASSERT_EQ(c.objectMap.size(), 2u);
  EXPECT_EQ(c.objectMap.begin()->first, 0x1000u);
  EXPECT_EQ(c.objectMap.rbegin()->first, 0x9100u);
  EXPECT_EQ(c.objectMap.rbegin()->second.size, 32u);
  EXPECT_EQ(lines(p, c.allocTotalTree), (std::vector<std::string>{"0 [Root] 0 0 0 0", "1 Game:Update () 96 3 72 2"}));
  EXPECT_EQ(s.counter("live_handles"), 2);
}

// While the world is stopped a suspended thread may hold a lock: the sweep of mark
// end must not wait for it. Once the world runs again the sweep waits for the lock.
TEST_F(AllocTest, SweepNeverWaitsWhileTheWorldIsStoppedAndLocksWhenItRuns) {
  Standin s(STANDIN_FULL_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_FULL_PATH, false);
  s.alloc(0x1000, kBullet, 24);
  s.kill(0x1000);
  zem::ThreadContext& c = *p.mainContext();
  for (zem::NamedLock* held : {&c.objmapLock, &c.treeLock}) {
    SCOPED_TRACE(held->name());
    std::promise<void> locked, release;
    std::thread holder([&] {
      held->lock();
      locked.set_value();
      release.get_future().wait();
      held->unlock();
    });
    locked.get_future().wait();
    auto stopped = std::async(std::launch::async, [&] { s.gc(kMarkEnd); });
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    auto running = std::async(std::launch::async, [&] { s.gc(kWorldRestarted); });
    EXPECT_EQ(running.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    release.set_value();
    holder.join();
    stopped.wait();
    running.wait();
    EXPECT_EQ(liveObjects(c), 0u);
    s.alloc(0x1000, kBullet, 24);
    s.kill(0x1000);
  }
  // Found dead at mark end with the locks free: counted off at once, removed later.
  s.gc(kMarkEnd);
  EXPECT_EQ(liveObjects(c), 0u);
  EXPECT_EQ(c.allocTotalTree.root.extra2, 0u);
  s.gc(kWorldRestarted);
  EXPECT_TRUE(c.objectMap.empty());
}

// The runtime reports an allocation from inside its allocator's wrappers: those
// innermost frames are no part of the path; a script's native method is.
TEST_F(AllocTest, TheRuntimesAllocatorFramesAreLeftOutOfThePath) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_LEGACY_PATH, true);
  s.enter(kUpdate);
  s.enter(kAllocWrapper);
  s.alloc(0x1000, kBullet, 24);  // fast path
  s.enter(kAllocIcall);
  s.alloc(0x2000, kBullet, 24);  // slow path
  s.leave(kAllocIcall);
  s.leave(kAllocWrapper);
  s.enter(kNative);
  s.enter(kAllocWrapper);
  s.alloc(0x3000, kString, 40);
  s.leave(kAllocWrapper);
  s.leave(kNative);
  s.leave(kUpdate);
  const std::vector<std::string> expected{"0 [Root] 0 0 0 0", "1 Game:Update () 48 2 48 2",
                                          "2 (wrapper managed-to-native) Game:Native () 40 1 40 1"};
  EXPECT_EQ(lines(p, p.mainContext()->allocTotalTree), expected);
  EXPECT_EQ(lines(p, p.mainContext()->allocFrameTree), expected);
}

// Frames an exception unwinds get no plain leave: the runtime's exception notices, or
// the next leave further out, take them off the shadow stack; a leave that matches
// nothing entered changes nothing. Each case starts inside Update > Level2 > Deep >
// Deep > Level3, allocates after its event and then leaves Update.
TEST_F(AllocTest, ShadowStacksStayTrueAcrossExceptionsAndUnmatchedLeaves) {
  struct Case {
    const char* what;
    std::function<void(Standin&)> event;
    std::vector<std::string> path;  // below the root, where the allocation is filed
  };
  const std::string update = "Game:Update ()", level2 = "Game:Level2 ()", deep = "Game:Deep (int)",
                    level3 = "Game:Level3 ()";
  const int unwound[] = {kLevel3, kDeep, kDeep};
  const std::vector<Case> cases = {
      {"exception leaves and the catch clause",
       [&](Standin& s) { s.throwTo(unwound, 3, kLevel2, 1); },
       {update, level2}},
      {"the catch clause alone", [&](Standin& s) { s.throwTo(unwound, 3, kLevel2, 0); }, {update, level2}},
      {"caught in the recursion", [&](Standin& s) { s.throwTo(unwound, 1, kDeep, 0); }, {update, level2, deep, deep}},
      {"caught outside what was entered",
       [&](Standin& s) { s.throwTo(unwound, 1, kAwake, 1); },
       {update, level2, deep, deep}},
      {"caught outside, no exception leaves",
       [&](Standin& s) { s.throwTo(unwound, 1, kAwake, 0); },
       {update, level2, deep, deep, level3}},
      {"a leave never entered", [](Standin& s) { s.leave(kRender); }, {update, level2, deep, deep, level3}},
      {"an outer method leaves", [](Standin& s) { s.leave(kLevel2); }, {update}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Standin s(STANDIN_FULL_PATH);
    zem::Profiler p;
    start(p, s, STANDIN_FULL_PATH, true);
    const size_t depth = p.allocations().shadowDepth();
    for (int m : {kUpdate, kLevel2, kDeep, kDeep, kLevel3}) s.enter(m);
    k.event(s);
    s.alloc(0x1000, kBullet, 24);
    s.leave(kUpdate);
    EXPECT_EQ(p.allocations().shadowDepth(), depth);
    std::vector<std::string> expected{"0 [Root] 0 0 0 0"};
    for (size_t i = 0; i < k.path.size(); ++i)
      expected.push_back(std::to_string(i + 1) + " " + k.path[i] +
                         (i + 1 == k.path.size() ? " 24 1 24 1" : " 0 0 0 0"));
    EXPECT_EQ(lines(p, p.mainContext()->allocTotalTree), expected);
  }
}

TEST_F(AllocTest, FrameTreeKeepsOuterAndInnerFramesAndIsWrittenAndResetEachFrame) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_LEGACY_PATH, true);
  p.idMapFile(path("ids").c_str(), nullptr);
  p.logGcFile(path("gc").c_str());
  s.enter(kUpdate);
  for (int i = 0; i < 11; ++i) s.enter(kDeep);  // 12 frames, no entry frame among them
  s.alloc(0x1000, kBullet, 8);
  for (int i = 0; i < 11; ++i) s.leave(kDeep);
  p.frameEnd(1);
  s.alloc(0x2000, kBullet, 16);  // frame 2: inside Update only
  s.leave(kUpdate);
  p.frameEnd(2);
  p.frameEnd(2);  // the same frame again writes nothing
  p.stopProfiling();
  std::vector<zem::FrameBlock> blocks;
  std::string err;
  ASSERT_TRUE(zem::readFrames(readFile(path("gc")), blocks, err)) << err;
  ASSERT_EQ(blocks.size(), 2u);
  // Frame 1: the 4 outermost and the 6 innermost of 12 frames; depth, node, key, total, calls.
  ASSERT_EQ(blocks[0].lines.size(), 11u);
  EXPECT_EQ(blocks[0].lines.back()[0], 10);
  EXPECT_EQ(blocks[0].lines.back()[3], 8);
  for (auto& l : blocks[0].lines) EXPECT_EQ(l.size(), 5u);
  // Frame 2: reset, then only the new path.
  ASSERT_EQ(blocks[1].lines.size(), 2u);
  EXPECT_EQ(blocks[1].lines[1][0], 1);
  EXPECT_EQ(blocks[1].lines[1][3], 16);
  EXPECT_EQ(blocks[1].lines[1][4], 1);
  // The cumulative tree keeps the full path.
  EXPECT_EQ(lines(p, p.mainContext()->allocTotalTree).size(), 13u);
}

TEST_F(AllocTest, FilteredPathStopsAtTheEntryFrame) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.addFilter("UnityEngine", 1);  // Behaviour:Awake is an entry frame
  start(p, s, STANDIN_LEGACY_PATH, true);
  s.enter(kUpdate);
  s.enter(kLevel2);
  s.enter(kLevel3);
  s.enter(kRender);
  s.enter(kAwake);
  for (int i = 0; i < 9; ++i) s.enter(kDeep);
  s.alloc(0x1000, kBullet, 8);
  // Kept: the frames from the outermost down to the entry frame; none inside it.
  auto t = lines(p, p.mainContext()->allocFrameTree);
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(t.back(), "5 UnityEngine.Behaviour:Awake () 8 1 8 1");
  EXPECT_EQ(lines(p, p.mainContext()->allocTotalTree).size(), 15u);
}

TEST_F(AllocTest, DumpsReadBackWithTheObjectMapGroupedByLeafAndClass) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_LEGACY_PATH, true);
  p.idMapFile(path("ids").c_str(), nullptr);
  s.enter(kUpdate);
  s.alloc(0x1000, kBullet, 24);
  s.alloc(0x1100, kBullet, 24);
  s.alloc(0x1200, kString, 40);
  s.enter(kLevel2);
  s.alloc(0x1300, kBullet, 24);
  s.leave(kLevel2);
  s.leave(kUpdate);
  s.alloc(0x1400, kString, 10);  // empty shadow stack: the root
  s.kill(0x1100);
  s.gc(kWorldRestarted);
  p.frameEnd(7);
  p.dumpCallTree(path("tree").c_str());
  p.dumpObjectMap(path("objects").c_str());
  p.dumpObjectMap(path("again").c_str());
  p.dumpObjectMap((dir() / "no" / "such" / "dir").string().c_str());  // cannot be opened: nothing
  p.stopProfiling();

  std::vector<zem::FrameBlock> tree;
  std::vector<zem::IdName> ids;
  std::string err;
  ASSERT_TRUE(zem::readFrames(readFile(path("tree")), tree, err)) << err;
  ASSERT_TRUE(zem::readIdMap(readFile(path("ids")), "", ids, err)) << err;
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree[0].frame, 7);
  std::map<long long, std::string> names;
  for (auto& r : ids) names[static_cast<long long>(r.id)] = r.name;
  std::map<std::string, long long> nodeOf;  // name -> node identifier
  std::vector<std::string> got;
  for (auto& l : tree[0].lines) {
    ASSERT_EQ(l.size(), 7u);
    nodeOf[names[l[2]]] = l[1];
    got.push_back(names[l[2]] + " " + std::to_string(l[3]) + " " + std::to_string(l[4]) + " " + std::to_string(l[5]) +
                  " " + std::to_string(l[6]));
  }
  EXPECT_EQ(got,
            (std::vector<std::string>{"[Root] 10 1 10 1", "Game:Update () 88 3 64 2", "Game:Level2 () 24 1 24 1"}));

  zem::ObjectMap objects, again;
  ASSERT_TRUE(zem::readObjectMap(readFile(path("objects")), objects, err)) << err;
  ASSERT_TRUE(zem::readObjectMap(readFile(path("again")), again, err)) << err;
  EXPECT_EQ(objects.frame, 7);
  std::vector<std::string> groups;
  for (auto& g : objects.groups) {
    std::string leaf = "?";
    for (auto& [name, node] : nodeOf)
      if (static_cast<uint64_t>(node) == g.leaf) leaf = name;
    groups.push_back(leaf + " " + g.className + " " + std::to_string(g.bytes) + " " + std::to_string(g.count));
  }
  std::sort(groups.begin(), groups.end());
  EXPECT_EQ(groups, (std::vector<std::string>{"Game:Level2 () Bullet 24 1", "Game:Update () Bullet 24 1",
                                              "Game:Update () String 40 1", "[Root] String 10 1"}));
  EXPECT_EQ(readFile(path("again")), readFile(path("objects")));  // the cells are refilled each time
  std::string text;
  ASSERT_TRUE(zem::dumpFile(readFile(path("objects")), "", text, err)) << err;
  EXPECT_NE(text.find("class Bullet bytes 24 count 1"), std::string::npos) << text;
}

TEST_F(AllocTest, OtherThreadsAreRecordedOnlyWithMultiThreadInTheSharedContext) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_LEGACY_PATH, true);
  auto other = [&](uintptr_t address) {
    std::thread t([&] {
      s.enter(kRender);
      s.alloc(address, kBullet, 24);
      s.leave(kRender);
    });
    t.join();
  };
  other(0x1000);
  EXPECT_EQ(p.contextIfCreated(1), nullptr);
  p.multiThread(true);
  s.enter(kUpdate);  // the main thread's shadow stack is its own
  other(0x2000);
  s.alloc(0x3000, kBullet, 16);
  s.leave(kUpdate);
  ASSERT_NE(p.contextIfCreated(1), nullptr);
  zem::ThreadContext& shared = *p.contextIfCreated(1);
  EXPECT_EQ(lines(p, shared.allocTotalTree),
            (std::vector<std::string>{"0 [Root] 0 0 0 0", "1 Game:Render () 24 1 24 1"}));
  EXPECT_EQ(lines(p, p.mainContext()->allocTotalTree),
            (std::vector<std::string>{"0 [Root] 0 0 0 0", "1 Game:Update () 16 1 16 1"}));
  p.idMapFile(path("ids").c_str(), nullptr);
  p.dumpCallTree(path("tree").c_str());
  std::vector<zem::IdName> ids;
  std::string err;
  ASSERT_TRUE(zem::readIdMap(readFile(path("ids")), "", ids, err)) << err;
  bool threadName = false;
  for (auto& r : ids) threadName = threadName || r.name == "[Thread] Game:Render ()";
  EXPECT_TRUE(threadName);
}

// The counters of every node of a tree, inactive ones too, summed.
uint64_t everyCounter(zem::CallNode& n) {
  auto& m = static_cast<zem::MonoMethodCallNode&>(n);
  uint64_t sum = uint64_t{m.total} + m.calls + m.extra1 + m.extra2;
  for (auto& kv : n.children) sum += everyCounter(*kv.second);
  return sum;
}

// The frame end runs on the main thread while another thread is between counting
// an allocation and finding it was a second report of the same object.
std::promise<void>* g_reachedWeakHandle = nullptr;
std::shared_future<void>* g_frameEnded = nullptr;
void pauseForFrameEnd() {
  g_reachedWeakHandle->set_value();
  g_frameEnded->wait();
}

// A second report of an object is taken back, but not from a frame tree that a frame
// end has written and reset in between: that tree stays at zero.
TEST_F(AllocTest, ASecondReportAcrossAFrameEndLeavesTheFrameTreeAtZero) {
  Standin s(STANDIN_FULL_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_FULL_PATH, true);
  p.multiThread(true);
  std::promise<void> reached, ended;
  std::shared_future<void> endedFuture = ended.get_future().share();
  g_reachedWeakHandle = &reached;
  g_frameEnded = &endedFuture;
  std::thread other([&] {
    s.enter(kRender);
    s.alloc(0x1000, kBullet, 24);
    s.onWeakHandle(pauseForFrameEnd);
    s.reportAgain(0x1000, kBullet);
    s.leave(kRender);
  });
  reached.get_future().wait();
  s.onWeakHandle(nullptr);
  p.frameEnd(1);
  ended.set_value();
  other.join();
  zem::ThreadContext& shared = *p.contextIfCreated(1);
  EXPECT_EQ(everyCounter(shared.allocFrameTree.root), 0u);
  EXPECT_EQ(lines(p, shared.allocTotalTree),
            (std::vector<std::string>{"0 [Root] 0 0 0 0", "1 Game:Render () 24 1 24 1"}));
}

// Another thread's first allocation makes the shared context while the main thread
// interns the names of its samples (the TSan run checks that they share nothing unguarded).
TEST_F(AllocTest, TheFirstAllocationOfAnotherThreadWhileTheMainThreadInternsNames) {
  Standin s(STANDIN_FULL_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_FULL_PATH, true);
  p.multiThread(true);
  std::atomic<bool> done{false};
  std::thread other([&] {
    s.enter(kRender);
    s.alloc(0x1000, kBullet, 24);
    s.leave(kRender);
    done.store(true, std::memory_order_relaxed);  // no ordering: the two sides share nothing else
  });
  int n = 0;
  do {
    const std::string name = "sample " + std::to_string(n++);
    EXPECT_STREQ(p.nameOf(p.intern(name.c_str())), name.c_str());
  } while (!done.load(std::memory_order_relaxed));
  other.join();
  ASSERT_NE(p.contextIfCreated(1), nullptr);
  EXPECT_STREQ(p.nameOf(p.intern("Zem-Overhead")), "Zem-Overhead");
}

// Threads allocate, die and are swept at once (the TSan run checks the locking).
TEST_F(AllocTest, ThreadsAllocateWhileCollectionsSweep) {
  Standin s(STANDIN_FULL_PATH);
  zem::Profiler p;
  start(p, s, STANDIN_FULL_PATH, true);
  p.multiThread(true);
  const int kThreads = 3, kEach = 2000;
  std::atomic<bool> done{false};
  std::thread collector([&] {
    while (!done.load()) s.gc(kWorldRestarted);
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      s.enter(t == 0 ? kUpdate : kRender);
      for (int i = 0; i < kEach; ++i) {
        const uintptr_t address = 0x100000u * (t + 1) + 0x10u * i;
        s.alloc(address, kBullet, 24);
        if (i % 2) s.kill(address);
      }
      s.leave(t == 0 ? kUpdate : kRender);
    });
  for (auto& t : threads) t.join();
  done = true;
  collector.join();
  s.gc(kWorldRestarted);
  uint32_t calls = 0, live = 0;
  for (int key = 0; key < 2; ++key)
    if (zem::ThreadContext* c = p.contextIfCreated(key))
      for (auto& kv : c->allocTotalTree.root.children) {
        auto& n = static_cast<zem::MonoMethodCallNode&>(*kv.second);
        calls += n.calls;
        live += n.extra2;
      }
  EXPECT_EQ(calls, static_cast<uint32_t>(kThreads * kEach));
  EXPECT_EQ(live, static_cast<uint32_t>(kThreads * kEach / 2));
  EXPECT_EQ(s.counter("live_handles"), kThreads * kEach / 2);
}

TEST_F(AllocTest, CombinedModeAddsBytesToTheCurrentCpuNode) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.startProfiling();
  ASSERT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 0xffff, false), 1);
  EXPECT_EQ(s.mask(), 0x180 | 0x1000);
  s.alloc(0x1000, kBullet, 24);  // no current node: nothing
  s.enter(kUpdate);
  s.alloc(0x2000, kBullet, 24);
  s.alloc(0x3000, kString, 40);
  std::thread([&] { s.alloc(0x4000, kBullet, 24); }).join();  // other threads: nothing
  s.leave(kUpdate);
  zem::ThreadContext& c = *p.mainContext();
  ASSERT_EQ(c.cpuTree.root.children.size(), 1u);
  EXPECT_EQ(static_cast<zem::MonoMethodCallNode&>(*c.cpuTree.root.children.begin()->second).extra1, 64u);
  EXPECT_TRUE(c.cpuTree.fullLines);
  EXPECT_TRUE(c.objectMap.empty());
}

}  // namespace
