#include "ToolCore.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>

namespace vistrel {
namespace {

TEST(ParseDecimal, ReadsLikeTheCLibrary) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"640", 640},
      {"  \t480", 480},
      {"+12", 12},
      {"-7", -7},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+-3", 0},
      {" - 3", 0},
      {"0x10", 0},
      {"007", 7},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MAX},
      {"-99999999999999999999", INT_MIN},
      {"99999999999999999999999999999999", INT_MAX},
      {"\n\v\f\r5", 5},
      {"1 2", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseDecimal(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(ReadToolArguments, NeedsExactlyFiveAfterTheProgram) {
  const std::vector<std::wstring> full{L"Vistrel.exe", L"Title", L"800", L"600", L"1234", L"http://a/"};
  for (std::size_t count = 0; count <= full.size() + 2; ++count) {
    std::vector<std::wstring> commandLine(full.begin(), full.begin() + std::min(count, full.size()));
    while (commandLine.size() < count) commandLine.push_back(L"extra");
    EXPECT_EQ(readToolArguments(commandLine).has_value(), count == kCommandLineEntries) << count;
  }
  const auto args = readToolArguments(full);
  ASSERT_TRUE(args);
  EXPECT_EQ(args->title, L"Title");
  EXPECT_EQ(args->width, 800);
  EXPECT_EQ(args->height, 600);
  EXPECT_EQ(args->owner, 1234);
  EXPECT_EQ(args->address, L"http://a/");
}

TEST(ReadToolArguments, NumbersGoThroughTheAnsiConversion) {
  const auto args = readToolArguments({L"v", L"t\u00e9", L"wide", L"-40", L"\u4e0012", L""});
  ASSERT_TRUE(args);
  EXPECT_EQ(args->title, L"t\u00e9");  // text arguments stay as given
  EXPECT_EQ(args->width, 0);
  EXPECT_EQ(args->height, -40);
  EXPECT_EQ(args->owner, 0);  // no such character in the code page: "?12"
  EXPECT_EQ(args->address, L"");
}

TEST(CentreOnOwner, HalvesTheDifferenceTowardZero) {
  const struct {
    Size owner, window;
    long long x, y;
  } cases[] = {
      {{1000, 800}, {600, 400}, 200, 200}, {{1001, 801}, {600, 400}, 200, 200},
      {{600, 400}, {600, 400}, 0, 0},      {{500, 300}, {601, 401}, -50, -50},  // -50.5 truncates to -50, not -51
      {{0, 0}, {123, 45}, -61, -22},       {{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}, 4294967295LL / 2, 4294967295LL / 2},
  };
  for (const auto& c : cases) {
    const Point p = centreOnOwner(c.owner, c.window);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
  }
}

TEST(EndsTool, OnlyAnOtherOuterSize) {
  const Size started{800, 600};
  EXPECT_FALSE(endsTool({800, 600}, started));
  EXPECT_TRUE(endsTool({801, 600}, started));
  EXPECT_TRUE(endsTool({800, 599}, started));
  EXPECT_TRUE(endsTool({0, 0}, started));
  EXPECT_TRUE(endsTool({120, 30}, {0, 0}));  // a size the system raised to its minimum
}

TEST(DecodeCopyData, CodesOtherThanTheToolsAreDefault) {
  const char text[] = "about:blank";
  for (std::uint64_t code : {0ull, 99ull, 102ull, 0x100000064ull, ~0ull}) {
    EXPECT_EQ(decodeCopyData(code, text, sizeof text).action, CopyDataAction::Default) << code;
  }
  EXPECT_EQ(decodeCopyData(kCloseCode, nullptr, 0).action, CopyDataAction::Close);
  EXPECT_EQ(decodeCopyData(kCloseCode, text, sizeof text).action, CopyDataAction::Close);
}

TEST(DecodeCopyData, NavigateTextEndsAtTheFirstNulInsideTheByteCount) {
  const struct {
    const char* name;
    const char* data;
    std::size_t bytes;
    CopyDataAction action;
    std::wstring address;
  } cases[] = {
      {"terminated", "about:blank", 12, CopyDataAction::Navigate, L"about:blank"},
      {"count past the NUL", "ab\0cd\0", 7, CopyDataAction::Navigate, L"ab"},
      // The host's code page stand-in is Windows-1252: no sign extension to U+FFxx.
      {"bytes above 0x7F", "caf\xE9\x80\xFF", 7, CopyDataAction::Navigate, L"caf\u00e9\u20ac\u00ff"},
      {"no data", nullptr, 0, CopyDataAction::Ignore, L""},
      {"null data with a count", nullptr, 16, CopyDataAction::Ignore, L""},
      {"zero count", "about:blank", 0, CopyDataAction::Ignore, L""},
      {"no NUL inside the count", "about:blank", 5, CopyDataAction::Ignore, L""},
      {"empty text", "", 1, CopyDataAction::Ignore, L""},
  };
  for (const auto& c : cases) {
    const CopyDataRequest request = decodeCopyData(kNavigateCode, c.data, c.bytes);
    EXPECT_EQ(request.action, c.action) << c.name;
    EXPECT_EQ(request.address, c.address) << c.name;
  }
}

TEST(DecodeCopyData, NeverReadsPastTheByteCount) {
  // Exactly sized heap block: any read past it is caught by the sanitizer builds.
  const char text[] = "http://example.invalid/page";
  const std::size_t bytes = sizeof text - 1;
  std::unique_ptr<char[]> exact(new char[bytes]);
  std::memcpy(exact.get(), text, bytes);
  EXPECT_EQ(decodeCopyData(kNavigateCode, exact.get(), bytes).action, CopyDataAction::Ignore);
}

}  // namespace
}  // namespace vistrel
