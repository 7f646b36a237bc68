#include "LogImpl.h"

#include <cstring>

#include "LogPlatform.h"
#include "LogText.h"

namespace vexolib::log {

ILogImpl::ILogImpl() : active_(kBufferStep, '\0'), spare_(kBufferStep, '\0') {}
ILogImpl::~ILogImpl() = default;

char* ILogImpl::reserve() {
  lock_.lock();
  if (static_cast<int32_t>(active_.size()) - used_ < kLineRoom) {
    // Buffers only grow and are reused, so steady logging allocates nothing.
    active_.resize(active_.size() + kBufferStep);
  }
  return active_.data() + used_;
}

void ILogImpl::commit(int32_t length) {
  used_ += length;
  active_[static_cast<size_t>(used_)] = '\0';
  lock_.unlock();
}

bool ILogImpl::flush(bool force, uint32_t nowMs) {
  std::lock_guard<std::mutex> serial(flushLock_);
  size_t n;
  {
    std::lock_guard<std::mutex> guard(lock_);
    beforeFlush();
    if (used_ == 0 || (!force && !shouldFlush(nowMs))) return false;
    active_.swap(spare_);
    if (active_.size() < kBufferStep) active_.resize(kBufferStep);
    n = static_cast<size_t>(used_);
    used_ = 0;
    active_[0] = '\0';
  }
  write(spare_.data(), n);
  return true;
}

int32_t ILogImpl::pending() {
  std::lock_guard<std::mutex> guard(lock_);
  return used_;
}

int32_t ILogImpl::activeCapacity() {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int32_t>(active_.size());
}

void StdoutLog::write(const char* bytes, size_t length) { platform::writeStdout(bytes, length); }

FileLog::FileLog(const std::u16string& path, bool keepOldFile)
    : path_(path.empty() ? u"log.txt" : path), keepOldFile_(keepOldFile) {
  if (!createDirectories()) return;
  if (platform::fileExists(path_)) {
    if (keepOldFile_) {
      // A restart within the same second would overwrite (or fail to move to)
      // the name kept a moment ago and the old text would be lost: take the
      // next free number instead.
      uint32_t seconds = static_cast<uint32_t>(platform::nowSeconds());
      std::u16string kept = keptName(seconds);
      for (uint32_t k = 1; k < 1000 && platform::fileExists(kept); ++k) kept = keptName(seconds + k);
      platform::moveFile(path_, kept);
    } else {
      platform::removeFile(path_);
    }
  }
  fd_ = platform::openTruncate(path_);
}

FileLog::~FileLog() {
  if (fd_ >= 0) platform::closeFile(fd_);
}

bool FileLog::createDirectories() {
  size_t sep = path_.find_last_of(u"/\\");
  if (sep == std::u16string::npos) return true;
  std::u16string dir = path_.substr(0, sep);
  // Keep the root of an absolute path: "/x", "\\server\share\x" and "C:\x"
  // are not made relative to the current directory.
  std::u16string prefix;
  size_t pos = 0;
  size_t leading = 0;
  while (pos < dir.size() && (dir[pos] == u'/' || dir[pos] == u'\\')) {
    ++pos;
    ++leading;
  }
  int rootPieces = 0;
  if (leading >= 2) {
    prefix = u"//";
    rootPieces = 2;  // server and share name exist or cannot be made
  } else if (leading == 1) {
    prefix = u"/";
  }
  bool first = true;
  while (pos < dir.size()) {
    size_t end = dir.find_first_of(u"/\\", pos);
    if (end == std::u16string::npos) end = dir.size();
    if (end > pos) {
      std::u16string piece = dir.substr(pos, end - pos);
      if (!prefix.empty() && prefix.back() != u'/') prefix.push_back(u'/');
      prefix += piece;
      bool isDrive = first && leading == 0 && piece.size() == 2 && piece[1] == u':';
      if (rootPieces > 0) {
        --rootPieces;
      } else if (!isDrive && !platform::isDirectory(prefix)) {
        if (!platform::makeDirectory(prefix) && !platform::isDirectory(prefix)) return false;
      }
      first = false;
    }
    pos = end + 1;
  }
  return true;
}

std::u16string FileLog::backupName() const {
  std::u16string stem, ext;
  splitStemExtension(path_, stem, ext);
  return stem + u"_1.log";
}

std::u16string FileLog::keptName(uint32_t seconds) const {
  std::u16string stem, ext;
  splitStemExtension(path_, stem, ext);
  std::u16string name = stem + u"_" + asciiToUtf16(std::to_string(seconds).c_str());
  if (!ext.empty()) name += u"." + ext;
  return name;
}

bool FileLog::shouldFlush(uint32_t nowMs) {
  if (pendingUnlocked() >= kFlushPending || static_cast<uint32_t>(nowMs - lastFlush_) >= kFlushAgeMs) {
    lastFlush_ = nowMs;
    return true;
  }
  return false;
}

void FileLog::write(const char* bytes, size_t length) {
  if (fd_ < 0) return;
  // Lines end with CR LF on disk on every platform.
  size_t lf = 0;
  for (size_t i = 0; i < length; ++i) lf += bytes[i] == '\n';
  if (crlf_.size() < length + lf) crlf_.resize(length + lf);
  char* out = crlf_.data();
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] == '\n') *out++ = '\r';
    *out++ = bytes[i];
  }
  platform::writeAll(fd_, crlf_.data(), length + lf);
  rotateIfFull();
}

void FileLog::rotateIfFull() {
  uint64_t size = 0;
  if (!platform::fileSize(fd_, size) || size < kRotateSize) return;
  std::u16string backup = backupName();
  if (platform::fileExists(backup) && !platform::removeFile(backup)) return;
  platform::closeFile(fd_);
  fd_ = -1;
  if (platform::fileExists(path_)) platform::moveFile(path_, backup);
  fd_ = platform::openTruncate(path_);
}

}  // namespace vexolib::log
