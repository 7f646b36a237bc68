// The receive decoder and the out buffer, without sockets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framing.h"
#include "MsgMem.h"
#include "NetTestUtil.h"

using nettest::frame;
using nettest::lengthOnly;
using nettest::pattern;
using vexolib::net::FrameDecoder;

namespace {
struct Collect : vexolib::net::FrameSink {
  std::vector<std::string> messages;
  int policies = 0;
  void onMessage(char* block, int32_t length) override {
    messages.emplace_back(block, static_cast<size_t>(length));
    vexolib::net::msgmempool::instance().release(block);
  }
  void onPolicyRequest() override { ++policies; }
};

// Feeds the stream in pieces of the given sizes (the last size repeats).
FrameDecoder::Result feedInPieces(FrameDecoder& d, const std::string& stream, std::vector<size_t> sizes,
                                  Collect& sink) {
  size_t at = 0, i = 0;
  while (at < stream.size()) {
    size_t n = std::min(sizes[std::min(i++, sizes.size() - 1)], stream.size() - at);
    auto r = d.feed(stream.data() + at, static_cast<int32_t>(n), sink);
    if (r != FrameDecoder::Result::Ok) return r;
    at += n;
  }
  return FrameDecoder::Result::Ok;
}

const std::string kRequest(vexolib::net::kPolicyRequest, vexolib::net::kPolicyRequestSize);
}  // namespace

TEST(FrameDecoder, MessagesSurviveAnySplit) {
  const std::vector<std::string> payloads = {
      "", "a", pattern(16), pattern(17), pattern(2048), pattern(2049), pattern(70000)};
  std::string stream;
  for (const auto& p : payloads) stream += frame(p);
  for (std::vector<size_t> sizes : {std::vector<size_t>{1}, {2}, {3}, {5}, {2048}, {1, 2, 3}, {stream.size()}}) {
    FrameDecoder d;
    Collect sink;
    ASSERT_EQ(feedInPieces(d, stream, sizes, sink), FrameDecoder::Result::Ok);
    ASSERT_EQ(sink.messages, payloads) << "piece size " << sizes[0];
    EXPECT_EQ(d.position(), -4);
  }
}

TEST(FrameDecoder, ZeroLengthIsDeliveredOnceItsHeaderIsComplete) {
  FrameDecoder d;
  Collect sink;
  const std::string h = lengthOnly(0);
  d.feed(h.data(), 3, sink);
  EXPECT_TRUE(sink.messages.empty());
  d.feed(h.data() + 3, 1, sink);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0], "");
}

TEST(FrameDecoder, LengthLimits) {
  struct Case {
    int32_t length;
    FrameDecoder::Result result;
  } cases[] = {{vexolib::net::kMaxMessageLength, FrameDecoder::Result::Ok},
               {vexolib::net::kMaxMessageLength + 1, FrameDecoder::Result::BadHeader},
               {-1, FrameDecoder::Result::BadHeader},
               {INT32_MIN, FrameDecoder::Result::BadHeader}};
  for (const Case& c : cases) {
    FrameDecoder d;
    Collect sink;
    const std::string h = lengthOnly(c.length);
    EXPECT_EQ(d.feed(h.data(), 4, sink), c.result) << c.length;
  }
  FrameDecoder d;
  Collect sink;
  const std::string big = frame(pattern(vexolib::net::kMaxMessageLength));
  ASSERT_EQ(feedInPieces(d, big, {2048}, sink), FrameDecoder::Result::Ok);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0], pattern(vexolib::net::kMaxMessageLength));
}

TEST(FrameDecoder, PolicyRequestThenFramesInTheSameChunk) {
  FrameDecoder d;
  Collect sink;
  const std::string chunk = kRequest + frame("hello") + frame("");
  ASSERT_EQ(d.feed(chunk.data(), static_cast<int32_t>(chunk.size()), sink), FrameDecoder::Result::Ok);
  EXPECT_EQ(sink.policies, 1);
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"hello", ""}));
}

TEST(FrameDecoder, PolicyTextOnlyCountsAtTheStartOfAChunk) {
  struct Case {
    const char* what;
    std::string chunk;
  } cases[] = {
      {"request cut short", kRequest.substr(0, 22)},
      {"request without its NUL", kRequest.substr(0, 22) + "x"},
      {"request after a frame", frame("a") + kRequest},
  };
  for (const Case& c : cases) {
    FrameDecoder d;
    Collect sink;
    auto r = feedInPieces(d, c.chunk, {c.chunk.size()}, sink);
    EXPECT_EQ(sink.policies, 0) << c.what;
    if (c.chunk.size() >= 4) {
      EXPECT_EQ(r, FrameDecoder::Result::BadHeader) << c.what;
    }
  }
}

TEST(OutBuffer, FramesAreLittleEndianAndGrowByHalf) {
  vexolib::net::OutBuffer b;
  ASSERT_TRUE(b.init(2048));
  ASSERT_TRUE(b.appendFrame("xyz", 3));
  EXPECT_EQ(std::string(b.data, static_cast<size_t>(b.length)), frame("xyz"));
  const std::string big = pattern(3000);
  ASSERT_TRUE(b.appendFrame(big.data(), 3000));
  EXPECT_EQ(b.capacity, 3072);  // 2048 * 1.5 holds 3007 bytes
  EXPECT_EQ(std::string(b.data, static_cast<size_t>(b.length)), frame("xyz") + frame(big));
  EXPECT_FALSE(b.appendFrame("x", -1));
  EXPECT_FALSE(b.reserve(int64_t{INT32_MAX}));
  EXPECT_EQ(b.length, 3 + 4 + 3000 + 4);
  b.free();
}

// What a message still arriving holds follows what arrived, not its header.
TEST(FrameDecoder, APartMessageHoldsWhatArrivedNotWhatItsHeaderAnnounced) {
  struct Case {
    const char* name;
    int32_t announced;
    size_t sent;
    int32_t maxHeld;
  };
  const Case cases[] = {
      {"a header alone", vexolib::net::kMaxMessageLength, 0, 0},
      {"one byte", vexolib::net::kMaxMessageLength, 1, FrameDecoder::kFirstStep},
      {"a small message in part", 100, 50, 128},
      {"5000 bytes", vexolib::net::kMaxMessageLength, 5000, 16384},
      {"all but one byte", vexolib::net::kMaxMessageLength, vexolib::net::kMaxMessageLength - 1,
       vexolib::net::kMaxMessageLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameDecoder d;
    Collect sink;
    const std::string stream = lengthOnly(c.announced) + pattern(c.sent);
    ASSERT_EQ(feedInPieces(d, stream, {1000}, sink), FrameDecoder::Result::Ok);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_LE(d.held(), c.maxHeld);
    d.reset();
    EXPECT_EQ(d.held(), 0);
  }
}
