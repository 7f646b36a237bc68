// Screenshot state machine, slicing and JPEG output, against a stand-in device.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "JpegEncoder.h"
#include "ScreenShotHelper.h"
#include "ScreenshotSession.h"
#include "StandinDevice.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNM
#include <stb_image.h>

namespace zem::capture {
namespace {

using test::makePattern;
using test::StandinDevice;
using test::StandinWorker;

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

struct Decoded {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};
Decoded decode(const std::vector<uint8_t>& bytes) {
  Decoded d;
  int n = 0;
  uint8_t* p = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &d.width, &d.height, &n, 3);
  if (p) d.rgb.assign(p, p + static_cast<size_t>(d.width) * d.height * 3);
  stbi_image_free(p);
  return d;
}
// The same file through libjpeg-turbo's own decoder program.
Decoded decodeWithDjpeg(const std::string& jpg) {
  const std::string ppm = jpg + ".ppm";
  if (std::system(("djpeg -ppm -outfile '" + ppm + "' '" + jpg + "'").c_str()) != 0) return {};
  Decoded d = decode(readFile(ppm));
  std::remove(ppm.c_str());
  return d;
}

void expectColour(const Decoded& d, int x, int y, int r, int g, int b) {
  const uint8_t* p = d.at(x, y);
  EXPECT_NEAR(p[0], r, 8) << "red at " << x << "," << y;
  EXPECT_NEAR(p[1], g, 8) << "green at " << x << "," << y;
  EXPECT_NEAR(p[2], b, 8) << "blue at " << x << "," << y;
}

// Probes inside each quadrant, away from edges and the gradient band.
void expectQuadrants(const Decoded& d) {
  const int qx = d.width / 4, qy = d.height / 4;
  expectColour(d, qx, qy, 255, 0, 0);
  expectColour(d, 3 * qx, qy, 0, 255, 0);
  expectColour(d, qx, 3 * qy, 0, 0, 255);
  expectColour(d, 3 * qx, 3 * qy, 255, 255, 255);
}

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zemcapXXXXXX";
    dir_ = mkdtemp(tmpl);
    dir_ += '/';
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::unique_ptr<CScreenShotHelperD3D> makeHelper(StandinDevice& device, int height, int sliceCount,
                                                   const std::string& dir) {
    auto helper = std::make_unique<CScreenShotHelperD3D>([this](const std::string& t) { record(t); },
                                                         std::make_unique<StandinWorker>(device));
    EXPECT_TRUE(helper->setup(device.width, height, 0, 0, sliceCount, dir.c_str()));
    return helper;
  }
  // Traces come from the requesting and the render thread.
  void record(const std::string& t) {
    std::lock_guard<std::mutex> lock(traceMutex_);
    traces_.push_back(t);
  }
  bool traced(const std::string& text) {
    std::lock_guard<std::mutex> lock(traceMutex_);
    for (const auto& t : traces_)
      if (t.find(text) != std::string::npos) return true;
    return false;
  }

  std::string dir_;
  std::mutex traceMutex_;
  std::vector<std::string> traces_;
};

TEST(SlicingTest, RowsAndTotalsForEachHeightAndCount) {
  struct Case {
    int height, count, rows, total;
    std::vector<int> sliceSizes;
  };
  const Case cases[] = {
      {1080, 4, 270, 4, {270, 270, 270, 270}},
      {1080, 7, 154, 8, {154, 154, 154, 154, 154, 154, 154, 2}},
      {1, 1, 1, 1, {1}},
      {9, 1, 9, 1, {9}},
      {9, 2, 4, 3, {4, 4, 1}},
      {9, 4, 2, 5, {2, 2, 2, 2, 1}},
      {9, 9, 1, 9, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    Slicing s;
    ASSERT_TRUE(computeSlicing(c.height, c.count, s)) << c.height << "/" << c.count;
    EXPECT_EQ(s.sliceRows, c.rows);
    ASSERT_EQ(s.sliceTotal, c.total);
    int next = 0;
    for (int i = 0; i < s.sliceTotal; ++i) {
      int first, end;
      sliceRows(s, i, c.height, first, end);
      EXPECT_EQ(first, next) << "slices must join without gap or overlap";
      EXPECT_EQ(end - first, c.sliceSizes[i]) << c.height << "/" << c.count << " slice " << i;
      next = end;
    }
    EXPECT_EQ(next, c.height);
  }
  for (auto [height, count] : {std::pair{9, 0}, {9, 10}, {9, -1}, {0, 1}, {-5, 1}}) {
    Slicing s;
    EXPECT_FALSE(computeSlicing(height, count, s)) << height << "/" << count;
  }
}

TEST(SlicingTest, AFrameOfAnotherHeightIsStillCoveredOnce) {
  Slicing s;
  ASSERT_TRUE(computeSlicing(100, 4, s));
  for (int frameHeight : {1, 30, 99, 100, 101, 400}) {
    int next = 0;
    for (int i = 0; i < s.sliceTotal; ++i) {
      int first, end;
      sliceRows(s, i, frameHeight, first, end);
      EXPECT_GE(first, next);
      EXPECT_LE(end, frameHeight);
      if (end > first) next = end;
    }
    EXPECT_EQ(next, frameHeight);
  }
}

// The image comes out after exactly sliceTotal end-draws, each adding its rows,
// and the file is byte for byte what a one-shot encode of the same pixels gives.
TEST_F(CaptureTest, SlicedFileEqualsOneShotEncode) {
  struct Case {
    int width, height, sliceCount;
    PixelOrder order;
  };
  const Case cases[] = {
      {1, 1, 1, PixelOrder::kBgrx},   {17, 9, 1, PixelOrder::kBgrx}, {17, 9, 2, PixelOrder::kRgbx},
      {17, 9, 4, PixelOrder::kBgrx},  {17, 9, 9, PixelOrder::kRgbx}, {64, 64, 7, PixelOrder::kBgrx},
      {33, 35, 3, PixelOrder::kRgbx},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " in " + std::to_string(c.sliceCount));
    StandinDevice device{c.width, c.height, c.order, makePattern(c.width, c.height, c.order)};
    auto helper = makeHelper(device, c.height, c.sliceCount, dir_);
    const std::string name = "shot" + std::to_string(n++);
    ASSERT_TRUE(helper->request(name.c_str()));
    EXPECT_EQ(helper->state(), CScreenShotHelperBase::kRequested);
    helper->beginDraw();  // nothing to copy yet
    EXPECT_EQ(device.copies, 0);
    helper->endDraw();
    EXPECT_EQ(helper->state(), CScreenShotHelperBase::kCaptured);
    helper->beginDraw();
    EXPECT_EQ(helper->state(), CScreenShotHelperBase::kEncoding);
    Slicing s;
    ASSERT_TRUE(computeSlicing(c.height, c.sliceCount, s));
    for (int i = 0; i < s.sliceTotal; ++i) {
      EXPECT_EQ(helper->state(), CScreenShotHelperBase::kEncoding) << "slice " << i;
      helper->endDraw();
      if (i + 1 < s.sliceTotal) {
        int first, end;
        sliceRows(s, i, c.height, first, end);
        EXPECT_EQ(helper->rowsEncoded(), end) << "slice " << i;
        EXPECT_FALSE(device.locked);
      }
    }
    EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
    EXPECT_EQ(device.imagesDone, 1);
    const std::string path = dir_ + name + ".jpg";
    const auto file = readFile(path);
    const auto oneShot = encodeJpeg(c.width, c.height, c.width * 4, device.pixels.data(), c.order);
    ASSERT_FALSE(oneShot.empty());
    EXPECT_EQ(file, oneShot);
    ASSERT_GE(file.size(), 20u);
    EXPECT_EQ(std::string(file.begin() + 6, file.begin() + 11), std::string("JFIF\0", 5));
    for (const Decoded& d : {decode(file), decodeWithDjpeg(path)}) {
      ASSERT_EQ(d.width, c.width);
      ASSERT_EQ(d.height, c.height);
      if (c.width >= 64) expectQuadrants(d);
    }
  }
  EXPECT_TRUE(traced("Writing JPEG image to file: " + dir_ + "shot0.jpg\n"));
}

// Both channel orders give the same colours: red and blue are never swapped.
TEST(JpegEncoderTest, ChannelOrdersDecodeToTheSameColours) {
  for (PixelOrder order : {PixelOrder::kBgrx, PixelOrder::kRgbx}) {
    const auto px = makePattern(64, 64, order);
    const Decoded d = decode(encodeJpeg(64, 64, 64 * 4, px.data(), order));
    ASSERT_EQ(d.width, 64);
    expectQuadrants(d);
  }
}

TEST(JpegEncoderTest, BaselineFourTwoZeroAtQualityFifty) {
  const auto px = makePattern(32, 32, PixelOrder::kRgbx);
  const auto jpg = encodeJpeg(32, 32, 32 * 4, px.data(), PixelOrder::kRgbx);
  // Start of frame: baseline marker, 3 components, luma 2x2 and chroma 1x1.
  size_t sof = 0;
  for (size_t i = 2; i + 1 < jpg.size(); ++i)
    if (jpg[i] == 0xff && jpg[i + 1] >= 0xc0 && jpg[i + 1] <= 0xcf && jpg[i + 1] != 0xc4) {
      sof = i;
      break;
    }
  ASSERT_GT(sof, 0u);
  EXPECT_EQ(jpg[sof + 1], 0xc0);
  EXPECT_EQ(jpg[sof + 9], 3);
  EXPECT_EQ(jpg[sof + 11], 0x22);
  EXPECT_EQ(jpg[sof + 14], 0x11);
  EXPECT_EQ(jpg[sof + 17], 0x11);
  // Quality 50 leaves the standard luminance table as it is: its first entry is 16.
  for (size_t i = 2; i + 5 < jpg.size(); ++i)
    if (jpg[i] == 0xff && jpg[i + 1] == 0xdb) {
      EXPECT_EQ(jpg[i + 5], 16);
      break;
    }
}

TEST(JpegEncoderTest, RefusesSizesAndRowCountsItCannotTake) {
  MemorySink sink;
  JpegEncoder e;
  EXPECT_FALSE(e.start(sink, 0, 10, PixelOrder::kBgrx));
  EXPECT_FALSE(e.start(sink, 10, -1, PixelOrder::kBgrx));
  EXPECT_FALSE(e.start(sink, 70000, 10, PixelOrder::kBgrx));
  const auto px = makePattern(8, 8, PixelOrder::kBgrx);
  ASSERT_TRUE(e.start(sink, 8, 8, PixelOrder::kBgrx));
  EXPECT_FALSE(e.writeRows(px.data(), 32, 9));  // more rows than the image has
  ASSERT_TRUE(e.start(sink, 8, 8, PixelOrder::kBgrx));
  ASSERT_TRUE(e.writeRows(px.data(), 32, 4));
  EXPECT_FALSE(e.finish());  // rows missing
  EXPECT_FALSE(e.active());
}

TEST_F(CaptureTest, RequestWhileOneIsRunningIsSkippedWithItsTrace) {
  StandinDevice device{16, 16, PixelOrder::kBgrx, makePattern(16, 16, PixelOrder::kBgrx)};
  auto helper = makeHelper(device, 16, 4, dir_);
  ASSERT_TRUE(helper->request("first"));
  EXPECT_TRUE(traced("_readState -> WAIT_FOR_SCREENSHOT  file name first\n"));
  EXPECT_FALSE(helper->request("second"));
  EXPECT_EQ(traces_.back(),
            "Screenshot was skipped because the previous screenshot is not completed yet !  "
            "file name second");
  helper->endDraw();
  helper->beginDraw();
  EXPECT_FALSE(helper->request("third"));
  for (int i = 0; i < 4; ++i) helper->endDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
  EXPECT_TRUE(exists(dir_ + "first.jpg"));
  EXPECT_FALSE(exists(dir_ + "second.jpg"));
  EXPECT_TRUE(helper->request("fourth"));
}

TEST_F(CaptureTest, NamesAndPathsThatDoNotFitAreRefusedNotCut) {
  StandinDevice device{4, 4, PixelOrder::kBgrx, makePattern(4, 4, PixelOrder::kBgrx)};
  auto helper = makeHelper(device, 4, 1, dir_);
  EXPECT_FALSE(helper->request(nullptr));
  EXPECT_FALSE(helper->request(std::string(200, 'n').c_str()));
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
  EXPECT_TRUE(traced("Screenshot refused"));

  // A 199-byte directory and a 199-byte name would need a 402-byte path.
  const std::string longDir = dir_ + std::string(199 - dir_.size() - 1, 'd') + "/";
  ASSERT_EQ(longDir.size(), 199u);
  auto helper2 = makeHelper(device, 4, 1, longDir);
  EXPECT_FALSE(helper2->request(std::string(199, 'n').c_str()));
  EXPECT_TRUE(helper2->request(std::string(95, 'n').c_str()));

  auto helper3 = std::make_unique<CScreenShotHelperD3D>(nullptr, std::make_unique<StandinWorker>(device));
  EXPECT_FALSE(helper3->setup(4, 4, 0, 0, 1, std::string(200, 'd').c_str()));
  EXPECT_FALSE(helper3->setup(4, 4, 0, 0, 1, nullptr));
  EXPECT_FALSE(helper3->setup(4, 4, 0, 0, 0, dir_.c_str()));
  EXPECT_FALSE(helper3->setup(4, 4, 0, 0, 5, dir_.c_str()));
}

// A failing device step leaves the state where it is and is retried at the
// next event of its kind.
TEST_F(CaptureTest, FailedDeviceStepsAreRetried) {
  StandinDevice device{16, 16, PixelOrder::kBgrx, makePattern(16, 16, PixelOrder::kBgrx)};
  device.failCaptures = 2;
  device.failCopies = 1;
  device.failLocks = 1;
  auto helper = makeHelper(device, 16, 2, dir_);
  ASSERT_TRUE(helper->request("retry"));
  helper->endDraw();
  helper->endDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kCapturing);
  helper->endDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kCaptured);
  helper->beginDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kCaptured);
  helper->beginDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kEncoding);
  helper->endDraw();  // lock fails
  EXPECT_EQ(helper->rowsEncoded(), 0);
  EXPECT_EQ(device.unlocks, 0);
  helper->endDraw();
  helper->endDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
  EXPECT_EQ(device.captures, 3);
  EXPECT_EQ(device.copies, 2);
  EXPECT_EQ(decode(readFile(dir_ + "retry.jpg")).width, 16);
}

// A file that cannot be opened is retried and leaves nothing behind; once the
// folder exists the image is written.
TEST_F(CaptureTest, FileThatCannotBeOpenedIsRetriedWithoutPartialFile) {
  StandinDevice device{16, 16, PixelOrder::kBgrx, makePattern(16, 16, PixelOrder::kBgrx)};
  const std::string missing = dir_ + "later/";
  auto helper = makeHelper(device, 16, 2, missing);
  ASSERT_TRUE(helper->request("shot"));
  helper->endDraw();
  helper->beginDraw();
  for (int i = 0; i < 3; ++i) helper->endDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kEncoding);
  EXPECT_EQ(helper->sliceIndex(), 0);
  EXPECT_FALSE(device.locked);
  EXPECT_FALSE(exists(missing + "shot.jpg"));
  ASSERT_EQ(mkdir(missing.c_str(), 0755), 0);
  helper->endDraw();
  helper->endDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
  EXPECT_EQ(decode(readFile(missing + "shot.jpg")).height, 16);
}

// Frames (begin-draw, end-draw) until the helper is idle; at most `limit`.
int framesUntilIdle(CScreenShotHelperBase& helper, int limit) {
  int frames = 0;
  while (helper.state() != CScreenShotHelperBase::kIdle && frames < limit) {
    helper.beginDraw();
    helper.endDraw();
    ++frames;
  }
  return frames;
}

// A step that keeps failing gives the image up after a bounded number of tries,
// with a trace line and nothing on disk; a format the worker does not take is given
// up at once. Either way the helper is idle and takes the next request, which is
// written once the cause is gone.
TEST_F(CaptureTest, AnImageThatKeepsFailingIsGivenUpAndTheNextRequestIsTaken) {
  const int kForever = 1000;
  struct Case {
    const char* what;
    std::function<void(StandinDevice&)> breakIt;
    const char* trace;
    std::function<int(const StandinDevice&)> tries;  // of the failing step
    int expectedTries;
  };
  const int n = CScreenShotHelperBase::kMaxFailures;
  const std::string tail = " failed " + std::to_string(n) + " times  file name broken\n";
  const std::vector<Case> cases = {
      {"capture", [&](StandinDevice& d) { d.failCaptures = kForever; }, "capture",
       [](const StandinDevice& d) { return d.captures; }, n},
      {"copy", [&](StandinDevice& d) { d.failCopies = kForever; }, "copy",
       [](const StandinDevice& d) { return d.copies; }, n},
      {"map", [&](StandinDevice& d) { d.failLocks = kForever; }, "reading the frame",
       [](const StandinDevice& d) { return d.locks; }, n},
      {"missing folder", [](StandinDevice&) {}, "opening the file", [](const StandinDevice& d) { return d.locks; }, n},
      {"format", [](StandinDevice& d) { d.refusedFormat = "DXGI_FORMAT_R16G16B16A16_FLOAT"; },
       "render target format DXGI_FORMAT_R16G16B16A16_FLOAT is not supported",
       [](const StandinDevice& d) { return d.captures; }, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    traces_.clear();
    StandinDevice device{16, 16, PixelOrder::kBgrx, makePattern(16, 16, PixelOrder::kBgrx)};
    const std::string folder = dir_ + k.what + "/";
    const bool folderMissing = std::string(k.what) == "missing folder";
    if (!folderMissing) {
      ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    }
    k.breakIt(device);
    auto helper = makeHelper(device, 16, 2, folder);
    ASSERT_TRUE(helper->request("broken"));
    EXPECT_LT(framesUntilIdle(*helper, 3 * n), 3 * n);
    EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
    EXPECT_EQ(k.tries(device), k.expectedTries);
    const std::string expected = std::string("Screenshot abandoned : ") + k.trace +
                                 (k.expectedTries == 1 ? std::string("  file name broken\n") : tail);
    EXPECT_EQ(traces_.back(), expected);
    EXPECT_FALSE(device.locked);
    EXPECT_FALSE(exists(folder + "broken.jpg"));

    device.failCaptures = device.failCopies = device.failLocks = 0;
    device.refusedFormat = nullptr;
    if (folderMissing) {
      ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    }
    ASSERT_TRUE(helper->request("next"));
    framesUntilIdle(*helper, 10);
    EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
    EXPECT_EQ(decode(readFile(folder + "next.jpg")).width, 16);
  }
}

// A frame the device has not finished yet is no failure: it is read when ready.
TEST_F(CaptureTest, AFrameStillBeingDrawnIsWaitedForNotGivenUp) {
  StandinDevice device{16, 16, PixelOrder::kBgrx, makePattern(16, 16, PixelOrder::kBgrx)};
  device.busyLocks = 3 * CScreenShotHelperBase::kMaxFailures;
  auto helper = makeHelper(device, 16, 2, dir_);
  ASSERT_TRUE(helper->request("busy"));
  framesUntilIdle(*helper, 5 * CScreenShotHelperBase::kMaxFailures);
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
  EXPECT_EQ(decode(readFile(dir_ + "busy.jpg")).width, 16);
  EXPECT_FALSE(traced("abandoned"));
}

// A full disk (the file is /dev/full) abandons the image, removes what was
// written and returns to idle, ready for the next request.
TEST_F(CaptureTest, WriteFailureAbandonsTheImageAndReturnsToIdle) {
  for (int size : {16, 512}) {  // fails at the end, or while slices are written
    SCOPED_TRACE(size);
    StandinDevice device{size, size, PixelOrder::kBgrx, {}};
    device.pixels.resize(static_cast<size_t>(size) * size * 4);
    for (size_t i = 0; i < device.pixels.size(); ++i)
      device.pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);  // noise compresses badly
    const std::string link = dir_ + "full.jpg";
    ASSERT_EQ(symlink("/dev/full", link.c_str()), 0);
    auto helper = makeHelper(device, size, 4, dir_);
    ASSERT_TRUE(helper->request("full"));
    helper->endDraw();
    helper->beginDraw();
    int endDraws = 0;
    while (helper->state() == CScreenShotHelperBase::kEncoding && endDraws < 10) {
      helper->endDraw();
      ++endDraws;
    }
    EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
    EXPECT_LE(endDraws, 4);
    EXPECT_TRUE(traced("Screenshot abandoned : the file could not be written"));
    struct stat st;
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the broken file is removed";
    EXPECT_EQ(device.imagesDone, 1);
    ASSERT_TRUE(helper->request("after"));
    helper->endDraw();
    helper->beginDraw();
    for (int i = 0; i < 4; ++i) helper->endDraw();
    EXPECT_EQ(decode(readFile(dir_ + "after.jpg")).width, size);
    traces_.clear();
  }
}

// The frame is mapped once per image and unmapped at once; the rows of a
// mapped surface come with padding, which the worker's own copy drops.
TEST_F(CaptureTest, RowsCopiedOutOfAPaddedSurfaceGiveTheSameFile) {
  const int w = 40, h = 30, padding = 24;
  const auto tight = makePattern(w, h, PixelOrder::kBgrx);
  StandinDevice device{w, h, PixelOrder::kBgrx, std::vector<uint8_t>(static_cast<size_t>(w * 4 + padding) * h, 0xee)};
  for (int y = 0; y < h; ++y)
    std::copy_n(&tight[static_cast<size_t>(y) * w * 4], w * 4,
                &device.pixels[static_cast<size_t>(y) * (w * 4 + padding)]);
  device.rowPadding = padding;
  device.copyRows = true;
  auto helper = makeHelper(device, h, 3, dir_);
  device.failLocks = 1;  // not ready at the first try
  for (const char* name : {"padded", "again"}) {
    ASSERT_TRUE(helper->request(name));
    helper->endDraw();
    helper->beginDraw();
    for (int i = 0; i < 4 && helper->state() != CScreenShotHelperBase::kIdle; ++i) {
      helper->endDraw();
      EXPECT_FALSE(device.locked) << "nothing stays mapped across frames";
    }
    EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
    EXPECT_EQ(readFile(dir_ + name + ".jpg"), encodeJpeg(w, h, w * 4, tight.data(), PixelOrder::kBgrx));
  }
  EXPECT_EQ(device.locks, 3) << "one failed try, then one map per image";
  EXPECT_EQ(device.unmaps, 2);
}

TEST_F(CaptureTest, FrameTheEncoderCannotTakeIsAbandoned) {
  StandinDevice device{0, 16, PixelOrder::kBgrx, makePattern(1, 16, PixelOrder::kBgrx)};
  auto helper = makeHelper(device, 16, 2, dir_);
  ASSERT_TRUE(helper->request("empty"));
  helper->endDraw();
  helper->beginDraw();
  helper->endDraw();
  EXPECT_EQ(helper->state(), CScreenShotHelperBase::kIdle);
  EXPECT_TRUE(traced("cannot be encoded"));
  EXPECT_FALSE(exists(dir_ + "empty.jpg"));
}

// The screenshot session behind the exports.
TEST_F(CaptureTest, SessionGatesSettingsAndRenderEvents) {
  StandinDevice device{64, 64, PixelOrder::kRgbx, makePattern(64, 64, PixelOrder::kRgbx)};
  int madeFor = -1;
  ScreenshotSession s(
      [&](int type, void*) {
        madeFor = type;
        return std::make_unique<StandinWorker>(device);
      },
      [this](const std::string& t) { record(t); });
  EXPECT_FALSE(s.screenshotSuccess("early"));
  EXPECT_EQ(traces_.back(), "Screenshot failed : g_init = false !  file name early\n");
  s.setups(64, 64, 0, 0, 2, dir_.c_str());
  EXPECT_EQ(s.nativeInit(), 0) << "no device handed over yet";
  s.setGraphicsDevice(&device, 7);
  EXPECT_EQ(s.nativeInit(), 0);
  s.setGraphicsDevice(&device, 2);
  EXPECT_EQ(s.deviceType(), ScreenshotSession::kD3D11);

  traces_.clear();
  s.setups(64, 64, 0, 0, 0, dir_.c_str());
  EXPECT_EQ(traces_.back(), "Setups refused : sliceCount 0 is outside 1..64\n");
  s.setups(64, 64, 0, 0, 65, dir_.c_str());
  s.setups(64, 64, 0, 0, 2, std::string(200, 'd').c_str());
  EXPECT_EQ(traces_.size(), 3u);

  s.setEventIds(10, 11, 12, 0, 13);
  s.renderEvent(-1);
  s.renderEvent(13);
  EXPECT_FALSE(s.ready());
  s.renderEvent(10);  // init, with the last accepted settings
  ASSERT_TRUE(s.ready());
  EXPECT_EQ(madeFor, ScreenshotSession::kD3D11);
  EXPECT_EQ(s.helper()->slicing().sliceTotal, 2);
  EXPECT_TRUE(s.screenshotSuccess("ev"));
  EXPECT_FALSE(s.screenshotSuccess("ev2"));
  s.renderEvent(12);
  s.renderEvent(11);
  s.renderEvent(12);
  s.endDraw();
  EXPECT_EQ(s.helper()->state(), CScreenShotHelperBase::kIdle);
  expectQuadrants(decode(readFile(dir_ + "ev.jpg")));
}

// Requests from one thread while another runs the render events: every
// accepted request gives one whole file.
TEST_F(CaptureTest, RequestsRaceTheRenderThread) {
  StandinDevice device{48, 32, PixelOrder::kBgrx, makePattern(48, 32, PixelOrder::kBgrx)};
  auto helper = makeHelper(device, 32, 3, dir_);
  std::atomic<bool> stop{false};
  std::thread render([&] {
    while (!stop.load()) {
      helper->beginDraw();
      helper->endDraw();
      std::this_thread::yield();
    }
  });
  std::vector<std::string> accepted;
  for (int i = 0; accepted.size() < 20 && i < 2000000; ++i) {
    const std::string name = "race" + std::to_string(i);
    if (helper->request(name.c_str())) accepted.push_back(name);
  }
  while (helper->state() != CScreenShotHelperBase::kIdle) std::this_thread::yield();
  stop = true;
  render.join();
  ASSERT_EQ(accepted.size(), 20u);
  const auto expected = encodeJpeg(48, 32, 48 * 4, device.pixels.data(), PixelOrder::kBgrx);
  for (const auto& name : accepted) EXPECT_EQ(readFile(dir_ + name + ".jpg"), expected) << name;
}

}  // namespace
}  // namespace zem::capture
