#include "RecordWriter.h"

#include <cstdarg>

#include "base/File.h"

#ifdef _WIN32
#define ZEM_FILENO _fileno
#else
#define ZEM_FILENO fileno
#endif

namespace zem {

namespace {
// Identifier text kept for a disk that is full: a bound, so a disk that never
// comes back does not take all memory.
const size_t kKeepMax = size_t(16) << 20;
}  // namespace

OutFile::~OutFile() {
  int rc = 0;
  if (f_) close(rc);
}

bool OutFile::open(const char* path, const char* mode, bool keepUnwritten) {
  int rc = 0;
  if (f_) close(rc);
  failed_ = false;
  pending_.clear();
  keep_ = keepUnwritten;
  f_ = path ? std::fopen(path, mode) : nullptr;
  return f_ != nullptr;
}

void OutFile::print(const char* format, ...) {
  if (!f_) return;
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n > 0 && static_cast<size_t>(n) < sizeof small) {
    pending_.append(small, static_cast<size_t>(n));
  } else if (n > 0) {
    const size_t at = pending_.size();
    pending_.resize(at + static_cast<size_t>(n) + 1);
    std::vsnprintf(&pending_[at], static_cast<size_t>(n) + 1, format, again);
    pending_.resize(at + static_cast<size_t>(n));
  }
  va_end(again);
}

void OutFile::append(const char* data, size_t size) {
  if (f_) pending_.append(data, size);
}

bool OutFile::flush() {
  if (!f_ || pending_.empty()) return f_ != nullptr;
  // Nothing goes through the stream's own buffer: every byte is written here,
  // so what reached the file is known exactly.
  const int fd = ZEM_FILENO(f_);
  uint64_t before = 0;
  const bool sized = vekt::base::fileSize(fd, before);
  const size_t done = vekt::base::writePart(fd, pending_.data(), pending_.size());
  if (done == pending_.size()) {
    pending_.clear();
    return true;
  }
  failed_ = true;
  // Also when the count says nothing went: a text-mode write may have put
  // part of its converted text down before it failed.
  uint64_t after = 0;
  if (sized && (done > 0 || !vekt::base::fileSize(fd, after) || after != before))
    vekt::base::truncateFile(fd, before);
  if (!keep_ || pending_.size() > kKeepMax) pending_.clear();
  return false;
}

void OutFile::close(int& rc) {
  if (!f_) return;
  flush();
  const int closed = std::fclose(f_);
  f_ = nullptr;
  pending_.clear();
  rc = failed_ || closed != 0 ? EOF : 0;
}

void RecordWriter::setKey(const char* key) {
  binary_ = key != nullptr;
  if (key)
    key_ = key;
  else
    key_.clear();
}

void RecordWriter::writeHeader(OutFile& f) const {
  const char head[2] = {0x42, sizeof(uintptr_t) == 4 ? 0x01 : 0x02};
  f.append(head, 2);
}

void RecordWriter::writeRecord(OutFile& f, uintptr_t id, const char* name, size_t len) {
  if (len > 0xffff) len = 0xffff;  // the length field is 16 bits: never write more than it says
  char head[sizeof(uintptr_t) + 2];
  uint64_t v = id;
  for (size_t i = 0; i < sizeof(uintptr_t); ++i) head[i] = static_cast<char>(v >> (8 * i));
  head[sizeof(uintptr_t)] = static_cast<char>(len & 0xff);
  head[sizeof(uintptr_t) + 1] = static_cast<char>(len >> 8);
  f.append(head, sizeof head);
  buf_.assign(name, len);
  scramble(buf_);
  f.append(buf_.data(), len);
}

void RecordWriter::scramble(std::string& bytes) const {
  if (!key_.empty())
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= key_[i % key_.size()];
}

void reopenTruncatedAppend(OutFile& f, const char* path) {
  int rc = 0;
  closeFile(f, rc);
  if (!path || !*path) return;
  FILE* t = std::fopen(path, "wb");
  if (!t) return;
  std::fclose(t);
  f.open(path, "ab");
}

}  // namespace zem
