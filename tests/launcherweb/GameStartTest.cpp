#include "GameStart.h"

#include <gtest/gtest.h>

#include <vector>

namespace vekt {
namespace {

TEST(EncodeQueryValueTest, EncodesWhatWouldCorruptTheAddress) {
  struct Case {
    std::wstring value;
    std::wstring encoded;
  };
  const std::vector<Case> cases = {
      {L"", L""},
      {L"abcXYZ019-._~", L"abcXYZ019-._~"},
      {L"a&b", L"a%26b"},
      {L"a#b", L"a%23b"},
      {L"a+b", L"a%2Bb"},
      {L"a b", L"a%20b"},
      {L"a=b", L"a%3Db"},
      {L"50%", L"50%25"},
      {L"\"q\"", L"%22q%22"},
      {L"ab/cd:ef@g", L"ab/cd:ef@g"},
      {L"\u4E2D", L"%E4%B8%AD"},
      {L"\u00E9", L"%C3%A9"},
      {L"\U0001F600", L"%F0%9F%98%80"},
      {L"a\nb\tc", L"a%0Ab%09c"},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeQueryValue(c.value), c.encoded) << c.encoded;
}

TEST(HomePageAddressTest, QueryKeysInOrderOnlyWhenSet) {
  const std::wstring base = HomePageBase(L"example.test");
  EXPECT_EQ(base, L"https://example.test/client/index/vekt");

  LaunchParams none;
  EXPECT_EQ(HomePageAddress(base, L"", none), base + L"?fileparam=");
  EXPECT_EQ(HomePageAddress(base + L"?x=1", L"", none), base + L"?x=1&fileparam=");

  LaunchParams all;
  all.token = L"t&k";
  all.source = L"OC";
  all.ocext = L"a b#c";
  all.tokenLogin = L"1";
  all.winid = L"99";  // not part of the address
  all.gameMgrId = L"12";
  EXPECT_EQ(HomePageAddress(base, L"f+1", all),
            base + L"?fileparam=f%2B1&token=t%26k&source=OC&ocext=a%20b%23c&tokenLogin=1");

  LaunchParams some;
  some.source = L"\u4E2D";
  EXPECT_EQ(HomePageAddress(base, L"pkg", some), base + L"?fileparam=pkg&source=%E4%B8%AD");
}

// Splits the way the game's C runtime does (CommandLineToArgvW rules).
std::vector<std::wstring> argumentsOf(const std::wstring& parameters) {
  std::vector<std::wstring> args = SplitCommandLine(L"vekt.exe " + parameters);
  args.erase(args.begin());
  return args;
}

TEST(QuoteArgumentTest, SplittingGivesTheArgumentBackWhole) {
  struct Case {
    std::wstring argument;
    std::wstring quoted;  // empty: same as the argument
  };
  const std::vector<Case> cases = {
      {L"--token=abc", L""},
      {L"--source=", L""},
      {L"C:\\dir\\vekt", L""},
      {L"a\\\\b", L""},
      {L"", L"\"\""},
      {L"--instGamePath=C:\\Program Files (x86)\\vekt\\", L"\"--instGamePath=C:\\Program Files (x86)\\vekt\\\\\""},
      {L"--token=a b", L"\"--token=a b\""},
      {L"--token=a\"b", L"\"--token=a\\\"b\""},
      {L"--token=a\\\"b", L"\"--token=a\\\\\\\"b\""},
      {L"--token=x --ocext=evil", L"\"--token=x --ocext=evil\""},
      {L"--token=\" --winid=1 \"", L"\"--token=\\\" --winid=1 \\\"\""},
      {L"tab\there", L"\"tab\there\""},
      {L"--ocext=\u4E2D\u6587", L""},
  };
  for (const Case& c : cases) {
    const std::wstring quoted = QuoteArgument(c.argument);
    EXPECT_EQ(quoted, c.quoted.empty() ? c.argument : c.quoted);
    EXPECT_EQ(argumentsOf(quoted), std::vector<std::wstring>{c.argument}) << quoted;
  }
}

TEST(GameParametersTest, ExactParametersAndNoInjection) {
  LaunchParams params;
  params.token = L"abc";
  EXPECT_EQ(GameParameters(params), L"--source= --token=abc");

  params.source = L"OC";
  params.tokenLogin = L"1";
  params.ocext = L"x";
  params.gameMgrId = L"1234";
  params.winid = L"5678";
  params.typeMode = L"2";
  params.instGamePath = L"D:\\games\\vekt";
  params.cacheGamePath = L"D:\\cache";
  EXPECT_EQ(GameParameters(params),
            L"--source=OC --tokenLogin=1 --token=abc --ocext=x --winid=1234 --typeMode=2 "
            L"--instGamePath=D:\\games\\vekt --cacheGamePath=D:\\cache");

  // Values from the page or an install under "Program Files" stay one argument each.
  params.token = L"a b\" --winid=1";
  params.ocext = L"--typeMode=9";
  params.instGamePath = L"C:\\Program Files (x86)\\vekt\\";
  const std::vector<std::wstring> expected = {L"--source=OC",
                                              L"--tokenLogin=1",
                                              L"--token=a b\" --winid=1",
                                              L"--ocext=--typeMode=9",
                                              L"--winid=1234",
                                              L"--typeMode=2",
                                              L"--instGamePath=C:\\Program Files (x86)\\vekt\\",
                                              L"--cacheGamePath=D:\\cache"};
  EXPECT_EQ(argumentsOf(GameParameters(params)), expected);
}

}  // namespace
}  // namespace vekt
