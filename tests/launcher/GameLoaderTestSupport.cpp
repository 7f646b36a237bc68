#include "GameLoaderTestSupport.h"

#include <cstdlib>

#include "Logger.h"

namespace fs = std::filesystem;

namespace gltest {
namespace {

// The log must point at its folder before the first line is written.
class LogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { vekt::Logger::initializePathDir(folder_.path().string() + "/"); }

 private:
  vekt::testsupport::TempDir folder_{"vekt_gameloader_log"};
};

[[maybe_unused]] ::testing::Environment* const kLogEnvironment =
    ::testing::AddGlobalTestEnvironment(new LogEnvironment);

}  // namespace

std::string logText() { return readFile(vekt::Logger::instance().fileName()); }

void TempHomeTest::SetUp() {
  TempDirTest::SetUp();
  const char* old = std::getenv("HOME");
  hadHome_ = old != nullptr;
  if (old) oldHome_ = old;
  fs::create_directories(home() / ".local/share");
  ::setenv("HOME", home().c_str(), 1);
}

void TempHomeTest::TearDown() {
  if (hadHome_) {
    ::setenv("HOME", oldHome_.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
  TempDirTest::TearDown();
}

}  // namespace gltest
