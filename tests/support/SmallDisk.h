// A real small filesystem for the host tests: a tmpfs of a few hundred KiB
// mounted on a fresh folder, so a disk really fills up. Mounting needs the
// right to mount (root outside a restricted container); without it the test
// reports itself skipped. The mount is taken away again afterwards.
#pragma once
#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

#include "TempDir.h"

namespace vekt::testsupport {

class SmallDisk {
 public:
  explicit SmallDisk(unsigned kib) : folder_("vekt_disk") {
    if (!folder_.valid()) {
      why_ = "no temporary folder";
      return;
    }
    const std::string options = "size=" + std::to_string(kib) + "k";
    if (::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
      why_ = std::string("mounting a tmpfs is not allowed here: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.path().c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& whyNot() const { return why_; }
  const fs::path& path() const { return folder_.path(); }

  // Takes every free byte with a filler file; the bytes it holds.
  size_t fill() {
    FILE* f = std::fopen((folder_.path() / "filler").c_str(), "ab");
    if (!f) return 0;
    std::setvbuf(f, nullptr, _IONBF, 0);
    static const char block[4096] = {};
    size_t total = 0;
    for (size_t n = sizeof block; n > 0; n /= 2) {
      while (std::fwrite(block, 1, n, f) == n) total += n;
      std::clearerr(f);
    }
    std::fclose(f);
    return total;
  }
  // Gives the space back.
  void free() {
    std::error_code ec;
    fs::remove(folder_.path() / "filler", ec);
  }

 private:
  TempDir folder_;
  bool mounted_ = false;
  std::string why_;
};

}  // namespace vekt::testsupport

#define VEKT_SMALL_DISK_OR_SKIP(disk) \
  if (!(disk).mounted()) GTEST_SKIP() << (disk).whyNot()
