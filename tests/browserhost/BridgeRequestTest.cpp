#include "BridgeRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vekt::browser {
namespace {

TEST(DecodeBridgeRequestTest, KnownNamesGiveTheirMessage) {
  struct Case {
    std::string text;
    BridgeCall call;
    uint32_t message;
    std::string logLine;
  };
  const std::vector<Case> cases = {
      {R"({"funcation_name":"min_wnd"})", BridgeCall::kMinimise, 1129, "min_wnd call"},
      {R"({"funcation_name":"close_wnd"})", BridgeCall::kClose, 1130, "close_wnd call"},
      {R"({"funcation_name":"open_game","token":"a b","ocext":"x"})", BridgeCall::kOpenGame, 1131, "open_game call"},
      {R"({"funcation_name":"wnd_mousemove"})", BridgeCall::kDrag, 1132, "wnd_mousemove call"},
      {"// comment\n{ \"funcation_name\" : \"min_wnd\" /* c */ }", BridgeCall::kMinimise, 1129, "min_wnd call"},
      {"{\"funcation_name\":\"open_game\",\"token\":\"\xD6\xD0\"}", BridgeCall::kOpenGame, 1131, "open_game call"},
  };
  for (const Case& c : cases) {
    const BridgeRequest request = DecodeBridgeRequest(c.text);
    EXPECT_EQ(request.call, c.call) << c.text;
    EXPECT_EQ(request.message, c.message) << c.text;
    EXPECT_EQ(std::string(request.logLine), c.logLine) << c.text;
  }
}

TEST(DecodeBridgeRequestTest, EverythingElseIsRefused) {
  const std::vector<std::string> refused = {
      "",
      "not json",
      "5",
      "\"min_wnd\"",
      "[\"min_wnd\"]",
      "null",
      "{}",
      R"({"function_name":"min_wnd"})",
      R"({"funcation_name":"MIN_WND"})",
      R"({"funcation_name":"min_wnd "})",
      R"({"funcation_name":"min"})",
      R"({"funcation_name":1129})",
      R"({"funcation_name":null})",
      R"({"funcation_name":["min_wnd"]})",
      R"({"funcation_name":{"x":"min_wnd"}})",
      R"({"funcation_name":"min_wnd\u0000x"})",
      R"({"funcation_name":"min_wnd")",
      std::string(100000, '[') + std::string(100000, ']'),
      R"({"funcation_name":"open_game","pad":")" + std::string(kMaxRequestBytes, 'x') + "\"}",
  };
  for (const std::string& text : refused) {
    const BridgeRequest request = DecodeBridgeRequest(text);
    EXPECT_EQ(request.call, BridgeCall::kNone) << text.substr(0, 80);
    EXPECT_EQ(request.message, 0u);
  }
}

TEST(IsWebAddressTest, OnlyHttpAndHttps) {
  const std::vector<std::pair<std::u16string, bool>> cases = {
      {u"http://example.test/", true},
      {u"HTTPS://example.test/a?b", true},
      {u"https://", false},
      {u"http:", false},
      {u"", false},
      {u"file:///C:/Windows/notepad.exe", false},
      {u"\\\\server\\share\\x.exe", false},
      {u"C:\\Windows\\system32\\cmd.exe", false},
      {u"javascript:alert(1)", false},
      {u"ftp://example.test/", false},
      {u" https://example.test/", false},
      {u"httpx://example.test/", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWebAddress(c.first), c.second);
}

TEST(RequestTextQueueTest, TokensGiveTheTextBackOnce) {
  RequestTextQueue queue;
  const uintptr_t first = queue.push("one");
  const uintptr_t second = queue.push("two");
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  ASSERT_NE(first, second);

  std::string text;
  // A forged token (an address, zero, a guess) gives nothing.
  EXPECT_FALSE(queue.take(0, text));
  EXPECT_FALSE(queue.take(reinterpret_cast<uintptr_t>(&text), text));
  EXPECT_FALSE(queue.take(second + 1000, text));

  ASSERT_TRUE(queue.take(second, text));
  EXPECT_EQ(text, "two");
  EXPECT_FALSE(queue.take(second, text));

  // A text whose message could not be posted is dropped.
  queue.discard(first);
  EXPECT_FALSE(queue.take(first, text));
  EXPECT_EQ(queue.pending(), 0u);
}

// Another process posting 1131 cannot predict a token: not a count from a
// known start, not the same in two queues (two launcher runs).
TEST(RequestTextQueueTest, TokensCannotBeGuessed) {
  RequestTextQueue first, second;
  const uintptr_t a = first.push("a"), b = first.push("b"), c = first.push("c");
  const uintptr_t other = second.push("a");
  EXPECT_NE(a, other);
  EXPECT_FALSE(b - a == c - b && b - a < 0x10000u);
  for (uintptr_t token : {a, b, c, other}) EXPECT_GT(token, 0x10000u);
}

TEST(RequestTextQueueTest, FullQueueRefusesAndRecovers) {
  RequestTextQueue queue;
  std::vector<uintptr_t> tokens;
  for (size_t i = 0; i < RequestTextQueue::kMaxPending; ++i) tokens.push_back(queue.push(std::to_string(i)));
  EXPECT_EQ(queue.push("overflow"), 0u);
  std::string text;
  ASSERT_TRUE(queue.take(tokens[3], text));
  EXPECT_EQ(text, "3");
  const uintptr_t again = queue.push("later");
  ASSERT_NE(again, 0u);
  for (uintptr_t token : tokens) EXPECT_NE(token, again);
  ASSERT_TRUE(queue.take(again, text));
  EXPECT_EQ(text, "later");
}

}  // namespace
}  // namespace vekt::browser
