// Text conversion: UTF-8 decoding of good and malformed input, UTF-16
// encoding, the host's stand-in ANSI code page (Windows-1252) and wchar_t.
#include <gtest/gtest.h>

#include <string>

#include "base/Text.h"

using namespace vekt::base;

namespace {

struct Utf8Case {
  const char* name;
  std::string input;
  std::u16string expected;
};

TEST(TextTest, Utf8DecodesAndReplacesMalformedSequences) {
  const Utf8Case cases[] = {
      {"ascii", "abc", u"abc"},
      {"empty", "", u""},
      {"two bytes", "\xC3\xA9", u"\u00E9"},
      {"three bytes", "\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},
      {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"embedded NUL kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"cut short at the end", "\xE6\x97", u"\uFFFD"},
      {"lone continuation",
       "\x80"
       "a",
       u"\uFFFDa"},
      {"invalid lead byte",
       "\xFF"
       "a",
       u"\uFFFDa"},
      {"overlong NUL", "\xC0\x80", u"\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
      {"lead then ASCII",
       "\xC4"
       "x",
       u"\uFFFDx"},
      {"bytes of another code page", "1\xC4\xE3", u"1\uFFFD\uFFFD"},
      {"cut four-byte sequence", "\xF0\x9F\x98", u"\uFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8ToUtf16(c.input), c.expected) << c.name;
  }
}

TEST(TextTest, Utf8NeverReadsPastTheGivenLength) {
  // The lead byte promises three more bytes; only the length counts.
  const char buffer[] = {'\xF0', '\x9F', '\x98', '\x80'};
  EXPECT_EQ(utf8ToUtf16(buffer, 1), u"\uFFFD");
  EXPECT_EQ(utf8ToUtf16(buffer, 3), u"\uFFFD");
  EXPECT_EQ(utf8ToUtf16(buffer, 4), u"\U0001F600");
}

TEST(TextTest, Utf16EncodesAndReplacesUnpairedSurrogates) {
  EXPECT_EQ(utf16ToUtf8(u"a\u00E9\u65E5\U0001F600"), "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80");
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, u'\xDC00') + u"x"), "\xEF\xBF\xBDx");
  const std::string all = "x\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC";
  EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(all)), all);
}

TEST(TextTest, HostAnsiCodePageIsWindows1252) {
  EXPECT_EQ(ansiToUtf16("caf\xE9 \x80 \x9F"), u"caf\u00E9 \u20AC \u0178");
  EXPECT_EQ(ansiToUtf16("\x81"), u"\u0081");  // unassigned: the C1 control, as Windows
  EXPECT_EQ(utf16ToAnsi(u"caf\u00E9 \u20AC"), "caf\xE9 \x80");
  EXPECT_EQ(utf16ToAnsi(u"\u65E5"), "?");
  EXPECT_EQ(utf16ToAnsi(u"\U0001F600"), "?");  // one character, one '?'
  EXPECT_EQ(ansiToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextTest, WideRoundTripsThroughUtf16) {
  const std::u16string text = u"a\u00E9\U0001F600";
  const std::wstring wide = utf16ToWide(text);
  EXPECT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 4u : 3u);
  EXPECT_EQ(wideToUtf16(wide), text);
  EXPECT_EQ(asciiToUtf16("log_1.log"), u"log_1.log");
}

}  // namespace
