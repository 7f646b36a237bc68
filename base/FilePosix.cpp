// File calls on POSIX: the UTF-16 path is passed on in UTF-8.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "File.h"
#include "Text.h"

namespace vekt::base {
namespace {
std::string native(const std::u16string& path) { return utf16ToUtf8(path); }
}  // namespace

bool isDirectory(const std::u16string& path) {
  struct stat st {};
  return stat(native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool fileExists(const std::u16string& path) {
  struct stat st {};
  return stat(native(path).c_str(), &st) == 0;
}

bool makeDirectory(const std::u16string& path) { return mkdir(native(path).c_str(), 0777) == 0; }
bool removeFile(const std::u16string& path) { return unlink(native(path).c_str()) == 0; }
bool moveFile(const std::u16string& from, const std::u16string& to) {
  return rename(native(from).c_str(), native(to).c_str()) == 0;
}

std::FILE* openFile(const std::u16string& path, const char* mode) { return std::fopen(native(path).c_str(), mode); }

int openTruncate(const std::u16string& path) {
  return open(native(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int openRead(const std::u16string& path) { return open(native(path).c_str(), O_RDONLY | O_CLOEXEC); }

int openAppend(const std::u16string& path) {
  const int fd = open(native(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0 && lseek(fd, 0, SEEK_END) < 0) {
    close(fd);
    return -1;
  }
  return fd;
}

size_t writePart(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t w = write(fd, data + done, size - done);
    if (w <= 0) break;
    done += static_cast<size_t>(w);
  }
  return done;
}

bool truncateFile(int fd, uint64_t size) {
  return ftruncate(fd, static_cast<off_t>(size)) == 0 && lseek(fd, static_cast<off_t>(size), SEEK_SET) >= 0;
}

bool pathNamesFile(const std::u16string& path, int fd) {
  struct stat named {}, open {};
  return stat(native(path).c_str(), &named) == 0 && fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
         named.st_ino == open.st_ino;
}

long readSome(int fd, char* data, size_t size) { return static_cast<long>(read(fd, data, size)); }

bool fileSize(int fd, uint64_t& size) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

void closeFile(int fd) { close(fd); }

}  // namespace vekt::base
