#include "gameloader_test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "Logger.h"

namespace fs = std::filesystem;

namespace gltest {
namespace {

fs::path logDir() { return fs::temp_directory_path() / ("vekt_gameloader_log_" + std::to_string(::getpid())); }

// The log must point at its folder before the first line is written.
class LogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    fs::create_directories(logDir());
    vekt::Logger::initializePathDir(logDir().string() + "/");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(logDir(), ec);
  }
};

[[maybe_unused]] ::testing::Environment* const kLogEnvironment =
    ::testing::AddGlobalTestEnvironment(new LogEnvironment);

}  // namespace

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string logText() { return readFile(vekt::Logger::instance().fileName()); }

void TempHomeTest::SetUp() {
  const char* old = std::getenv("HOME");
  hadHome_ = old != nullptr;
  if (old) oldHome_ = old;
  home_ = fs::temp_directory_path() / ("vekt_gameloader_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(home_);
  fs::create_directories(home_ / ".local/share");
  ::setenv("HOME", home_.c_str(), 1);
}

void TempHomeTest::TearDown() {
  if (hadHome_) {
    ::setenv("HOME", oldHome_.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
  std::error_code ec;
  fs::remove_all(home_, ec);
}

}  // namespace gltest
