// setting.xml editing, the game-exit record, window handles from text and the
// messages to the game manager and the platform client (host journal).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "Common.h"
#include "Logger.h"
#include "PlatformLink.h"
#include "PlatformLinkHost.h"
#include "GameLoaderTestSupport.h"

namespace fs = std::filesystem;
using namespace vekt;

namespace {

class SettingFileTest : public gltest::TempHomeTest {
 protected:
  std::wstring pathW() const { return MultiToWide(path().string(), kCodePageUtf8); }
  fs::path path() const { return root() / "setting.xml"; }
  void put(const std::string& content) { gltest::writeFile(path(), content); }
  std::string content() const { return gltest::readFile(path()); }
};

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // no file when empty
  const char* key;
  std::wstring value;
  bool saved;
  std::string after;    // file content afterwards ("" with saved false: unchanged)
  const char* logPart;  // a level-0 line expected in the log, or nullptr
};

const WriteCase kWriteCases[] = {
    {"no file: root settings, no declaration", std::nullopt, "ocwindowid", L"1234", true,
     "<settings>\n    <ocwindowid>1234</ocwindowid>\n</settings>\n", nullptr},
    {"empty file counts as none", std::string(), "loginsource", L"OC", true,
     "<settings>\n    <loginsource>OC</loginsource>\n</settings>\n", nullptr},
    {"blank file counts as none", std::string(" \r\n\t"), "loginsource", L"OC", true,
     "<settings>\n    <loginsource>OC</loginsource>\n</settings>\n", nullptr},
    {"other root name kept, key appended", std::string("<config><a>x</a></config>"), "ocwindowid", L"7", true,
     "<config>\n    <a>x</a>\n    <ocwindowid>7</ocwindowid>\n</config>\n", nullptr},
    {"existing key replaced in place", std::string("<settings><ocwindowid>1</ocwindowid><b>2</b></settings>"),
     "ocwindowid", L"1234", true, "<settings>\n    <ocwindowid>1234</ocwindowid>\n    <b>2</b>\n</settings>\n",
     nullptr},
    {"only the first of two equal keys changes", std::string("<settings><k>1</k><k>2</k></settings>"), "k", L"9", true,
     "<settings>\n    <k>9</k>\n    <k>2</k>\n</settings>\n", nullptr},
    {"element children replaced by the text",
     std::string("<settings><ocwindowid a=\"1\"><x/>old</ocwindowid></settings>"), "ocwindowid", L"5", true,
     "<settings>\n    <ocwindowid a=\"1\">5</ocwindowid>\n</settings>\n", nullptr},
    {"foreign content survives: declaration, comment, attributes, entities, blanks",
     std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<!-- client -->\n<settings ver=\"2\">\n"
                 "  <lang>zh&amp;en</lang>\n  <name>  two  spaces </name>\n  <ref>&#x4E2D;</ref>\n"
                 "  <group><item id=\"1\"/><item id=\"2\">b</item></group>\n</settings>\n"),
     "loginsource", L"OC", true,
     "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<!-- client -->\n<settings ver=\"2\">\n"
     "    <lang>zh&amp;en</lang>\n    <name>  two  spaces </name>\n    <ref>\xE4\xB8\xAD</ref>\n"
     "    <group>\n        <item id=\"1\" />\n        <item id=\"2\">b</item>\n    </group>\n"
     "    <loginsource>OC</loginsource>\n</settings>\n",
     nullptr},
    {"byte order mark kept", std::string("\xEF\xBB\xBF<settings/>"), "k", L"v", true,
     "\xEF\xBB\xBF<settings>\n    <k>v</k>\n</settings>\n", nullptr},
    {"CR LF line ends", std::string("<settings>\r\n<a>1</a>\r\n</settings>\r\n"), "k", L"v", true,
     "<settings>\n    <a>1</a>\n    <k>v</k>\n</settings>\n", nullptr},
    {"value stored as UTF-8 and escaped", std::nullopt, "loginsource", L"\u4e2d<&>", true,
     "<settings>\n    <loginsource>\xE4\xB8\xAD&lt;&amp;&gt;</loginsource>\n</settings>\n", nullptr},
    {"empty value", std::nullopt, "loginsource", L"", true,
     "<settings>\n    <loginsource></loginsource>\n</settings>\n", nullptr},
    {"mixed content stays as it is saved",
     std::string("<settings>\n    <a>text\n        <b />tail\n    </a>\n</settings>\n"), "k", L"v", true,
     "<settings>\n    <a>text\n        <b />tail\n    </a>\n    <k>v</k>\n</settings>\n", nullptr},
    {"blank value", std::nullopt, "loginsource", L"  ", true,
     "<settings>\n    <loginsource>  </loginsource>\n</settings>\n", nullptr},
    {"document the library would print unreadably is not replaced",
     std::string("<?xml \"?>\r\n<?xml version=?\xDEo\xDE><ocw/></&/>><fg>"), "k", L"v", false, "",
     "WriteSetting k cannot save:"},
    {"garbled xml not written", std::string("<settings><a>1</settings"), "k", L"v", false, "",
     "WriteSetting k bad xml, not written:"},
    {"no xml at all not written", std::string("ocwindowid=1234"), "k", L"v", false, "",
     "WriteSetting k bad xml, not written:"},
    {"declaration without root not written", std::string("<?xml version=\"1.0\"?>\n<!-- x -->"), "k", L"v", false, "",
     "WriteSetting k no root element, not written:"},
    {"nesting beyond the limit not written",
     [] {
       std::string deep;
       for (int i = 0; i < 5000; ++i) deep += "<a>";
       return deep;
     }(),
     "k", L"v", false, "", "WriteSetting k bad xml, not written:"},
};

TEST_F(SettingFileTest, WriteSettingTable) {
  for (const WriteCase& c : kWriteCases) {
    SCOPED_TRACE(c.name);
    fs::remove(path());
    if (c.before) put(*c.before);
    const size_t logBefore = gltest::logText().size();
    EXPECT_EQ(WriteSetting(c.key, c.value, pathW()), c.saved);
    if (c.saved) {
      EXPECT_EQ(content(), c.after);
    } else {
      EXPECT_EQ(content(), *c.before);
    }
    EXPECT_FALSE(fs::exists(root() / "setting.xml.vekt-tmp"));
    const std::string logged = gltest::logText().substr(logBefore);
    if (c.logPart) {
      EXPECT_NE(logged.find(c.logPart), std::string::npos) << logged;
    } else {
      EXPECT_EQ(logged, "");
    }
  }
}

struct ReadCase {
  const char* name;
  std::optional<std::string> file;
  const char* key;
  bool found;
  std::wstring value;  // the caller passes "keep"
  const char* logPart;
};

const ReadCase kReadCases[] = {
    {"missing file", std::nullopt, "ocwindowid", false, L"keep", "ReadSetting ocwindowid cannot read:"},
    {"garbled xml", std::string("<settings><ocwindowid>1"), "ocwindowid", false, L"keep",
     "ReadSetting ocwindowid bad xml:"},
    {"empty file", std::string(), "ocwindowid", false, L"keep", "ReadSetting ocwindowid bad xml:"},
    {"no root element", std::string("<!-- only -->"), "ocwindowid", false, L"keep",
     "ReadSetting ocwindowid not found:"},
    {"missing element", std::string("<settings><loginsource>OC</loginsource></settings>"), "ocwindowid", false, L"keep",
     "ReadSetting ocwindowid not found:"},
    {"element below the root only", std::string("<settings><x><ocwindowid>1</ocwindowid></x></settings>"), "ocwindowid",
     false, L"keep", "ReadSetting ocwindowid not found:"},
    {"UTF-8 sequence cut short by the end", std::string("<?xml version=\"1.0\"?><settings><k>1</k>\xE3"), "k", false,
     L"keep", "ReadSetting k bad xml:"},
    {"bytes of another code page", std::string("<settings><k>1\xC4\xE3</k></settings>\xE3\xE3"), "k", true,
     L"1\uFFFD\uFFFD", nullptr},
    {"NUL byte inside", std::string("<settings><k>1</k><!-- \xD0\0 --></settings>", 40), "k", false, L"keep",
     "ReadSetting k bad xml:"},
    {"value", std::string("<settings><ocwindowid>1234</ocwindowid></settings>"), "ocwindowid", true, L"1234", nullptr},
    {"root of another name", std::string("<cfg><loginsource>OC</loginsource></cfg>"), "loginsource", true, L"OC",
     nullptr},
    {"empty element is present", std::string("<settings><ocwindowid></ocwindowid></settings>"), "ocwindowid", true,
     L"keep", nullptr},
    {"self-closed element is present", std::string("<settings><ocwindowid/></settings>"), "ocwindowid", true, L"keep",
     nullptr},
    {"element child first: value untouched", std::string("<settings><k><x/>t</k></settings>"), "k", true, L"keep",
     nullptr},
    {"UTF-8 decoded", std::string("<settings><k>\xE4\xB8\xAD&amp;</k></settings>"), "k", true, L"\u4e2d&", nullptr},
    {"blanks kept", std::string("<settings><k> 12 </k></settings>"), "k", true, L" 12 ", nullptr},
    {"CDATA text", std::string("<settings><k><![CDATA[a<b]]></k></settings>"), "k", true, L"a<b", nullptr},
    {"first of two", std::string("<settings><k>1</k><k>2</k></settings>"), "k", true, L"1", nullptr},
};

TEST_F(SettingFileTest, ReadSettingTable) {
  for (const ReadCase& c : kReadCases) {
    SCOPED_TRACE(c.name);
    fs::remove(path());
    if (c.file) put(*c.file);
    const size_t logBefore = gltest::logText().size();
    std::wstring value = L"keep";
    EXPECT_EQ(ReadSetting(c.key, pathW(), value), c.found);
    EXPECT_EQ(value, c.value);
    const std::string logged = gltest::logText().substr(logBefore);
    if (c.logPart) {
      EXPECT_NE(logged.find(c.logPart), std::string::npos) << logged;
    } else {
      EXPECT_EQ(logged, "");
    }
  }
}

TEST_F(SettingFileTest, ReadOnlyFileIsReadButNotWritten) {
  const std::string original = "<settings><ocwindowid>1</ocwindowid></settings>";
  put(original);
  ::chmod(path().c_str(), 0444);
  const size_t logBefore = gltest::logText().size();
  EXPECT_FALSE(WriteSetting("ocwindowid", L"2", pathW()));
  EXPECT_EQ(content(), original);
  EXPECT_NE(gltest::logText().find("WriteSetting ocwindowid cannot save:", logBefore), std::string::npos);
  std::wstring value;
  EXPECT_TRUE(ReadSetting("ocwindowid", pathW(), value));
  EXPECT_EQ(value, L"1");
  ::chmod(path().c_str(), 0644);
}

TEST_F(SettingFileTest, FolderInTheWayIsAFailure) {
  fs::create_directories(path());
  EXPECT_FALSE(WriteSetting("k", L"v", pathW()));
  std::wstring value;
  EXPECT_FALSE(ReadSetting("k", pathW(), value));
  fs::remove(path());
}

TEST_F(SettingFileTest, NormalStartsKeepEachOthersKeys) {
  // A start with winid and source OC, then one without winid: the handle stays.
  EXPECT_TRUE(RecordPlatformWindow(L"1234"));
  EXPECT_TRUE(RecordLoginSource(L"OC"));
  const fs::path setting = home() / ".local/share/Orbisk_Center/setting.xml";
  EXPECT_EQ(gltest::readFile(setting),
            "<settings>\n    <ocwindowid>1234</ocwindowid>\n    <loginsource>OC</loginsource>\n</settings>\n");
  EXPECT_TRUE(RecordLoginSource(L""));
  std::wstring id, source = L"x";
  EXPECT_TRUE(ReadSetting(kSettingOcWindowId, GetSettingPath(), id));
  EXPECT_TRUE(ReadSetting(kSettingLoginSource, GetSettingPath(), source));
  EXPECT_EQ(id, L"1234");
  EXPECT_EQ(source, L"x");  // present but empty: the caller's value stays
}

TEST(SettingDocument, RoundTripKeepsEverythingButTheKey) {
  const std::string text =
      "<?xml version=\"1.0\"?><root a=\"1\"><!--c--><x>1</x><y><z>q  r</z></y><loginsource>old</loginsource>"
      "<?pi data?></root><!--after-->";
  TiXmlDocument doc;
  ASSERT_TRUE(ParseSettingDocument(text, doc));
  ASSERT_TRUE(SetSettingElement(doc, "loginsource", "new"));
  TiXmlPrinter printer;
  doc.Accept(&printer);
  TiXmlDocument again;
  ASSERT_TRUE(ParseSettingDocument(printer.Str(), again));
  std::string value;
  EXPECT_TRUE(GetSettingElement(again, "loginsource", value));
  EXPECT_EQ(value, "new");
  EXPECT_NE(printer.Str().find("<z>q  r</z>"), std::string::npos);
  EXPECT_NE(printer.Str().find("<!--after-->"), std::string::npos);
  EXPECT_NE(printer.Str().find("<?pi data?>"), std::string::npos);
  EXPECT_EQ(printer.Str().find("old"), std::string::npos);
}

TEST(GameExitNoticeRecord, ExactBytes) {
  const auto bytes = GameExitNoticeBytes(MakeGameExitNotice());
  ASSERT_EQ(bytes.size(), 528u);
  std::array<unsigned char, 528> expected{};
  expected[0] = 1;
  expected[4] = '1';
  expected[524] = 1;
  EXPECT_EQ(bytes, expected);
}

TEST(GameExitNoticeRecord, LongTextIsCutAndStaysTerminated) {
  const GameExitNotice notice = MakeGameExitNotice(std::u16string(400, u'x'));
  EXPECT_EQ(notice.text[258], u'x');
  EXPECT_EQ(notice.text[259], u'\0');
  EXPECT_EQ(notice.tail, 1);
  const auto bytes = GameExitNoticeBytes(notice);
  EXPECT_EQ(bytes[522], 0);
  EXPECT_EQ(bytes[523], 0);
  EXPECT_EQ(bytes[524], 1);
  const GameExitNotice wide = MakeGameExitNotice(u"\u4e2d");
  EXPECT_EQ(GameExitNoticeBytes(wide)[4], 0x2D);
  EXPECT_EQ(GameExitNoticeBytes(wide)[5], 0x4E);
}

TEST(WindowHandleText, DecimalConversion) {
  struct Case {
    const wchar_t* text;
    int32_t value;
  } cases[] = {
      {L"1234", 1234},
      {L"", 0},
      {L"abc", 0},
      {L"12ab", 12},
      {L"  42", 42},
      {L"+7", 7},
      {L"-5", -5},
      {L"2147483647", 2147483647},
      {L"2147483648", INT32_MIN},
      {L"4294967295", -1},
      {L"4294967296", 0},
      {L"99999999999999999999999", 0},
      {L"-2147483648", INT32_MIN},
      {L"-2147483649", 0},
      {L"- 5", 0},
      {L"0x10", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToMulti(c.text, kCodePageUtf8));
    EXPECT_EQ(DecimalHandleValue(c.text), c.value);
  }
  EXPECT_EQ(WindowHandleFromDecimal(L"-1"), ~static_cast<WindowHandle>(0));
  EXPECT_EQ(WindowHandleFromDecimal(L"65554"), static_cast<WindowHandle>(65554));
}

class GameManagerMessages : public ::testing::Test {
 protected:
  void SetUp() override { TakeSentWindowMessages(); }
};

TEST_F(GameManagerMessages, LauncherReadyOnlyWhenAskedFor) {
  struct Case {
    const wchar_t* typeMode;
    const wchar_t* gameMgrId;
    bool posted;
  } cases[] = {
      {L"1", L"1234", true}, {L"0", L"1234", false}, {L"", L"1234", false}, {L"1", L"", false}, {L"11", L"1234", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToMulti(std::wstring(c.typeMode) + L"/" + c.gameMgrId, kCodePageUtf8));
    LaunchParams params;
    params.typeMode = c.typeMode;
    params.gameMgrId = c.gameMgrId;
    params.winid = L"99";
    EXPECT_EQ(PostLauncherReady(params), c.posted);
    const auto sent = TakeSentWindowMessages();
    ASSERT_EQ(sent.size(), c.posted ? 1u : 0u);
    if (c.posted) {
      EXPECT_EQ(sent[0].target, 1234u);
      EXPECT_EQ(sent[0].message, 1348u);
      EXPECT_EQ(sent[0].wParam, 0u);
      EXPECT_EQ(sent[0].lParam, 0);
    }
  }
}

TEST_F(GameManagerMessages, StartFailedGoesToTheGameManagerNotThePlatform) {
  LaunchParams params;
  params.gameMgrId = L"1234";
  params.winid = L"5678";
  PostGameStartFailed(params);
  const auto sent = TakeSentWindowMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].target, 1234u);
  EXPECT_EQ(sent[0].message, 1347u);
  EXPECT_EQ(sent[0].wParam, 0u);
  EXPECT_EQ(sent[0].lParam, 0);
}

TEST_F(GameManagerMessages, CloseNoticeOnlyForThePlatformClient) {
  struct Case {
    const wchar_t* source;
    const wchar_t* winid;
    bool sent;
  } cases[] = {{L"OC", L"5678", true}, {L"oc", L"5678", false}, {L"OC", L"", false}, {L"web", L"5678", false}};
  for (const Case& c : cases) {
    LaunchParams params;
    params.source = c.source;
    params.winid = c.winid;
    EXPECT_EQ(SendCloseNotice(params), c.sent);
    const auto sent = TakeSentWindowMessages();
    ASSERT_EQ(sent.size(), c.sent ? 1u : 0u);
    if (c.sent) {
      EXPECT_EQ(sent[0].target, 5678u);
      EXPECT_EQ(sent[0].message, 74u);
      EXPECT_EQ(sent[0].copyDataKind, 1u);
      EXPECT_EQ(sent[0].data.size(), 528u);
    }
  }
}

}  // namespace
