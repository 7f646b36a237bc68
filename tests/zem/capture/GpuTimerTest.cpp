// GPU frame time from a ring of query sets, against a fake device whose
// answers arrive a set number of frames late (or never, or unusable).
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "GpuTimer.h"
#include "ScreenshotSession.h"
#include "StandinDevice.h"

namespace {

using zem::capture::GpuFrameTimer;
using zem::capture::GpuQueryAnswer;
using zem::capture::GpuQuerySource;

// Answers a set `lag` frames after it ended; each frame's GPU work lasts
// `ticksPerFrame` at `frequency`.
struct FakeQueries : GpuQuerySource {
  struct Log {
    int creates = 0, begins = 0, ends = 0, reads = 0;
    int frame = 0;
    std::vector<int> endFrame = std::vector<int>(GpuFrameTimer::kSlots, -1);
    bool pending[GpuFrameTimer::kSlots] = {};
  };
  explicit FakeQueries(Log& log) : log(log) {}
  bool create(int) override {
    ++log.creates;
    return canCreate;
  }
  bool begin(int slot) override {
    EXPECT_FALSE(log.pending[slot]) << "a set reused before it was read";
    ++log.begins;
    return true;
  }
  bool end(int slot) override {
    ++log.ends;
    log.endFrame[slot] = log.frame;
    log.pending[slot] = true;
    return true;
  }
  GpuQueryAnswer read(int slot) override {
    ++log.reads;
    GpuQueryAnswer a;
    if (never || log.frame < log.endFrame[slot] + lag) return a;
    log.pending[slot] = false;
    a.status = failing ? GpuQueryAnswer::kFailed : GpuQueryAnswer::kReady;
    a.begin = 1000;
    a.end = 1000 + ticksPerFrame;
    a.frequency = frequency;
    a.disjoint = disjoint;
    return a;
  }
  Log& log;
  bool canCreate = true, never = false, failing = false, disjoint = false;
  int lag = 2;
  uint64_t ticksPerFrame = 2500000, frequency = 1000000000;  // 2.5 ms at 1 GHz
};

struct Rig {
  FakeQueries::Log log;
  FakeQueries* queries = nullptr;
  GpuFrameTimer timer{[this] {
    auto q = std::make_unique<FakeQueries>(log);
    queries = q.get();
    return q;
  }};
  void frames(int n) {
    for (int i = 0; i < n; ++i) {
      timer.frameBegin();
      timer.frameEnd();
      ++log.frame;
    }
  }
};

TEST(GpuTimerTest, TicksBecomeMicrosecondsAndUnusableAnswersAreRefused) {
  const struct {
    uint64_t begin, end, frequency;
    bool disjoint;
    int64_t us;
  } rows[] = {
      {0, 2500000, 1000000000, false, 2500},              // 1 GHz
      {100, 100 + 3579545, 3579545, false, 1000000},      // a performance-counter rate, one second
      {5, 5 + 1790, 3579545, false, 500},                 // 500 us, remainder path
      {0, 12, 1000000, false, 12},                        // 1 MHz: one tick per microsecond
      {0, UINT64_MAX, 1000000000, false, INT64_MAX / 2},  // absurd: no overflow, very long
      {7, 7, 1000, false, 0},                             // nothing drawn
      {0, 100, 1000, true, -1},                           // disjoint
      {0, 100, 0, false, -1},                             // no frequency
      {100, 50, 1000, false, -1},                         // end before begin
  };
  for (const auto& r : rows) {
    GpuQueryAnswer a;
    a.status = GpuQueryAnswer::kReady;
    a.begin = r.begin;
    a.end = r.end;
    a.frequency = r.frequency;
    a.disjoint = r.disjoint;
    EXPECT_EQ(zem::capture::gpuMicroseconds(a), r.us) << r.begin << ".." << r.end << " @" << r.frequency;
  }
  GpuQueryAnswer notReady;
  notReady.frequency = 1000;
  EXPECT_EQ(zem::capture::gpuMicroseconds(notReady), -1);
}

TEST(GpuTimerTest, AnswersArriveAFewFramesLateWithoutWaitingAndSetsAreReusedOnlyOnceRead) {
  Rig rig;
  EXPECT_EQ(rig.timer.latestMicroseconds(), -1);  // nothing known before the first frame
  rig.frames(2);
  EXPECT_EQ(rig.timer.latestMicroseconds(), 0);  // a timer runs, no answer yet
  rig.frames(1);
  EXPECT_EQ(rig.timer.latestMicroseconds(), 2500);
  EXPECT_EQ(rig.log.creates, GpuFrameTimer::kSlots - 1);  // sets made as the ring first turns
  rig.queries->ticksPerFrame = 4000000;
  rig.frames(20);
  EXPECT_EQ(rig.timer.latestMicroseconds(), 4000);
  EXPECT_EQ(rig.log.creates, GpuFrameTimer::kSlots);
  EXPECT_EQ(rig.log.begins, 23);  // a lag of 2 frames never fills a ring of 4
  // Each end reads at most the sets that are ready, then stops at the first that is not.
  EXPECT_LE(rig.log.reads, 2 * 23 + 23);
}

TEST(GpuTimerTest, AFullRingSkipsFramesAndAStaleFigureFallsToZero) {
  Rig rig;
  rig.frames(1);
  rig.queries->lag = 6;  // slower than the ring
  rig.frames(30);
  EXPECT_LT(rig.log.begins, 31);  // frames went unmeasured instead of waiting
  EXPECT_EQ(rig.timer.latestMicroseconds(), 2500);
  rig.queries->lag = 2;
  rig.frames(10);             // answers again in every frame
  rig.queries->never = true;  // the device stops answering
  rig.frames(GpuFrameTimer::kStaleFrames);
  EXPECT_EQ(rig.timer.latestMicroseconds(), 2500);
  rig.frames(1);
  EXPECT_EQ(rig.timer.latestMicroseconds(), 0);
  rig.queries->never = false;
  rig.frames(10);
  EXPECT_EQ(rig.timer.latestMicroseconds(), 2500);
}

TEST(GpuTimerTest, DisjointOrFailedSetsLeaveTheFigureAndFreeTheirSlot) {
  for (bool failing : {false, true}) {
    Rig rig;
    rig.frames(5);
    ASSERT_EQ(rig.timer.latestMicroseconds(), 2500);
    rig.queries->ticksPerFrame = 9000000;
    (failing ? rig.queries->failing : rig.queries->disjoint) = true;
    const int begins = rig.log.begins;
    rig.frames(8);
    EXPECT_EQ(rig.timer.latestMicroseconds(), 2500) << failing;
    EXPECT_EQ(rig.log.begins, begins + 8) << failing;  // slots came back: no frame skipped
  }
}

TEST(GpuTimerTest, ADeviceWithoutTimestampQueriesHasNoTimer) {
  zem::capture::GpuFrameTimer none{[] { return std::unique_ptr<GpuQuerySource>(); }};
  none.frameBegin();
  none.frameEnd();
  EXPECT_EQ(none.latestMicroseconds(), -1);

  FakeQueries::Log log;
  GpuFrameTimer refused{[&] {
    auto q = std::make_unique<FakeQueries>(log);
    q->canCreate = false;
    return q;
  }};
  for (int i = 0; i < 5; ++i) {
    refused.frameBegin();
    refused.frameEnd();
  }
  EXPECT_EQ(refused.latestMicroseconds(), -1);
  EXPECT_EQ(log.creates, 1);  // asked once
  EXPECT_EQ(log.begins, 0);
}

TEST(GpuTimerTest, EventsOutOfOrderMeasureNothingWrong) {
  Rig rig;
  rig.timer.frameEnd();  // an end-draw before any begin-draw
  rig.timer.frameBegin();
  rig.timer.frameBegin();  // two begin-draws: the set restarts
  rig.timer.frameEnd();
  rig.timer.frameEnd();
  rig.log.frame += 5;
  rig.frames(1);
  EXPECT_EQ(rig.log.ends, 2);
  EXPECT_EQ(rig.timer.latestMicroseconds(), 2500);
}

TEST(GpuTimerTest, TheSessionTimesFramesBetweenBeginAndEndDrawOnceInitialised) {
  FakeQueries::Log log;
  std::vector<std::pair<int, void*>> asked;
  zem::capture::test::StandinDevice device{64, 64, zem::capture::PixelOrder::kRgbx,
                                           zem::capture::test::makePattern(64, 64, zem::capture::PixelOrder::kRgbx)};
  zem::capture::ScreenshotSession session(
      [&](int, void*) { return std::make_unique<zem::capture::test::StandinWorker>(device); }, {},
      [&](int type, void* dev) -> std::unique_ptr<GpuQuerySource> {
        asked.emplace_back(type, dev);
        return std::make_unique<FakeQueries>(log);
      });
  EXPECT_EQ(session.gpuFrameMicroseconds(), -1);
  session.setGraphicsDevice(&device, 2);
  session.setups(64, 64, 0, 0, 4, "unused/");
  session.beginDraw();
  session.endDraw();
  EXPECT_EQ(session.gpuFrameMicroseconds(), -1);  // nothing before NativeInit
  ASSERT_EQ(session.nativeInit(), 1);
  for (int i = 0; i < 4; ++i) {
    session.beginDraw();
    session.endDraw();
    ++log.frame;
  }
  EXPECT_EQ(session.gpuFrameMicroseconds(), 2500);
  ASSERT_EQ(asked.size(), 1u);  // made once, at the first frame
  EXPECT_EQ(asked[0].first, zem::capture::ScreenshotSession::kD3D11);
  EXPECT_EQ(asked[0].second, &device);
}

}  // namespace
