// Shared pieces of the game loader host tests: a temporary home folder (the
// local application data folder lives below it) and the test run's log.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace gltest {

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);
// Everything the launcher's logger has written in this test run.
std::string logText();

class TempHomeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  const std::filesystem::path& home() const { return home_; }
  const std::filesystem::path& root() const { return home_; }

 private:
  std::filesystem::path home_;
  std::string oldHome_;
  bool hadHome_ = false;
};

}  // namespace gltest
