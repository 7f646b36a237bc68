#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Common.h"
#include "LaunchParams.h"

using vekt::CmdJsonFromArgs;
using vekt::LaunchParams;
using vekt::ParseCmdJson;
using vekt::SplitCommandLine;

namespace {

std::wstring jsonOf(const std::wstring& commandLine) {
  std::wstring json;
  EXPECT_TRUE(CmdJsonFromArgs(SplitCommandLine(commandLine), json));
  return json;
}

struct CommandLineCase {
  const wchar_t* commandLine;
  const wchar_t* json;
};

TEST(CmdJson, CommandLinesBecomeCompactJson) {
  const CommandLineCase cases[] = {
      // Three or more arguments: prefixed values, keys in sorted order, a line end.
      {L"vekt_main.exe --source=OC --token=abc", L"{\"source\":\"OC\",\"token\":\"abc\"}\n"},
      {L"\"C:\\Games\\vekt\\vekt_main.exe\" --winid=1 --source=OC --tokenLogin=1 --token=t --ocext=e "
       L"--installed=1 --gameMgrId=2 --typeMode=1 --instGamePath=C:\\g --cacheGamePath=C:\\c",
       L"{\"cacheGamePath\":\"C:\\\\c\",\"gameMgrId\":\"2\",\"instGamePath\":\"C:\\\\g\",\"installed\":\"1\","
       L"\"ocext\":\"e\",\"source\":\"OC\",\"token\":\"t\",\"tokenLogin\":\"1\",\"typeMode\":\"1\",\"winid\":\"1\"}\n"},
      {L"a.exe --tokenLogin=1 --source=OC", L"{\"source\":\"OC\",\"tokenLogin\":\"1\"}\n"},
      {L"a.exe --token=first --token=second", L"{\"token\":\"second\"}\n"},
      {L"a.exe --unknown=1 --token=t --x", L"{\"token\":\"t\"}\n"},
      {L"a.exe --token= --source=", L"{\"source\":\"\",\"token\":\"\"}\n"},
      {L"a.exe --nothing --here", L"{}\n"},
      {L"a.exe x--token=abc y", L"{\"token\":\"abc\"}\n"},
      {L"a.exe \"--instGamePath=C:\\Program Files\\Game\" --token=t",
       L"{\"instGamePath\":\"C:\\\\Program Files\\\\Game\",\"token\":\"t\"}\n"},
      {L"a.exe --ocext=\\\"q\\\" --token=t", L"{\"ocext\":\"\\\"q\\\"\",\"token\":\"t\"}\n"},
      // The program path is tested for prefixes too.
      {L"\"C:\\--source=X\\vekt_main.exe\" --token=a b", L"{\"source\":\"X\\\\vekt_main.exe\",\"token\":\"a\"}\n"},
      // Non-ASCII text goes through the ANSI code page: kept where it has the
      // character, the default character where it has not.
      {L"a.exe --instGamePath=C:\\Gr\u00f6\u00dfe --token=\u4e2d",
       L"{\"instGamePath\":\"C:\\\\Gr\u00f6\u00dfe\",\"token\":\"?\"}\n"},
      // One or two arguments: a single argument is the JSON text itself.
      {L"a.exe \"{\\\"source\\\":\\\"OC\\\"}\"", L"{\"source\":\"OC\"}"},
      {L"a.exe not-json", L"not-json"},
      {L"a.exe --token=abc", L"--token=abc"},
      {L"a.exe --installed=1", L"{\"installed\":\"1\"}\n"},
      {L"a.exe x--installed=7y", L"{\"installed\":\"7y\"}\n"},
      {L"vekt_main.exe", L"vekt_main.exe"},
  };
  for (const CommandLineCase& c : cases) {
    EXPECT_EQ(jsonOf(c.commandLine), c.json) << vekt::WideToMulti(c.commandLine, vekt::kCodePageUtf8);
  }
}

TEST(CmdJson, NoArgumentsIsAFailure) {
  std::wstring json = L"unchanged";
  EXPECT_FALSE(CmdJsonFromArgs({}, json));
}

TEST(CmdJson, HugeCommandLineIsHandled) {
  std::wstring line = L"a.exe --token=" + std::wstring(1 << 20, L'x') + L" --source=OC";
  const std::wstring json = jsonOf(line);
  EXPECT_EQ(json.size(), (1u << 20) + std::wstring(L"{\"source\":\"OC\",\"token\":\"\"}\n").size());
}

TEST(SplitCommandLine, FollowsTheSystemRules) {
  struct Case {
    const wchar_t* line;
    std::vector<std::wstring> args;
  } cases[] = {
      {L"a.exe b c", {L"a.exe", L"b", L"c"}},
      {L"\"C:\\Program Files\\a.exe\" b", {L"C:\\Program Files\\a.exe", L"b"}},
      {L"a.exe \t b\t\tc  ", {L"a.exe", L"b", L"c"}},
      {L"a.exe \"b c\" d", {L"a.exe", L"b c", L"d"}},
      {L"a.exe a\\\\b", {L"a.exe", L"a\\\\b"}},
      {L"a.exe a\\\"b", {L"a.exe", L"a\"b"}},
      {L"a.exe a\\\\\\\"b", {L"a.exe", L"a\\\"b"}},
      {L"a.exe \"a\\\\\" b", {L"a.exe", L"a\\", L"b"}},
      {L"a.exe \"\"", {L"a.exe", L""}},
      {L"a.exe \"unterminated b", {L"a.exe", L"unterminated b"}},
      {L"a.exe \"\"\"\"", {L"a.exe", L"\""}},
      {L"", {L""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.args) << vekt::WideToMulti(c.line, vekt::kCodePageUtf8);
  }
}

TEST(ParseCmdJson, TakesStringMembersOfAnObject) {
  LaunchParams p;
  ASSERT_TRUE(
      ParseCmdJson(L"{\"winid\":\"1001\",\"source\":\"OC\",\"tokenLogin\":\"1\",\"token\":\"abc\",\"ocext\":\"e\","
                   L"\"installed\":\"1\",\"gameMgrId\":\"2002\",\"typeMode\":\"1\",\"instGamePath\":\"C:\\\\g\","
                   L"\"cacheGamePath\":\"C:\\\\c\"}\n",
                   p));
  EXPECT_EQ(p.winid, L"1001");
  EXPECT_EQ(p.source, L"OC");
  EXPECT_EQ(p.tokenLogin, L"1");
  EXPECT_EQ(p.token, L"abc");
  EXPECT_EQ(p.ocext, L"e");
  EXPECT_EQ(p.installed, 1);
  EXPECT_EQ(p.gameMgrId, L"2002");
  EXPECT_EQ(p.typeMode, L"1");
  EXPECT_EQ(p.instGamePath, L"C:\\g");
  EXPECT_EQ(p.cacheGamePath, L"C:\\c");
}

TEST(ParseCmdJson, OtherTypesAndTextsLeaveParametersEmpty) {
  struct Case {
    const wchar_t* json;
    bool result;
    int32_t installed;
    const wchar_t* token;
  } cases[] = {
      {L"{\"installed\":1,\"token\":5}", true, 0, L""},
      {L"{\"installed\":\"12abc\",\"token\":true}", true, 12, L""},
      {L"{\"installed\":\"abc\",\"token\":null}", true, 0, L""},
      {L"{\"installed\":\"99999999999\"}", true, INT32_MAX, L""},
      {L"{\"token\":{\"nested\":\"x\"}}", true, 0, L""},
      {L"[\"token\",\"abc\"]", true, 0, L""},
      {L"42", true, 0, L""},
      {L"\"token\"", true, 0, L""},
      {L"{\"token\":\"abc\"", false, 0, L""},
      {L"not json", false, 0, L""},
      {L"", false, 0, L""},
  };
  for (const Case& c : cases) {
    LaunchParams p;
    EXPECT_EQ(ParseCmdJson(c.json, p), c.result) << vekt::WideToMulti(c.json, vekt::kCodePageUtf8);
    EXPECT_EQ(p.installed, c.installed);
    EXPECT_EQ(p.token, c.token);
  }
}

TEST(ParseCmdJson, DeepNestingFailsCleanly) {
  const std::wstring deep = std::wstring(100000, L'[') + std::wstring(100000, L']');
  LaunchParams p;
  EXPECT_FALSE(ParseCmdJson(deep, p));
}

TEST(ParseCmdJson, NonAsciiValuesSurviveTheRoundTrip) {
  std::wstring json;
  ASSERT_TRUE(CmdJsonFromArgs({L"a.exe", L"--instGamePath=D:\\Spiele\\M\u00fcnze", L"--token=\u00e9t\u00e9"}, json));
  LaunchParams p;
  ASSERT_TRUE(ParseCmdJson(json, p));
  EXPECT_EQ(p.instGamePath, L"D:\\Spiele\\M\u00fcnze");
  EXPECT_EQ(p.token, L"\u00e9t\u00e9");
}

TEST(Common, ReplaceAll) {
  struct Case {
    std::wstring text, from, to, result;
  } cases[] = {
      {L"D:/a/b", L"/", L"\\", L"D:\\a\\b"}, {L"aa", L"a", L"aa", L"aaaa"},
      {L"abc", L"x", L"y", L"abc"},          {L"abab", L"ab", L"", L""},
      {L"abc", L"", L"y", L"abc"},
  };
  for (Case& c : cases) EXPECT_EQ(vekt::ReplaceAll(c.text, c.from, c.to), c.result);
}

TEST(Common, DirectoryOf) {
  EXPECT_EQ(vekt::DirectoryOf(L"C:\\Games\\vekt\\vekt_main.exe"), L"C:\\Games\\vekt");
  EXPECT_EQ(vekt::DirectoryOf(L"vekt_main.exe"), L"vekt_main.exe");
  EXPECT_EQ(vekt::DirectoryOf(L""), L"");
}

TEST(Common, ConversionsStopAtNulAndTreatEmptyInput) {
  EXPECT_EQ(vekt::AnsiToWide(""), L"");
  EXPECT_EQ(vekt::WideToMulti(L"", vekt::kCodePageUtf8), "");
  EXPECT_EQ(vekt::AnsiToWide(std::string("ab\0cd", 5)), L"ab");
  EXPECT_EQ(vekt::WideToMulti(L"\u4e2d\u00e9", vekt::kCodePageUtf8), "\xe4\xb8\xad\xc3\xa9");
  EXPECT_EQ(vekt::MultiToWide("\xe4\xb8\xad\xc3\xa9", vekt::kCodePageUtf8), L"\u4e2d\u00e9");
  EXPECT_EQ(vekt::WideToMulti(L"\u20ac\u4e2d", vekt::kCodePageAnsi), "\x80?");
}

TEST(Common, ProcessLookupOfAnEmptyNameIsNoProcess) { EXPECT_EQ(vekt::GetProcessIdByName(L""), -1); }

}  // namespace
