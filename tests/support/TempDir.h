// Temporary folders for the host tests: a fresh, private folder per test,
// removed with everything in it afterwards.
//   TempDir          the folder alone (RAII)
//   TempDirTest      a GoogleTest fixture owning one; dir(), path(), listDir()
//   TempCwdTest      the same, and the current directory is the folder for the
//                    test (relative paths land in it), restored afterwards
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace vekt::testsupport {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

class TempDir {
 public:
  // Creates <system temp>/<prefix>_<pid>_<n>_<time>; a name already taken is skipped.
  explicit TempDir(const std::string& prefix = "vekt") {
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const unsigned long pid = 0;
#else
    const unsigned long pid = static_cast<unsigned long>(::getpid());
#endif
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      fs::path candidate = fs::temp_directory_path() / (prefix + "_" + std::to_string(pid) + "_" +
                                                        std::to_string(counter++) + "_" + std::to_string(stamp));
      std::error_code ec;
      if (fs::create_directory(candidate, ec) && !ec) path_ = candidate;
    }
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool valid() const { return !path_.empty(); }
  const fs::path& path() const { return path_; }
  fs::path operator/(const fs::path& rel) const { return path_ / rel; }

 private:
  fs::path path_;
};

// What both fixtures offer about their folder.
class TempFolderAccess {
 protected:
  const fs::path& dir() const { return temp_.path(); }
  std::string path(const std::string& rel) const { return (temp_.path() / rel).string(); }
  // Sorted names in the folder (or a folder below it).
  std::vector<std::string> listDir(const fs::path& sub = {}) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(temp_.path() / sub)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  TempDir temp_;
};

// The two fixtures derive from ::testing::Test side by side (not one from the
// other), so a test's own fixture can name either in its TearDown.
class TempDirTest : public ::testing::Test, protected TempFolderAccess {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.valid()) << "no temporary folder"; }
};

class TempCwdTest : public ::testing::Test, protected TempFolderAccess {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.valid()) << "no temporary folder";
    old_ = fs::current_path();
    fs::current_path(dir());
  }
  void TearDown() override {
    std::error_code ec;
    fs::current_path(old_, ec);
  }

 private:
  fs::path old_;
};

}  // namespace vekt::testsupport
