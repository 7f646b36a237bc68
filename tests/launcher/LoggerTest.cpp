#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "Common.h"
#include "Logger.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using vekt::LocalTime;
using vekt::Logger;

namespace {

// A system where only the listed folders can be written, with a settable clock.
class FakeLogPlatform : public vekt::ILogPlatform {
 public:
  std::set<std::string> writable;
  std::string documents;  // empty: no console user token
  std::string moduleName = "vekt_main.exe";
  bool driveD = false;
  LocalTime time{2026, 1, 5, 9, 7, 3, 7};
  std::string debugText, errText;
  int probes = 0;

  bool probeDirectory(const std::string& dir) override {
    ++probes;
    if (!writable.count(dir)) return false;
    std::ofstream(dir + "debug.txt") << "";
    return true;
  }
  void removeProbe(const std::string& dir) override { fs::remove(dir + "debug.txt"); }
  std::string consoleUserDocuments() override { return documents; }
  std::string moduleBaseName() override { return moduleName; }
  bool driveDIsDirectory() override { return driveD; }
  LocalTime now() override { return time; }
  std::string toAnsi(const std::wstring& text) override { return vekt::WideToMulti(text, vekt::kCodePageAnsi); }
  void debugOutput(const std::string& text) override { debugText += text; }
  void standardError(const std::string& text) override { errText += text; }
};

using vekt::testsupport::readFile;

class LoggerTest : public vekt::testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    root_ = dir();
    fs::create_directories(root_ / "Log");
    fs::create_directories(root_ / "Documents");
    logDir_ = (root_ / "Log").string() + "\\";
    // The fake's folder names end in "\", which the host file system keeps in the name.
    Logger::initializePathDir(logDir_);
  }

  fs::path root_;
  std::string logDir_;
  FakeLogPlatform platform_;
};

TEST_F(LoggerTest, WritableFolderGetsTheDailyFileAndNoProbeFile) {
  platform_.writable = {logDir_};
  {
    Logger logger(platform_);
    EXPECT_TRUE(logger.enabled());
    EXPECT_EQ(logger.outputs(), 1 + 4 + 16);
    EXPECT_EQ(logger.fileName(), logDir_ + "vekt_main.exe_2026_1_5.log");
    logger.write(0, "C:\\src\\launcher\\Main.cpp", 42, "wWinMain", L"failure line");
    logger.write(2, "C:\\src\\launcher\\Main.cpp", 43, "wWinMain", L"progress line");
  }
  EXPECT_FALSE(fs::exists(logDir_ + "debug.txt"));
  const std::string expected =
      "2026-01-05 09:07:03.  7 [Main.cpp<42>wWinMain] : failure line\r\n"
      "2026-01-05 09:07:03.  7 [Main.cpp<43>wWinMain] : progress line\r\n";
  EXPECT_EQ(readFile(logDir_ + "vekt_main.exe_2026_1_5.log"), expected);
  EXPECT_EQ(platform_.errText,
            "2026-01-05 09:07:03.  7 [Main.cpp<42>wWinMain] : failure line\n"
            "2026-01-05 09:07:03.  7 [Main.cpp<43>wWinMain] : progress line\n");
  EXPECT_EQ(platform_.debugText, expected);
}

TEST_F(LoggerTest, AMessageEndingInALineEndGetsOnlyTheLogsOwn) {
  platform_.writable = {logDir_};
  {
    Logger logger(platform_);
    logger.write(2, "a.cpp", 1, "f", L"m_strCmdJson is:{\"source\":\"OC\"}\n");
    logger.write(2, "a.cpp", 2, "f", L"crlf\r\n");
    logger.write(2, "a.cpp", 3, "f", L"inner\nline");
    logger.write(2, "a.cpp", 4, "f", L"\n");
  }
  const std::string text = readFile(logDir_ + "vekt_main.exe_2026_1_5.log");
  EXPECT_NE(text.find("] : m_strCmdJson is:{\"source\":\"OC\"}\r\n2026"), std::string::npos);
  EXPECT_NE(text.find("] : crlf\r\n2026"), std::string::npos);
  EXPECT_NE(text.find("] : inner\nline\r\n"), std::string::npos);
  EXPECT_NE(text.find("[a.cpp<4>f] : \r\n"), std::string::npos);
  EXPECT_EQ(platform_.errText.find("}\n\n"), std::string::npos);
}

TEST_F(LoggerTest, TwoRunsOnOneDayAppendAndTheFileStaysReadable) {
  platform_.writable = {logDir_};
  const std::string file = logDir_ + "vekt_main.exe_2026_1_5.log";
  {
    Logger first(platform_);
    first.write(2, "a.cpp", 1, "f", L"first run");
    // Another process may read the file while it is being written.
    EXPECT_NE(readFile(file).find("first run"), std::string::npos);
  }
  {
    Logger second(platform_);
    second.write(2, "a.cpp", 2, "f", L"second run");
  }
  const std::string text = readFile(file);
  EXPECT_NE(text.find("first run\r\n"), std::string::npos);
  EXPECT_NE(text.find("second run\r\n"), std::string::npos);
  EXPECT_LT(text.find("first run"), text.find("second run"));
}

TEST_F(LoggerTest, TheDayOfTheStartNamesTheFileEvenAfterMidnight) {
  platform_.writable = {logDir_};
  platform_.time = {2026, 12, 31, 23, 59, 59, 999};
  Logger logger(platform_);
  platform_.time = {2027, 1, 1, 0, 0, 0, 1};
  logger.write(2, "a.cpp", 1, "f", L"after midnight");
  EXPECT_EQ(logger.fileName(), logDir_ + "vekt_main.exe_2026_12_31.log");
  EXPECT_NE(readFile(logDir_ + "vekt_main.exe_2026_12_31.log").find("2027-01-01 00:00:00.  1"), std::string::npos);
  EXPECT_FALSE(fs::exists(logDir_ + "vekt_main.exe_2027_1_1.log"));
}

struct FallbackCase {
  const char* name;
  bool logDirWritable;
  bool documentsToken;
  bool documentsWritable;
  bool driveD;
  bool enabled;
  int outputs;
  const char* fileFolder;  // "log", "documents" or nullptr when no file is written
};

class LoggerFallbackTest : public LoggerTest, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(LoggerFallbackTest, FolderFallbacks) {
  const FallbackCase& c = GetParam();
  const std::string documents = (root_ / "Documents").string();
  if (c.logDirWritable) platform_.writable.insert(logDir_);
  if (c.documentsToken) platform_.documents = documents;
  if (c.documentsWritable) platform_.writable.insert(documents + "\\");
  platform_.driveD = c.driveD;

  Logger logger(platform_);
  logger.write(0, "x.cpp", 7, "f", L"line");
  EXPECT_EQ(logger.enabled(), c.enabled);
  EXPECT_EQ(logger.outputs(), c.outputs);
  if (c.fileFolder) {
    const std::string folder = std::string(c.fileFolder) == "log" ? logDir_ : documents + "\\";
    EXPECT_EQ(Logger::pathDir(), folder);
    EXPECT_NE(readFile(folder + "vekt_main.exe_2026_1_5.log").find("line"), std::string::npos);
  } else {
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      EXPECT_FALSE(entry.is_regular_file()) << "unexpected file " << entry.path();
    }
  }
  const bool screenOutputs = c.outputs != 0;
  EXPECT_EQ(!platform_.debugText.empty(), screenOutputs);
  EXPECT_EQ(!platform_.errText.empty(), screenOutputs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoggerFallbackTest,
    ::testing::Values(FallbackCase{"LogFolder", true, false, false, false, true, 21, "log"},
                      FallbackCase{"ConsoleUserDocuments", false, true, true, false, true, 21, "documents"},
                      FallbackCase{"DocumentsNotWritableDriveD", false, true, false, true, true, 20, nullptr},
                      FallbackCase{"NoTokenDriveD", false, false, false, true, true, 20, nullptr},
                      FallbackCase{"NoTokenNoDriveD", false, false, false, false, false, 0, nullptr}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return info.param.name; });

TEST_F(LoggerTest, UnreadableModuleNameStartsTheFileWithTheDate) {
  platform_.writable = {logDir_};
  platform_.moduleName.clear();
  Logger logger(platform_);
  EXPECT_EQ(logger.fileName(), logDir_ + "_2026_1_5.log");
}

TEST_F(LoggerTest, UnopenableFileLosesOnlyTheFileOutput) {
  platform_.writable = {logDir_};
  platform_.moduleName = "missing_folder/vekt_main.exe";
  Logger logger(platform_);
  logger.write(2, "a.cpp", 1, "f", L"still on screen");
  EXPECT_NE(platform_.debugText.find("still on screen"), std::string::npos);
  EXPECT_NE(platform_.errText.find("still on screen"), std::string::npos);
}

TEST_F(LoggerTest, CharactersOutsideTheCodePageBecomeTheDefaultCharacter) {
  platform_.writable = {logDir_};
  Logger logger(platform_);
  logger.write(2, "a.cpp", 1, "f", L"caf\u00e9 \u4e2d");
  EXPECT_NE(platform_.debugText.find("caf\xe9 ?\r\n"), std::string::npos);
}

TEST(LoggerFormat, Timestamps) {
  struct Case {
    LocalTime time;
    const char* text;
  } cases[] = {
      {{2026, 1, 5, 9, 7, 3, 7}, "2026-01-05 09:07:03.  7"},
      {{2026, 12, 31, 23, 59, 59, 999}, "2026-12-31 23:59:59.999"},
      {{2026, 6, 15, 0, 0, 0, 0}, "2026-06-15 00:00:00.  0"},
      {{2026, 6, 15, 12, 30, 45, 45}, "2026-06-15 12:30:45. 45"},
  };
  for (const Case& c : cases) EXPECT_EQ(Logger::formatTimestamp(c.time), c.text);
}

TEST(LoggerFormat, DailyFileNamesHaveNoLeadingZeros) {
  EXPECT_EQ(Logger::dailyFileName("C:\\Log\\vekt_main.exe", {2026, 1, 5}), "C:\\Log\\vekt_main.exe_2026_1_5.log");
  EXPECT_EQ(Logger::dailyFileName("C:\\Log\\vekt_main.exe", {2026, 11, 30}), "C:\\Log\\vekt_main.exe_2026_11_30.log");
}

TEST(LoggerFormat, SourceFileNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\src\\launcher\\GameLoaderWnd.cpp", "GameLoaderWnd.cpp"},
      {"Main.cpp", "Main.cpp"},
      {"\\Main.cpp", "\\Main.cpp"},
      {"a\\", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Logger::baseFileName(c.first), c.second) << c.first;
}

TEST(LoggerFormat, FunctionNamesFromTheCompiler) {
  const std::pair<const char*, const char*> cases[] = {
      {"bool GameLoaderWnd::LoadWeb(int)", "GameLoaderWnd::LoadWeb"},
      {"int wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)", "wWinMain"},
      {"bool vekt::KillProcess(int32_t)", "KillProcess"},
      {"vekt::Logger::Logger(vekt::ILogPlatform&)", "Logger::Logger"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Logger::functionName(c.first), c.second) << c.first;
  EXPECT_EQ(Logger::functionName(nullptr), "");
}

}  // namespace
