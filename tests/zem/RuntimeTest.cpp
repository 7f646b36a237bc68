// The managed runtime binding against the project's stand-in runtime module:
// binding once, one profiler, filtered and unfiltered enter/leave, the
// self-check, wrapper detection, injection, collections, the ahead-of-time
// runtime and the faults of deep nesting and leaked names.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "StandinRuntimeDriver.h"
#include "TempDir.h"
#include "records/Records.h"
#include "runtime/Module.h"
#include "session/Profiler.h"

namespace {

using vekt::testsupport::readFile;
using vekt::testsupport::writeFile;

class RuntimeTest : public vekt::testsupport::TempDirTest {
 protected:
  // The tree of the main context: "depth name calls" per active node, pre-order.
  std::vector<std::string> tree(zem::Profiler& p) {
    std::vector<std::string> out;
    walk(p, p.mainContext()->cpuTree.root, 0, out);
    return out;
  }
  void walk(zem::Profiler& p, zem::MonoMethodCallNode& n, int depth, std::vector<std::string>& out) {
    for (auto& kv : n.children) {
      auto& c = static_cast<zem::MonoMethodCallNode&>(*kv.second);
      if (!c.active) continue;
      std::string name = c.isSample ? p.nameOf(c.key) : p.runtime().displayName(c.key);
      out.push_back(std::to_string(depth + 1) + " " + name + " " + std::to_string(c.calls));
      walk(p, c, depth + 1, out);
    }
  }
};

TEST_F(RuntimeTest, BindingHappensOncePerSessionAndAFailureStaysAFailure) {
  zem::Profiler p;
  EXPECT_FALSE(p.preLoad((dir() / "missing.so").string().c_str(), false));
  EXPECT_FALSE(p.preLoad(STANDIN_LEGACY_PATH, false));  // never bound again
  EXPECT_EQ(p.hookEntry(STANDIN_LEGACY_PATH), 0);
  EXPECT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, false), 0);
  EXPECT_FALSE(p.monoEnterLeave());
  zem::Profiler q;
  EXPECT_FALSE(q.preLoad(nullptr, false));
  zem::Profiler r;
  EXPECT_EQ(r.startMonoOn(nullptr, 1, false), 0);  // no module named: nothing bound
  EXPECT_TRUE(r.preLoad(STANDIN_LEGACY_PATH, false));
}

TEST_F(RuntimeTest, LegacyRuntimeOffersEnterLeaveOnlyAndItsMissingFunctionsAreListed) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  EXPECT_TRUE(p.preLoad(STANDIN_LEGACY_PATH, false));
  EXPECT_TRUE(p.monoEnterLeave());
  EXPECT_EQ(p.runtime().missingFunctions(),
            (std::vector<std::string>{"mono_object_is_alive", "mono_profiler_get_events",
                                      "mono_profiler_install_method_invoke"}));
  // PreLoad installs the profiler and turns the method events on (384 assumed).
  EXPECT_EQ(s.counter("installs"), 1);
  EXPECT_EQ(s.mask(), 0x180 | 0x11000);
  zem::Profiler full;
  Standin f(STANDIN_FULL_PATH);
  EXPECT_TRUE(full.preLoad(STANDIN_FULL_PATH, false));
  EXPECT_FALSE(full.monoEnterLeave());
  EXPECT_TRUE(full.runtime().missingFunctions().empty());
}

TEST_F(RuntimeTest, OneProfilerIsInstalledAndNoCallbackIsEverNull) {
  Standin s(STANDIN_LEGACY_PATH);
  setenv("ZEM_WRAPPER_ASSEMBLY", (dir() / "none.dll").string().c_str(), 1);
  zem::Profiler p;
  p.startProfiling();
  EXPECT_TRUE(p.preLoad(STANDIN_LEGACY_PATH, false));
  EXPECT_EQ(p.hookEntry(STANDIN_LEGACY_PATH), 1);
  s.call(kUpdate);  // injection attempt (no wrapper file), then the hooks are cleared
  EXPECT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, false), 1);
  p.winProfileCpu(3);
  p.stopProfiling();
  EXPECT_EQ(s.counter("installs"), 1);
  EXPECT_GT(s.counter("hook_installs"), 4);
  EXPECT_EQ(s.counter("null_installs"), 0);
  s.call(kUpdate);  // after stop: the no-op callbacks run
  unsetenv("ZEM_WRAPPER_ASSEMBLY");
}

TEST_F(RuntimeTest, InvokeInstallerMeansEveryMethodUnfiltered) {
  Standin s(STANDIN_FULL_PATH);
  zem::Profiler p;
  p.startProfiling();
  EXPECT_EQ(p.startMonoOn(STANDIN_FULL_PATH, 1, false), 1);
  EXPECT_EQ(s.mask(), 0x10000);  // the mask read back (0 here) plus invoke events
  for (int i = 0; i < 5; ++i) s.enter(kDeep);
  s.call(kPush);  // the wrapper API is not filtered on this path
  for (int i = 0; i < 5; ++i) s.leave(kDeep);
  EXPECT_EQ(tree(p), (std::vector<std::string>{"1 Game:Deep (int) 1", "2 Game:Deep (int) 1", "3 Game:Deep (int) 1",
                                               "4 Game:Deep (int) 1", "5 Game:Deep (int) 1",
                                               "6 ZEMEngine:PushSample (string) 1"}));
  EXPECT_EQ(p.mainContext()->current, nullptr);
}

TEST_F(RuntimeTest, DefaultLevelKeepsThreeNestingLevelsAndLeavesOfSkippedOnesPopNothing) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.startProfiling();
  ASSERT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, false), 1);
  EXPECT_EQ(s.mask(), 0x180 | 0x1000);
  s.enter(kUpdate);
  s.enter(kLevel2);
  s.enter(kLevel3);
  s.call(kDeep);  // depth 4: skipped
  s.enter(kDeep);
  s.call(kDeep);
  s.leave(kDeep);
  s.leave(kLevel3);
  s.call(kRender);  // back at depth 3: recorded
  s.leave(kLevel2);
  s.leave(kUpdate);
  // Children in key order (the stand-in's method handles ascend with their index).
  EXPECT_EQ(tree(p), (std::vector<std::string>{"1 Game:Update () 1", "2 Game:Level2 () 1", "3 Game:Render () 1",
                                               "3 Game:Level3 () 1"}));
  EXPECT_EQ(p.mainContext()->current, nullptr);
  EXPECT_EQ(p.runtime().depth(), 0u);
}

TEST_F(RuntimeTest, OtherThreadsRecordNothingWhileTheEngineThreadRecordsAndRestarts) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.startProfiling();
  ASSERT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, false), 1);
  // One worker never asked zem for its thread number, the other holds one.
  std::atomic<bool> done{false};
  auto worker = [&](bool numbered) {
    if (numbered) zem::currentThreadId();
    while (!done.load()) s.call(kRender);
  };
  std::thread plain(worker, false), numbered(worker, true);
  for (int i = 0; i < 200; ++i) {
    p.startProfiling();  // the engine thread names itself the main thread again while others call
    s.call(kUpdate);
  }
  done = true;
  plain.join();
  numbered.join();
  EXPECT_EQ(tree(p), (std::vector<std::string>{"1 Game:Update () 200"}));
  EXPECT_EQ(p.runtime().depth(), 0u);
}

TEST_F(RuntimeTest, SelfCheckLearnsTheWrapperApiWhichNeverShowsUp) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.startProfiling();
  // The wrapper assembly is found only once loaded: load it through the injection.
  const std::string wrapper = (dir() / "ZEMWrapper_Windows.dll").string();
  writeFile(wrapper, std::string("MZ wrapper bytes\0tail", 21));
  setenv("ZEM_WRAPPER_ASSEMBLY", wrapper.c_str(), 1);
  ASSERT_EQ(p.hookEntry(STANDIN_LEGACY_PATH), 1);
  s.call(kAwake);
  unsetenv("ZEM_WRAPPER_ASSEMBLY");
  ASSERT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, false), 1);
  EXPECT_EQ(s.counter("check_all_api"), 1);
  for (int m : {kPush, kPop, kLogInt, kCheckAllApi}) EXPECT_TRUE(p.runtime().inApiSet(s.method(m))) << m;
  EXPECT_FALSE(p.runtime().inApiSet(s.method(kUpdate)));
  s.enter(kUpdate);
  s.call(kPush);
  s.call(kLogInt);
  s.call(kRender);
  s.leave(kUpdate);
  EXPECT_EQ(tree(p), (std::vector<std::string>{"1 Game:Update () 1", "2 Game:Render () 1"}));
  // Level 1 ignores the API methods entirely (no depth change either).
  p.winProfileCpu(1);
  s.enter(kUpdate);
  s.enter(kPush);
  s.call(kRender);
  s.leave(kUpdate);
  EXPECT_EQ(p.runtime().depth(), 0u);
}

TEST_F(RuntimeTest, WrapperMethodsAreExcludedOnceTheirNameWasWritten) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.startProfiling();
  ASSERT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, false), 1);
  p.idMapFile(path("ids").c_str(), nullptr);
  p.logCpuFile(path("cpu").c_str());
  auto frame = [&](int f) {
    s.enter(kUpdate);
    s.enter(kNative);
    s.call(kRender);
    s.leave(kNative);
    s.leave(kUpdate);
    // Charge enough time to every node that none is pruned as insignificant.
    std::vector<zem::MonoMethodCallNode*> todo{&p.mainContext()->cpuTree.root};
    while (!todo.empty()) {
      auto* n = todo.back();
      todo.pop_back();
      n->total += 1000;
      for (auto& kv : n->children) todo.push_back(static_cast<zem::MonoMethodCallNode*>(kv.second));
    }
    auto t = tree(p);
    p.frameEnd(f);
    return t;
  };
  EXPECT_EQ(frame(1), (std::vector<std::string>{"1 Game:Update () 1", "2 (wrapper managed-to-native) Game:Native () 1",
                                                "3 Game:Render () 1"}));
  EXPECT_EQ(frame(2), (std::vector<std::string>{"1 Game:Update () 1", "2 Game:Render () 1"}));
  p.stopProfiling();
  std::vector<zem::IdName> ids;
  std::string err;
  ASSERT_TRUE(zem::readIdMap(readFile(path("ids")), "", ids, err)) << err;
  std::vector<std::string> names;
  for (auto& r : ids) names.push_back(r.name);
  EXPECT_EQ(names, (std::vector<std::string>{"[Root]", "Game:Update ()", "(wrapper managed-to-native) Game:Native ()",
                                             "Game:Render ()"}));
}

TEST_F(RuntimeTest, NestingPastTheSkipFlagsIsSkippedNotWrittenPast) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.startProfiling();
  p.winProfileCpu(1);  // no depth limit
  ASSERT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, false), 1);
  // Methods that throw leave enters without leaves: depth runs past 50 000.
  for (int i = 0; i < 60000; ++i) s.enter(kDeep);
  EXPECT_EQ(p.runtime().depth(), 60000u);
  for (int i = 0; i < 60000; ++i) s.leave(kDeep);
  EXPECT_EQ(p.runtime().depth(), 0u);
  EXPECT_EQ(p.mainContext()->current, nullptr);
  p.frameEnd(1);
}

TEST_F(RuntimeTest, LevelThreeLeavesOnlySamplesAndCollectionsAreSamples) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.startProfiling();
  ASSERT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, false), 1);
  s.enter(kUpdate);
  s.gc(0);
  s.gc(2);  // mark end: nothing in cpu mode
  s.gc(5);
  s.leave(kUpdate);
  EXPECT_EQ(tree(p), (std::vector<std::string>{"1 Game:Update () 1", "2 GC.Collect 1"}));
  p.frameEnd(1);
  p.winProfileCpu(3);
  EXPECT_EQ(s.mask() & 0x11000, 0);
  s.enter(kUpdate);
  p.pushSample("Frame");
  s.call(kRender);
  p.popSample();
  s.leave(kUpdate);
  p.frameEnd(2);
  EXPECT_EQ(tree(p), std::vector<std::string>{});  // reset; check the frame before reset below
  s.enter(kUpdate);
  p.pushSample("Frame");
  s.call(kRender);
  p.popSample();
  s.leave(kUpdate);
  EXPECT_EQ(tree(p), (std::vector<std::string>{"1 Frame 1"}));
}

TEST_F(RuntimeTest, AheadOfTimeRuntimeInstallsNothingAndBuildsNames) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  p.startProfiling();
  EXPECT_TRUE(p.preLoad(STANDIN_LEGACY_PATH, true));
  EXPECT_EQ(p.startMonoOn(STANDIN_LEGACY_PATH, 1, true), 1);
  EXPECT_EQ(p.hookEntry(STANDIN_LEGACY_PATH), 0);
  EXPECT_EQ(s.counter("installs"), 0);
  EXPECT_EQ(s.counter("hook_installs"), 0);
  EXPECT_TRUE(p.runtime().isIl2cpp());
  EXPECT_EQ(p.runtime().methodDisplayName(s.method(kCheckAllApi), true), "ZemCallBack.Profiler:CheckAllApi");
  EXPECT_EQ(p.runtime().methodDisplayName(s.method(kUpdate), false), "Game:Update");
  p.logMemoryFile(path("mem").c_str());
  p.frameEnd(0);
  p.stopProfiling();
  EXPECT_EQ(readFile(path("mem")), "#0\r\n1,101,0,0\r\n2,102,0,3072\r\n2,103,0,1024\r\n");
}

TEST_F(RuntimeTest, InjectionLoadsTheWrapperOnceAndFreesEveryName) {
  Standin s(STANDIN_LEGACY_PATH);
  const std::string wrapper = (dir() / "wrapper.dll").string();
  writeFile(wrapper, "wrapper-assembly-bytes");
  setenv("ZEM_WRAPPER_ASSEMBLY", wrapper.c_str(), 1);
  zem::Profiler p;
  ASSERT_EQ(p.hookEntry(STANDIN_LEGACY_PATH), 1);
  for (int i = 0; i < 100; ++i) s.call(kRender);  // not a trigger
  EXPECT_EQ(s.counter("loads"), 0);
  EXPECT_EQ(s.counter("outstanding_names"), 0);
  // Two threads enter a trigger at once: one injection.
  std::atomic<int> ready{0};
  auto body = [&] {
    ++ready;
    while (ready.load() < 2) {
    }
    s.call(kUpdate);
  };
  std::thread a(body), b(body);
  a.join();
  b.join();
  s.call(kAwake);
  unsetenv("ZEM_WRAPPER_ASSEMBLY");
  EXPECT_TRUE(p.runtime().injected());
  EXPECT_EQ(s.counter("loads"), 1);
  EXPECT_EQ(s.counter("static_inits"), 1);
  EXPECT_EQ(std::string(s.loadedBytes()), "wrapper-assembly-bytes");
  EXPECT_EQ(s.counter("outstanding_names"), 0);
  EXPECT_EQ(s.counter("null_installs"), 0);
}

TEST_F(RuntimeTest, InjectionWithoutAWrapperFileEndsQuietly) {
  Standin s(STANDIN_LEGACY_PATH);
  setenv("ZEM_WRAPPER_ASSEMBLY", (dir() / "absent.dll").string().c_str(), 1);
  zem::Profiler p;
  ASSERT_EQ(p.hookEntry(STANDIN_LEGACY_PATH), 1);
  s.call(kStaticInit);  // "StaticInit" is no trigger
  s.call(kUpdate);
  s.call(kUpdate);
  unsetenv("ZEM_WRAPPER_ASSEMBLY");
  EXPECT_EQ(s.counter("loads"), 0);
  EXPECT_EQ(s.counter("static_inits"), 0);
}

TEST_F(RuntimeTest, EntryFramesFollowTheFilterLists) {
  Standin s(STANDIN_LEGACY_PATH);
  zem::Profiler p;
  ASSERT_TRUE(p.preLoad(STANDIN_LEGACY_PATH, false));
  auto entry = [&](int m) { return p.runtime().isEntryFrame(reinterpret_cast<zem::Key>(s.method(m))); };
  p.addFilter("Unity", 1);   // namespace prefix
  p.addFilter("Ga", 2);      // class prefix
  p.addFilter("Ren", 4);     // method-name prefix excludes
  p.addFilter("Update", 3);  // has no say
  p.addFilter(nullptr, 1);
  p.addFilter("x", 6);
  EXPECT_TRUE(entry(kUpdate));
  EXPECT_FALSE(entry(kRender));
  EXPECT_TRUE(entry(kAwake));  // UnityEngine.Behaviour
  EXPECT_FALSE(entry(kCheckAllApi));
  p.addFilter("UnityE", 5);  // namespace prefix excludes, but the answer is cached
  EXPECT_TRUE(entry(kAwake));
}

}  // namespace
