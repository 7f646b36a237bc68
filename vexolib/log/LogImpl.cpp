#include "LogImpl.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "LogModule.h"
#include "LogText.h"
#include "base/Clock.h"
#include "base/File.h"

namespace vexolib::log {

namespace base = vekt::base;

namespace {
void* defaultAllocator(size_t bytes) { return ::operator new(bytes); }
std::atomic<ChunkAllocator> g_allocator{&defaultAllocator};

LogChunk* newChunk() {
  void* memory = g_allocator.load(std::memory_order_relaxed)(sizeof(LogChunk));
  if (!memory) throw std::bad_alloc();
  auto* chunk = new (memory) LogChunk;
  // Touch every page now rather than under the lock, line by line.
  memset(chunk->text, 0, sizeof chunk->text);
  return chunk;
}

void freeChunks(LogChunk* first) {
  while (first) {
    LogChunk* next = first->next;
    first->~LogChunk();
    ::operator delete(first);
    first = next;
  }
}
}  // namespace

void setChunkAllocator(ChunkAllocator allocator) {
  g_allocator.store(allocator ? allocator : &defaultAllocator, std::memory_order_relaxed);
}

ILogImpl::ILogImpl() {
  // One chunk to write to and one to swap in at the first flush.
  head_ = tail_ = newChunk();
  chunks_ = 1;
  try {
    spare_ = newChunk();
    spareCount_ = 1;
  } catch (...) {
    freeChunks(head_);
    throw;
  }
}

ILogImpl::~ILogImpl() {
  freeChunks(head_);
  freeChunks(spare_);
}

LogChunk* ILogImpl::chunkForLine() {
  if (tail_ && kChunkBytes - tail_->used >= kLineRoom) return tail_;
  LogChunk* chunk = spare_;
  if (!chunk) return nullptr;
  spare_ = chunk->next;
  --spareCount_;
  chunk->next = nullptr;
  chunk->used = 0;
  chunk->text[0] = '\0';
  if (tail_) {
    tail_->next = chunk;
  } else {
    head_ = chunk;
  }
  tail_ = chunk;
  ++chunks_;
  return chunk;
}

void ILogImpl::addSpare(LogChunk* chunk) {
  chunk->next = spare_;
  spare_ = chunk;
  ++spareCount_;
}

ILogImpl::LineWriter::LineWriter(ILogImpl& out) : lock_(out.lock_), out_(out) {
  while (!(chunk_ = out_.chunkForLine())) {
    // Other writers and the flush go on while this one makes a chunk. When
    // that throws, the lock is not held and nothing has changed.
    lock_.unlock();
    LogChunk* fresh = newChunk();
    lock_.lock();
    out_.addSpare(fresh);
  }
  askForChunks_ = out_.spareCount_ < kSpareLow && out_.refillSignal_ &&
                  !out_.refillAsked_.exchange(true, std::memory_order_relaxed);
}

ILogImpl::LineWriter::~LineWriter() {
  if (!askForChunks_) return;
  lock_.unlock();  // the flush thread takes it to add the chunks
  out_.refillSignal_->post();
}

void ILogImpl::refillSpares() noexcept {
  if (!refillAsked_.exchange(false, std::memory_order_relaxed)) return;
  int32_t missing;
  {
    std::lock_guard<base::Mutex> guard(lock_);
    missing = kSpareTarget - spareCount_;
  }
  LogChunk* made = nullptr;
  LogChunk* last = nullptr;
  int32_t count = 0;
  try {
    for (; count < missing; ++count) {
      LogChunk* chunk = newChunk();
      chunk->next = made;
      made = chunk;
      if (!last) last = chunk;
    }
  } catch (...) {
    // Writers make their own chunk when none is spare.
  }
  if (!made) return;
  std::lock_guard<base::Mutex> guard(lock_);
  last->next = spare_;
  spare_ = made;
  spareCount_ += count;
}

void ILogImpl::LineWriter::commit(int32_t length) {
  chunk_->used += length;
  if (chunk_->used < kChunkBytes) chunk_->text[chunk_->used] = '\0';
  out_.pending_ += length;
}

bool ILogImpl::flush(bool force, uint32_t nowMs) {
  std::lock_guard<base::Mutex> serial(flushLock_);
  LogChunk* first;
  {
    std::lock_guard<base::Mutex> guard(lock_);
    beforeFlush();
    if (pending_ == 0 || (!force && !shouldFlush(nowMs))) return false;
    first = head_;
    head_ = tail_ = nullptr;
    chunks_ = 0;
    pending_ = 0;
    if (spare_) {
      // The next lines go into a kept chunk: steady logging allocates nothing.
      head_ = tail_ = spare_;
      spare_ = spare_->next;
      --spareCount_;
      head_->next = nullptr;
      head_->used = 0;
      head_->text[0] = '\0';
      chunks_ = 1;
    }
  }
  // Each chunk is kept for reuse as soon as it is written, and spares are
  // made between chunks when a writer asked: a long write-out does not
  // leave the writers without chunks.
  LogChunk* c = first;
  try {
    while (c) {
      LogChunk* next = c->next;
      if (c->used > 0) write(c->text, static_cast<size_t>(c->used));
      c->next = nullptr;
      recycle(c);
      c = next;
      refillSpares();
    }
  } catch (...) {
    recycle(c);
    throw;
  }
  return true;
}

void ILogImpl::recycle(LogChunk* first) {
  if (!first) return;
  LogChunk* last = first;
  int32_t count = 1;
  for (; last->next; last = last->next) ++count;
  // Only flushes add written chunks and they run one at a time; a refill at
  // the same moment adds at most kSpareTarget more.
  int32_t room;
  {
    std::lock_guard<base::Mutex> guard(lock_);
    room = kSpareChunks - spareCount_;
  }
  if (room <= 0) {
    freeChunks(first);
    return;
  }
  if (count > room) {
    // Keep the first `room` chunks; free the rest outside the lock.
    LogChunk* keepLast = first;
    for (int32_t i = 1; i < room; ++i) keepLast = keepLast->next;
    freeChunks(keepLast->next);
    keepLast->next = nullptr;
    last = keepLast;
    count = room;
  }
  std::lock_guard<base::Mutex> guard(lock_);
  last->next = spare_;
  spare_ = first;
  spareCount_ += count;
}

int32_t ILogImpl::pending() {
  std::lock_guard<base::Mutex> guard(lock_);
  return pending_;
}

int32_t ILogImpl::activeCapacity() {
  std::lock_guard<base::Mutex> guard(lock_);
  return chunks_ * kChunkBytes;
}

bool ILogImpl::lockIsFree() {
  if (!lock_.try_lock()) return false;
  lock_.unlock();
  return true;
}

void StdoutLog::write(const char* bytes, size_t length) { base::writeStdout(bytes, length); }

FileLog::FileLog(const std::u16string& path, bool keepOldFile)
    : path_(path.empty() ? u"log.txt" : path), keepOldFile_(keepOldFile) {
  if (!createDirectories()) return;
  if (base::fileExists(path_)) {
    if (keepOldFile_) {
      // A restart within the same second would overwrite (or fail to move to)
      // the name kept a moment ago and the old text would be lost: take the
      // next free number instead.
      uint32_t seconds = static_cast<uint32_t>(base::wallSeconds());
      std::u16string kept = keptName(seconds);
      for (uint32_t k = 1; k < 1000 && base::fileExists(kept); ++k) kept = keptName(seconds + k);
      base::moveFile(path_, kept);
    } else {
      base::removeFile(path_);
    }
  }
  fd_ = base::openTruncate(path_);
}

FileLog::~FileLog() {
  // Last chance for lines still waiting for the file.
  if (!backlog_.empty() || lost_ > 0) drain(base::tickMs(), true);
  if (fd_ >= 0) base::closeFile(fd_);
}

bool FileLog::createDirectories() {
  size_t sep = path_.find_last_of(u"/\\");
  if (sep == std::u16string::npos || sep == 0) return true;
  std::u16string dir = path_.substr(0, sep);
  // A drive alone ("C:") or the root of a share needs nothing made.
  if (dir.size() == 2 && dir[1] == u':') return true;
  return base::makeDirectories(dir) || base::isDirectory(dir);
}

std::u16string FileLog::backupName() const {
  std::u16string stem, ext;
  splitStemExtension(path_, stem, ext);
  return stem + u"_1.log";
}

std::u16string FileLog::keptName(uint32_t seconds) const {
  std::u16string stem, ext;
  splitStemExtension(path_, stem, ext);
  std::u16string name = stem + u"_" + asciiToUtf16(std::to_string(seconds));
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

namespace {
const char* const kCannotWrite = "the log file could not be written";
const char* const kCannotOpen = "the log file could not be opened";

uint64_t countLines(const char* text, size_t length) {
  uint64_t n = 0;
  for (size_t i = 0; i < length; ++i) n += text[i] == '\n';
  return n;
}
}  // namespace

void FileLog::write(const char* bytes, size_t length) {
  const uint32_t now = base::tickMs();
  checkFile(now);
  // Lines end with CR LF on disk on every platform.
  while (length > 0) {
    const size_t take = length < static_cast<size_t>(kChunkBytes) ? length : static_cast<size_t>(kChunkBytes);
    char* out = crlf_;
    for (size_t i = 0; i < take; ++i) {
      if (bytes[i] == '\n') *out++ = '\r';
      *out++ = bytes[i];
    }
    deliver(crlf_, static_cast<size_t>(out - crlf_), now);
    bytes += take;
    length -= take;
  }
  if (fd_ >= 0) rotateIfFull();
}

void FileLog::checkFile(uint32_t nowMs) {
  if (fd_ >= 0) {
    // Asking the system costs a lookup by path: an output written line by
    // line asks a few times a second at most.
    if (identityChecked_ && static_cast<uint32_t>(nowMs - lastIdentityCheck_) < kIdentityCheckMs) return;
    identityChecked_ = true;
    lastIdentityCheck_ = nowMs;
    if (base::pathNamesFile(path_, fd_)) return;
    // Removed or renamed under us (also with its folder): writing on would
    // go into a file nobody can find.
    base::closeFile(fd_);
    fd_ = -1;
    waiting_ = false;
    freshLine_ = false;
  }
  if (waiting_ && static_cast<int32_t>(nowMs - retryAt_) < 0) return;
  if (createDirectories()) fd_ = base::openAppend(path_);
  if (fd_ < 0) {
    failed(nowMs, kCannotOpen);
    return;
  }
  // What is there already was written by us, cut back to whole lines.
  waiting_ = false;
  freshLine_ = false;
}

void FileLog::deliver(const char* text, size_t length, uint32_t nowMs) {
  if (!backlog_.empty() || lost_ > 0 || fd_ < 0) {
    // A file that failed is tried again only every kRetryMs: on a full disk
    // a logging thread must not pay for a failing write with every line.
    const bool due = !waiting_ || static_cast<int32_t>(nowMs - retryAt_) >= 0;
    if (!due || !drain(nowMs, false)) {
      keep(text, length);
      return;
    }
  }
  const size_t done = writeLines(text, length);
  if (done < length) {
    keep(text + done, length - done);
    failed(nowMs, kCannotWrite);
  }
}

size_t FileLog::writeLines(const char* text, size_t length) {
  if (freshLine_) {
    if (!base::writeAll(fd_, "\r\n", 2)) return 0;
    freshLine_ = false;
  }
  uint64_t before = 0;
  const bool sized = base::fileSize(fd_, before);
  const size_t done = base::writePart(fd_, text, length);
  if (done == length) return length;
  size_t whole = done;
  while (whole > 0 && text[whole - 1] != '\n') --whole;
  // The file, not the count, says what went down: a write that failed may
  // still have put part of its text there.
  uint64_t after = 0;
  if (!sized || !base::fileSize(fd_, after) || after != before + whole) {
    if (!sized || !base::truncateFile(fd_, before + whole)) freshLine_ = true;
  }
  return whole;
}

size_t FileLog::lossReport(char* line, size_t room) const {
  char stamp[20];
  currentTimestamp(stamp);
  const int n = snprintf(line, room, "[%s] log (Error): %llu lines lost: %s\r\n", stamp,
                         static_cast<unsigned long long>(lost_), lostReason_);
  return n < 0 ? 0 : (static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1);
}

void FileLog::keep(const char* text, size_t length) {
  // The gap is reported where it is, before the lines that follow it.
  char report[160];
  const size_t reportLength = lost_ > 0 ? lossReport(report, sizeof report) : 0;
  if (backlog_.size() + reportLength + length > kBacklogBytes) {
    lost_ += countLines(text, length);
    return;
  }
  backlog_.append(report, reportLength);
  lost_ = 0;
  backlog_.append(text, length);
}

bool FileLog::drain(uint32_t nowMs, bool force) {
  if (fd_ < 0) {
    if (force) waiting_ = false;
    checkFile(nowMs);
    if (fd_ < 0) return false;
  }
  if (!backlog_.empty()) {
    const size_t done = writeLines(backlog_.data(), backlog_.size());
    backlog_.erase(0, done);
    if (!backlog_.empty()) {
      failed(nowMs, kCannotWrite);
      return false;
    }
  }
  if (lost_ > 0) {
    char report[160];
    const size_t reportLength = lossReport(report, sizeof report);
    if (writeLines(report, reportLength) < reportLength) {
      failed(nowMs, kCannotWrite);
      return false;
    }
    lost_ = 0;
  }
  waiting_ = false;
  return true;
}

void FileLog::failed(uint32_t nowMs, const char* reason) {
  waiting_ = true;
  retryAt_ = nowMs + kRetryMs;
  lostReason_ = reason;
}

void FileLog::rotateIfFull() {
  uint64_t size = 0;
  if (!base::fileSize(fd_, size) || size < kRotateSize) return;
  std::u16string backup = backupName();
  if (base::fileExists(backup) && !base::removeFile(backup)) return;
  base::closeFile(fd_);
  fd_ = -1;
  if (base::fileExists(path_)) base::moveFile(path_, backup);
  fd_ = base::openTruncate(path_);
  freshLine_ = false;
  if (fd_ < 0) failed(base::tickMs(), kCannotOpen);
}

}  // namespace vexolib::log
