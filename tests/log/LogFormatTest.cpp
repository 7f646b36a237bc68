// Line composition: prefix, level names, message formatting and length limits.
#include <gtest/gtest.h>

#include <cstdarg>
#include <regex>
#include <string>
#include <vector>

#include "LogModule.h"
#include "LogText.h"

using namespace vexolib::log;

namespace {
const char* kStamp = "2026-01-02 03:04:05";

// A buffer of exactly the room a line may use, so ASan sees any overrun.
std::string formatted(const char* category, int32_t level, const char* format, ...) {
  std::vector<char> out(kMaxLine + 1);
  va_list args;
  va_start(args, format);
  int32_t n = composeLine(out.data(), kStamp, category, level, format, args);
  va_end(args);
  EXPECT_EQ(out[static_cast<size_t>(n)], '\0');
  return std::string(out.data(), static_cast<size_t>(n));
}

std::string printed(const char* category, int32_t level, const std::string& text) {
  std::vector<char> out(kMaxLine + 1);
  int32_t n = composeText(out.data(), kStamp, category, level, text.c_str());
  EXPECT_EQ(out[static_cast<size_t>(n)], '\0');
  return std::string(out.data(), static_cast<size_t>(n));
}
}  // namespace

TEST(LogFormat, EveryLevelHasItsName) {
  struct Case {
    int32_t level;
    const char* name;
  };
  const Case cases[] = {
      {0, "Critical"}, {1, "Error"},   {2, "Maintance"}, {3, "Warning"},         {4, "Info"},
      {5, "Debug"},    {6, "Unknown"}, {-1, "Unknown"},  {INT32_MIN, "Unknown"}, {INT32_MAX, "Unknown"}};
  for (const Case& c : cases) {
    std::string want = std::string("[2026-01-02 03:04:05] net (") + c.name + "): hello\n";
    EXPECT_EQ(formatted("net", c.level, "hello"), want) << c.level;
    EXPECT_EQ(printed("net", c.level, "hello"), want) << c.level;
  }
}

TEST(LogFormat, FormatArguments) {
  EXPECT_EQ(formatted("c", 4, "%d|%5.2f|%s|%x|%c|%%|%lld", -42, 3.14159, "txt", 255u, 'Z', 1234567890123LL),
            "[2026-01-02 03:04:05] c (Info): -42| 3.14|txt|ff|Z|%|1234567890123\n");
  // print() takes the text as it is: no format directives are interpreted.
  EXPECT_EQ(printed("c", 4, "100%s %d"), "[2026-01-02 03:04:05] c (Info): 100%s %d\n");
}

TEST(LogFormat, LineLengthLimitAtAndPastTheBoundary) {
  const std::string prefix = "[2026-01-02 03:04:05] c (Info): ";
  // Text lengths (prefix + message, before "\n") around the 4094-byte limit.
  const size_t totals[] = {4092, 4093, 4094, 4095, 4096, 5000, 20000};
  for (size_t total : totals) {
    std::string message(total - prefix.size(), 'm');
    message.back() = 'E';
    std::string want = (prefix + message).substr(0, 4094) + "\n";
    std::string viaFormat = formatted("c", 4, "%s", message.c_str());
    std::string viaPrint = printed("c", 4, message);
    EXPECT_EQ(viaFormat, want) << total;
    EXPECT_EQ(viaPrint, want) << total;
    EXPECT_LE(viaFormat.size(), 4095u);
    EXPECT_EQ(viaFormat.back() == '\n' && viaFormat[viaFormat.size() - 2] == 'E', total <= 4094) << total;
  }
}

TEST(LogFormat, OverlongCategoryNameIsCutLikeAnyLine) {
  std::string name(6000, 'n');
  std::string f = formatted(name.c_str(), 4, "message %d", 1);
  std::string p = printed(name.c_str(), 4, "message");
  EXPECT_EQ(f.size(), 4095u);
  EXPECT_EQ(f.back(), '\n');
  EXPECT_EQ(f.substr(0, 22), "[2026-01-02 03:04:05] ");
  EXPECT_EQ(p, f);
}

TEST(LogFormat, EmptyMessage) {
  EXPECT_EQ(formatted("c", 1, ""), "[2026-01-02 03:04:05] c (Error): \n");
  EXPECT_EQ(printed("c", 1, ""), "[2026-01-02 03:04:05] c (Error): \n");
}

TEST(LogFormat, TimestampShape) {
  char stamp[20];
  currentTimestamp(stamp);
  EXPECT_TRUE(std::regex_match(std::string(stamp), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << stamp;
}

TEST(LogText, StemAndExtension) {
  struct Case {
    const char16_t* path;
    const char16_t* stem;
    const char16_t* ext;
  };
  const Case cases[] = {
      {u"log.txt", u"log", u"txt"},
      {u"game", u"game", u""},
      {u"a/b/c.log", u"a/b/c", u"log"},
      {u"a.b.c", u"a.b", u"c"},
      {u"logs.d/game", u"logs.d/game", u""},  // a dot in a folder name is not an extension
      {u"logs.d\\game.txt", u"logs.d\\game", u"txt"},
      {u"trailing.", u"trailing", u""},
  };
  for (const Case& c : cases) {
    std::u16string stem, ext;
    splitStemExtension(c.path, stem, ext);
    EXPECT_EQ(stem, c.stem);
    EXPECT_EQ(ext, c.ext);
  }
}

TEST(LogText, Utf8Conversion) {
  EXPECT_EQ(utf8ToUtf16("abc", 3), u"abc");
  EXPECT_EQ(utf8ToUtf16("\xE6\x97\xA5\xE5\xBF\x97", 6), u"\u65E5\u5FD7");
  EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80", 4), u"\U0001F600");
  // Malformed input becomes replacement characters, never reads past the end.
  EXPECT_EQ(utf8ToUtf16("\xE6\x97", 2), u"\uFFFD");
  EXPECT_EQ(utf8ToUtf16("\xFF"
                        "a",
                        2),
            u"\uFFFDa");
  EXPECT_EQ(utf8ToUtf16("\xC0\x80", 2), u"\uFFFD");      // overlong NUL
  EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80", 3), u"\uFFFD");  // encoded surrogate
  EXPECT_EQ(utf16ToUtf8(u"\u65E5\U0001F600x"), "\xE6\x97\xA5\xF0\x9F\x98\x80x");
}
