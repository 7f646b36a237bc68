#include <gtest/gtest.h>

#include "UIAttributes.h"
#include "UIText.h"

using namespace VantorUI;

TEST(AttributesTest, Colours) {
  struct Case {
    const wchar_t* text;
    bool ok;
    UIColor value;
  } cases[] = {
      {L"#FFFFFFFF", true, 0xFFFFFFFF},
      {L"#FFEEE8D9", true, 0xFFEEE8D9},
      {L"#444444", true, 0x00444444},
      {L"#008AFF", true, 0x00008AFF},
      {L"  #ff0000 ", true, 0x00FF0000},
      {L"#0", true, 0},
      {L"FFFFFF", false, 0},
      {L"#", false, 0},
      {L"#GG0000", false, 0},
      {L"#123456789", false, 0},
      {L"", false, 0},
      {L"#12 34", false, 0},
  };
  for (const Case& c : cases) {
    UIColor v = 0xDEADBEEF;
    EXPECT_EQ(ParseColor(c.text, v), c.ok) << WideToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << WideToUtf8(c.text);
    } else {
      EXPECT_EQ(v, 0xDEADBEEFu) << "a refused colour leaves the value alone";
    }
  }
}

TEST(AttributesTest, BooleansNumbersRectangles) {
  EXPECT_TRUE(ParseBool(L"true"));
  for (const wchar_t* off : {L"false", L"TRUE", L"1", L"", L"yes"}) EXPECT_FALSE(ParseBool(off));

  struct IntCase {
    const wchar_t* text;
    bool ok;
    int value;
  } ints[] = {{L"42", true, 42},
              {L"-7", true, -7},
              {L" 13 ", true, 13},
              {L"+5", true, 5},
              {L"99999999999999", true, kMaxCoordinate},
              {L"-99999999999", true, -kMaxCoordinate},
              {L"", false, 0},
              {L"-", false, 0},
              {L"12px", false, 0},
              {L"1.5", false, 0},
              {L"0x10", false, 0},
              {L"4 2", false, 0}};
  for (const IntCase& c : ints) {
    int v = -123;
    EXPECT_EQ(ParseInt(c.text, v), c.ok) << WideToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << WideToUtf8(c.text);
    }
  }

  UIRect r;
  ASSERT_TRUE(ParseRect(L"902,6,926,30", r));
  EXPECT_EQ(r, (UIRect{902, 6, 926, 30}));
  ASSERT_TRUE(ParseRect(L"0, 0 ,0,340", r));
  EXPECT_EQ(r, (UIRect{0, 0, 0, 340}));
  for (const wchar_t* bad : {L"1,2,3", L"1,2,3,4,5", L"1,,3,4", L"a,b,c,d", L"", L"1,2,3,4,"})
    EXPECT_FALSE(ParseRect(bad, r)) << WideToUtf8(bad);

  UISize s;
  ASSERT_TRUE(ParseSize(L"960,620", s));
  EXPECT_EQ(s.cx, 960);
  EXPECT_EQ(s.cy, 620);
  EXPECT_FALSE(ParseSize(L"960", s));
  EXPECT_FALSE(ParseSize(L"960,620,1", s));
}

TEST(AttributesTest, ImageDescriptors) {
  struct Case {
    const wchar_t* text;
    bool valid;
    const wchar_t* file;
    UIRect corner;
  } cases[] = {
      {L"shadow.png", true, L"shadow.png", {}},
      {L"file='gprogress_bk.png' corner='3,3,3,3'", true, L"gprogress_bk.png", {3, 3, 3, 3}},
      {L"file='btn_close.png'", true, L"btn_close.png", {}},
      {L"corner='1,2,3,4' file='a.png' source='0,0,5,5' fade='128'", true, L"a.png", {1, 2, 3, 4}},
      {L"file='a.png' corner='1,2'", true, L"a.png", {}},
      {L"file='a.png' corner='-1,2,3,4'", true, L"a.png", {}},
      {L"file = 'spaced.png'", true, L"spaced.png", {}},
      {L"", false, L"", {}},
      {L"corner='1,1,1,1'", false, L"", {}},
      {L"file='unterminated.png", false, L"", {}},
      {L"file=noquotes.png", false, L"", {}},
      {L"file=''", false, L"", {}},
  };
  for (const Case& c : cases) {
    const ImageDescriptor d = ParseImageDescriptor(c.text);
    EXPECT_EQ(d.valid, c.valid) << WideToUtf8(c.text);
    EXPECT_EQ(d.file, c.file) << WideToUtf8(c.text);
    EXPECT_EQ(d.corner, c.corner) << WideToUtf8(c.text);
  }
}

TEST(AttributesTest, Utf8Text) {
  const std::string utf8 = "\xE6\x8F\x90\xE7\xA4\xBA";  // 提示
  EXPECT_EQ(Utf8ToWide(utf8), L"\u63D0\u793A");
  EXPECT_EQ(WideToUtf8(Utf8ToWide(utf8)), utf8);
  EXPECT_EQ(WideToUtf8(Utf8ToWide("\xF0\x9F\x98\x80")), "\xF0\x9F\x98\x80");
  // Broken sequences become replacement characters, never read past the end.
  EXPECT_EQ(Utf8ToWide("a\xE6\x8F"), L"a\uFFFD");
  EXPECT_EQ(Utf8ToWide("\xC0\xAF!"), L"\uFFFD!") << "overlong form";
  EXPECT_EQ(Utf8ToWide("\xFF"), L"\uFFFD");
  EXPECT_TRUE(EqualsNoCase(std::wstring(L"ButtonUI"), std::wstring(L"buttonui")));
  EXPECT_FALSE(EqualsNoCase(std::wstring(L"Button"), std::wstring(L"ButtonUI")));
}
