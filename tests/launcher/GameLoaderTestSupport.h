// Shared pieces of the game loader host tests: a temporary home folder (the
// local application data folder lives below it) and the test run's log.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TempDir.h"

namespace gltest {

using vekt::testsupport::readFile;
using vekt::testsupport::writeFile;
// Everything the launcher's logger has written in this test run.
std::string logText();

class TempHomeTest : public vekt::testsupport::TempDirTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  const std::filesystem::path& home() const { return dir(); }
  const std::filesystem::path& root() const { return dir(); }

 private:
  std::string oldHome_;
  bool hadHome_ = false;
};

}  // namespace gltest
