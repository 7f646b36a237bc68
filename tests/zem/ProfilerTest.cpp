// Core behaviour of the profiler: sample trees, registered samples, identifier
// files, value logs and the awkward call orders an engine can produce.
#include <gtest/gtest.h>

#include <cstring>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "TempDir.h"
#include "session/Profiler.h"
#include "records/Records.h"

namespace {

using vekt::testsupport::readFile;

class ProfilerTest : public vekt::testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    p_.reset(new zem::Profiler);
  }
  void TearDown() override { p_.reset(); }
  void start(const char* key = nullptr) {
    p_->markStartTime(key);
    p_->startProfiling();
    p_->startMonoOn(nullptr, 1, false);
    p_->idMapFile(path("ids").c_str(), path("unreg").c_str());
    p_->logIdMapFile(path("vids").c_str());
    p_->logCpuFile(path("cpu").c_str());
    p_->logLogFile(path("values").c_str());
  }
  // All frames of the CPU file with names resolved: "depth name calls" per line.
  std::vector<std::vector<std::string>> cpuFrames(const std::string& key = "") {
    std::vector<zem::IdName> ids;
    std::vector<zem::FrameBlock> frames;
    std::string err;
    EXPECT_TRUE(zem::readIdMap(readFile(path("ids")), key, ids, err)) << err;
    EXPECT_TRUE(zem::readFrames(readFile(path("cpu")), frames, err)) << err;
    std::map<long long, std::string> names;
    for (auto& r : ids) names[static_cast<long long>(r.id)] = r.name;
    std::vector<std::vector<std::string>> out;
    for (auto& f : frames) {
      out.emplace_back();
      for (auto& l : f.lines)
        out.back().push_back(std::to_string(l[0]) + " " + names[l[2]] + " " + std::to_string(l[4]));
    }
    return out;
  }
  std::unique_ptr<zem::Profiler> p_;
};

TEST_F(ProfilerTest, NestedSamplesMergeIntoOneNodePerPath) {
  start();
  p_->pushSample("A");
  p_->pushSample("B");
  p_->popSample();
  p_->pushSample("B");
  p_->popSample();
  p_->popSample();
  p_->logSample(0, 0, 0);  // nothing registered: ignored
  // Keep the leaf above the significance threshold so it is written.
  auto* a = static_cast<zem::MonoMethodCallNode*>(p_->mainContext()->cpuTree.root.children.begin()->second);
  static_cast<zem::MonoMethodCallNode*>(a->children.begin()->second)->total += 1000;
  p_->frameEnd(1);
  p_->stopProfiling();
  auto frames = cpuFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], (std::vector<std::string>{"0 [Root] 0", "1 A 1", "2 B 2"}));
}

// A name buffer reused with new text must not keep the old identifier.
TEST_F(ProfilerTest, ReusedNameBufferGetsTheNewNamesIdentifier) {
  start();
  char buffer[32];
  std::strcpy(buffer, "First");
  const zem::Key first = p_->intern(buffer);
  EXPECT_EQ(p_->intern(buffer), first);
  std::strcpy(buffer, "Second");
  const zem::Key second = p_->intern(buffer);
  EXPECT_NE(second, first);
  EXPECT_STREQ(p_->nameOf(second), "Second");
  EXPECT_EQ(p_->intern("First"), first);
  std::strcpy(buffer, "First");
  EXPECT_EQ(p_->intern(buffer), first);
}

TEST_F(ProfilerTest, RegisteredSampleHangsFromItsParentChainAndClampsIt) {
  start();
  p_->registerSample("A", "B");
  p_->logSample(0, 5000000, 1);
  p_->logSample(1, 1, 1);  // beyond the list
  auto& root = p_->mainContext()->cpuTree.root;
  ASSERT_EQ(root.children.size(), 1u);
  auto* b = static_cast<zem::MonoMethodCallNode*>(root.children.begin()->second);
  EXPECT_STREQ(p_->nameOf(b->key), "B");
  EXPECT_EQ(b->total, 0u);
  auto* a = static_cast<zem::MonoMethodCallNode*>(b->children.begin()->second);
  EXPECT_EQ(a->total, 5000u);
  EXPECT_EQ(a->calls, 1u);
}

TEST_F(ProfilerTest, RegisteredParentLoopDoesNotRecurseForever) {
  start();
  p_->registerSample("A", "B");
  p_->registerSample("B", "A");
  p_->registerSample("C", "C");
  p_->logSample(0, 2000000, 1);
  p_->logSample(1, 2000000, 1);
  p_->logSample(2, 2000000, 1);
  p_->frameEnd(1);
  p_->stopProfiling();
  EXPECT_EQ(cpuFrames().size(), 1u);
}

TEST_F(ProfilerTest, IndexedSampleIsNamedByItsIndexAndListedUnregistered) {
  start();
  p_->pushSampleId(7);
  p_->popSampleId(7);
  p_->pushSampleId(131072);  // outside the table: ignored
  p_->pushSampleId(-1);
  EXPECT_EQ(p_->checkStack(), 0);
  static_cast<zem::MonoMethodCallNode*>(p_->mainContext()->cpuTree.root.children.begin()->second)->total = 500;
  p_->frameEnd(1);
  p_->stopProfiling();
  auto frames = cpuFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], (std::vector<std::string>{"0 [Root] 0", "1 7 1"}));
  std::string unreg = readFile(path("unreg"));
  EXPECT_EQ(std::count(unreg.begin(), unreg.end(), '\n'), 1);
}

TEST_F(ProfilerTest, BinaryIdentifierFileIsScrambledWithTheKey) {
  start("ab");
  p_->pushSample("Hello");
  p_->popSample();
  static_cast<zem::MonoMethodCallNode*>(p_->mainContext()->cpuTree.root.children.begin()->second)->total = 500;
  p_->frameEnd(1);
  p_->stopProfiling();
  std::string raw = readFile(path("ids"));
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw[0], 0x42);
  EXPECT_EQ(raw[1], sizeof(void*) == 4 ? 0x01 : 0x02);
  EXPECT_EQ(raw.find("Hello"), std::string::npos);
  EXPECT_EQ(raw.find("[Root]"), std::string::npos);
  auto frames = cpuFrames("ab");
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0][1], "1 Hello 1");
  // Names are written once per run.
  std::vector<zem::IdName> ids;
  std::string err;
  ASSERT_TRUE(zem::readIdMap(raw, "ab", ids, err));
  EXPECT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[1].name, "Hello");
  // Scrambling by hand: byte i XOR key[i % 2].
  size_t rec = 2 + sizeof(void*) + 2 + 6;  // past [Root]
  EXPECT_EQ(raw[rec + sizeof(void*) + 2], 'H' ^ 'a');
  EXPECT_EQ(raw[rec + sizeof(void*) + 3], 'e' ^ 'b');
}

TEST_F(ProfilerTest, LongNamesAreCutTo200BytesAndNonAsciiKept) {
  start();
  std::string longName(300, 'x');
  zem::Key a = p_->intern(longName.c_str());
  zem::Key b = p_->intern(std::string(200, 'x').c_str());
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::string(p_->nameOf(a)).size(), 200u);
  const char* utf = "\xe5\x90\x8d\xff\x80";
  EXPECT_STREQ(p_->nameOf(p_->intern(utf)), utf);
}

TEST_F(ProfilerTest, ValuesAreWrittenPerFrameAndCleared) {
  start();
  p_->logMarker("m");
  p_->logMarker("m");
  p_->logMarker("m");
  p_->logFloat("f", -0.0019f);
  p_->logFloat(std::string(201, 'y').c_str(), 1.0f);  // too long: not logged
  p_->frameEnd(1);
  p_->frameEnd(2);
  p_->stopProfiling();
  std::vector<zem::FrameBlock> frames;
  std::string err;
  ASSERT_TRUE(zem::readFrames(readFile(path("values")), frames, err));
  ASSERT_EQ(frames.size(), 2u);
  ASSERT_EQ(frames[0].lines.size(), 4u);
  EXPECT_EQ(frames[0].lines[1][3], 3);
  EXPECT_EQ(frames[0].lines[3][3], -1);
  EXPECT_EQ(frames[1].lines.size(), 2u);  // table headers only
}

// Awkward sequences: each must leave a readable session and no crash.
struct Sequence {
  const char* name;
  void (*run)(zem::Profiler&);
};

const Sequence kSequences[] = {
    {"pop without push",
     [](zem::Profiler& p) {
       p.popSample();
       p.popSampleId(3);
     }},
    {"unbalanced at frame end",
     [](zem::Profiler& p) {
       p.pushSample("Open");
       p.pushSample("Open2");
       p.frameEnd(1);
       p.popSample();
       p.popSample();
       p.popSample();
     }},
    {"sample across frame boundary",
     [](zem::Profiler& p) {
       p.pushSample("Span");
       p.frameEnd(1);
       p.pushSample("Next");
       p.popSample();
       p.popSample();
       p.frameEnd(2);
     }},
    {"deep recursion",
     [](zem::Profiler& p) {
       for (int i = 0; i < 200000; ++i) p.pushSample(i % 2 ? "R1" : "R2");
       p.frameEnd(1);
       p.dumpTotalCpuGcTree(nullptr);
     }},
    {"thousands of names",
     [](zem::Profiler& p) {
       for (int i = 0; i < 5000; ++i) {
         std::string n = "name" + std::to_string(i);
         p.pushSample(n.c_str());
         p.popSample();
         p.logInt(n.c_str(), i);
       }
       p.frameEnd(1);
     }},
    {"non-ascii names",
     [](zem::Profiler& p) {
       p.pushSample("\xe5\x90\x8d\xff");
       p.popSample();
       p.logBool("\x80\x81", true);
       p.frameEnd(1);
     }},
    {"null names",
     [](zem::Profiler& p) {
       p.pushSample(nullptr);
       p.registerSample(nullptr, nullptr);
       p.logMarker(nullptr);
       p.logVector(nullptr, 1, 2, 3);
       p.frameEnd(1);
     }},
    {"frames going backwards",
     [](zem::Profiler& p) {
       p.frameEnd(5);
       p.frameEnd(3);
       p.frameEnd(5);
     }},
    {"calls after stop",
     [](zem::Profiler& p) {
       p.stopProfiling();
       p.pushSample("Late");
       p.popSample();
       p.logInt("late", 1);
       p.frameEnd(9);
       p.stopProfiling();
     }},
    {"empty paths close files",
     [](zem::Profiler& p) {
       p.logCpuFile("");
       p.logLogFile("");
       p.idMapFile(nullptr, nullptr);
       p.frameEnd(1);
     }},
    {"huge float values",
     [](zem::Profiler& p) {
       p.logFloat("big", 1e30f);
       p.logVector("v", -1e30f, 0.0f / 0.0f, 3);
       p.frameEnd(1);
     }},
};

void PrintTo(const Sequence& s, std::ostream* os) { *os << s.name; }

class SequenceTest : public ProfilerTest, public ::testing::WithParamInterface<Sequence> {};

TEST_P(SequenceTest, LeavesReadableFiles) {
  start("key");
  GetParam().run(*p_);
  p_->stopProfiling();
  for (const char* f : {"cpu", "values"}) {
    std::vector<zem::FrameBlock> frames;
    std::string err;
    EXPECT_TRUE(zem::readFrames(readFile(path(f)), frames, err)) << f << ": " << err;
  }
  for (const char* f : {"ids", "vids"}) {
    std::vector<zem::IdName> ids;
    std::string err;
    EXPECT_TRUE(zem::readIdMap(readFile(path(f)), "key", ids, err)) << f << ": " << err;
  }
}

INSTANTIATE_TEST_SUITE_P(Tricky, SequenceTest, ::testing::ValuesIn(kSequences), [](const auto& info) {
  std::string n = info.param.name;
  for (char& c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

TEST_F(ProfilerTest, CallsBeforeStartDoNothing) {
  p_->pushSample("x");
  p_->registerSample("x", nullptr);
  p_->logSample(0, 1000, 1);
  p_->idMapFile(path("ids").c_str(), nullptr);
  p_->logIdMapFile(path("vids").c_str());
  p_->logInt("x", 1);
  p_->frameEnd(1);
  EXPECT_EQ(p_->checkStack(), 0);
  EXPECT_EQ(p_->currentFrame(), -1);
  EXPECT_FALSE(std::ifstream(path("ids")).good());
  EXPECT_FALSE(std::ifstream(path("vids")).good());
}

TEST_F(ProfilerTest, OtherThreadsAreIgnoredBySampleCalls) {
  start();
  std::thread t([&] {
    p_->pushSample("W");
    p_->logSample(0, 1, 1);
  });
  t.join();
  EXPECT_EQ(p_->checkStack(), 0);
  EXPECT_TRUE(p_->mainContext()->cpuTree.root.children.empty());
}

TEST_F(ProfilerTest, AutoProfileMarksFrequentSamplesInTheMask) {
  start();
  uint8_t mask[16] = {};
  p_->setSampleMask(mask, 16);
  p_->autoProfileCpu(true);
  for (int i = 0; i < 101; ++i) {
    p_->pushSampleId(5);
    p_->popSampleId(5);
  }
  p_->pushSampleId(3);
  p_->popSampleId(3);
  // A frequent pop with a negative index must not mark anything before the mask.
  uint8_t guarded[32] = {};
  p_->setSampleMask(guarded + 16, 16);
  for (int i = 0; i < 101; ++i) {
    p_->pushSampleId(5);
    p_->popSampleId(-2);
  }
  p_->frameEnd(1);
  EXPECT_EQ(guarded[16 + 5], 1);
  EXPECT_EQ(mask[3], 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(guarded[i], 0) << i;
}

TEST(RecordsTest, MalformedInputIsRefused) {
  std::vector<zem::IdName> ids;
  std::vector<zem::FrameBlock> frames;
  std::string err, out;
  EXPECT_FALSE(zem::readIdMap(std::string("B\x01\x01\x00", 4), "", ids, err));
  EXPECT_FALSE(zem::readIdMap(std::string("B\x01\x01\x00\x00\x00\x09\x00"
                                          "ab",
                                          10),
                              "", ids, err));
  EXPECT_FALSE(zem::readFrames("1,2,3\r\n", frames, err));
  EXPECT_FALSE(zem::readFrames("#x\r\n", frames, err));
  EXPECT_FALSE(zem::readFrames("#1\r\n1,,2\r\n", frames, err));
  EXPECT_FALSE(zem::dumpFile("#1\r\n1,2\r\n", "", out, err));
  EXPECT_TRUE(zem::dumpFile("#1\r\n0,1,0,0,0\r\n", "", out, err));
  EXPECT_NE(out.find("frame 1"), std::string::npos);
}

}  // namespace
