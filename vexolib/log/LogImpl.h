// Log outputs: lines are appended to a list of fixed-size chunks under the
// output's lock; a flush detaches the list and hands the chunks, in order, to
// the destination outside that lock, then keeps them for reuse. Growing never
// copies what is already there, so no logging call waits for a large copy.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/Mutex.h"
#include "base/Semaphore.h"

namespace vexolib::log {

constexpr int32_t kLineRoom = 4096;     // free bytes a line writer guarantees
constexpr int32_t kChunkBytes = 32768;  // text in one chunk: a new one every few hundred lines
constexpr int32_t kSpareChunks = 128;   // written chunks kept for reuse per output (4 MiB)
constexpr int32_t kSpareLow = 16;       // fewer spare chunks than this: ask for more
constexpr int32_t kSpareTarget = 64;    // what the flush thread fills the spares up to
constexpr uint64_t kRotateSize = 1048576;
constexpr int32_t kFlushPending = 2048;
constexpr uint32_t kFlushAgeMs = 1000;
constexpr uint32_t kRetryMs = 1000;          // a file that failed is tried again at most this often
constexpr size_t kBacklogBytes = 262144;     // lines kept while the file cannot take them
constexpr uint32_t kIdentityCheckMs = 100;   // how often the path is checked to name the open file

struct LogChunk {
  LogChunk* next = nullptr;
  int32_t used = 0;
  char text[kChunkBytes];
};

// Where chunks come from: ::operator new unless a test puts in one that
// fails. Null restores the default. Chunks are freed with ::operator delete.
// A writer that needs a chunk makes it without holding the output's lock.
using ChunkAllocator = void* (*)(size_t bytes);
void setChunkAllocator(ChunkAllocator allocator);

class ILogImpl {
 public:
  ILogImpl();  // throws std::bad_alloc when its first chunk cannot be had
  virtual ~ILogImpl();
  ILogImpl(const ILogImpl&) = delete;
  ILogImpl& operator=(const ILogImpl&) = delete;

  virtual std::u16string target() const = 0;
  // Receives pending text in order, one chunk at a time.
  virtual void write(const char* bytes, size_t length) = 0;
  virtual void beforeFlush() {}
  virtual bool shouldFlush(uint32_t /*nowMs*/) { return true; }

  // Holds the output's lock from construction to destruction: the line goes
  // into room() and counts once commit() is called. An exception anywhere in
  // between (also from the constructor, when no chunk can be had) releases
  // the lock and leaves the output as it was.
  class LineWriter {
   public:
    explicit LineWriter(ILogImpl& out);
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;
    // At least kLineRoom free bytes.
    char* room() const { return chunk_->text + chunk_->used; }
    void commit(int32_t length);

   private:
    std::unique_lock<vekt::base::Mutex> lock_;
    ILogImpl& out_;
    LogChunk* chunk_ = nullptr;
    bool askForChunks_ = false;
  };

  // Writes out pending text; false when nothing was written.
  // Flushes of one output run one at a time.
  bool flush(bool force, uint32_t nowMs);

  bool immediate = false;

  // A writer that finds few spare chunks posts this (once until the next
  // refill), so the flush thread makes chunks before a writer has to.
  void setRefillSignal(vekt::base::Semaphore* signal) { refillSignal_ = signal; }
  // Fills the spare chunks up to kSpareTarget when a writer asked for it.
  // Allocation failures leave fewer spares; never throws.
  void refillSpares() noexcept;

  // For tests: pending bytes, room of the pending chunks, whether the lock is free.
  int32_t pending();
  int32_t activeCapacity();
  bool lockIsFree();

 protected:
  // Pending bytes for shouldFlush(), which runs under the lock.
  int32_t pendingUnlocked() const { return pending_; }

 private:
  // The chunk the next line goes into, with kLineRoom free; null when that
  // needs a new chunk. Under the lock.
  LogChunk* chunkForLine();
  void addSpare(LogChunk* chunk);
  // Keeps a written list of chunks for reuse, up to kSpareChunks; frees the rest.
  void recycle(LogChunk* first);

  vekt::base::Mutex lock_;
  LogChunk* head_ = nullptr;  // pending chunks, oldest first
  LogChunk* tail_ = nullptr;
  int32_t chunks_ = 0;
  int32_t pending_ = 0;
  LogChunk* spare_ = nullptr;  // written chunks for reuse
  int32_t spareCount_ = 0;
  vekt::base::Semaphore* refillSignal_ = nullptr;
  std::atomic<bool> refillAsked_{false};
  vekt::base::Mutex flushLock_;  // keeps one flush's write apart from the next detach
};

class StdoutLog final : public ILogImpl {
 public:
  std::u16string target() const override { return u"1"; }
  void write(const char* bytes, size_t length) override;
};

class NulLog final : public ILogImpl {
 public:
  std::u16string target() const override { return u"0"; }
  void write(const char*, size_t) override {}
};

class FileLog final : public ILogImpl {
 public:
  explicit FileLog(const std::u16string& path = u"log.txt", bool keepOldFile = true);
  ~FileLog() override;

  std::u16string target() const override { return path_; }
  void write(const char* bytes, size_t length) override;
  bool shouldFlush(uint32_t nowMs) override;

  bool isOpen() const { return fd_ >= 0; }
  // Names derived from the path.
  std::u16string backupName() const;
  std::u16string keptName(uint32_t seconds) const;

 private:
  bool createDirectories();
  void rotateIfFull();
  // The file may have gone (its folder removed) or never opened: made again
  // when the path no longer names the open file, tried at most every kRetryMs.
  void checkFile(uint32_t nowMs);
  // Whole lines to the file; lines it cannot take now wait in the backlog
  // (or are counted as lost once that is full).
  void deliver(const char* text, size_t length, uint32_t nowMs);
  // Writes whole lines; a write that stops part-way is cut back to the last
  // whole line. The count of bytes that stayed in the file.
  size_t writeLines(const char* text, size_t length);
  void keep(const char* text, size_t length);
  // "[time] log (Error): N lines lost: reason" with CR LF; its length.
  size_t lossReport(char* line, size_t room) const;
  // Writes the backlog and the report of lost lines; false while the file cannot take them.
  bool drain(uint32_t nowMs, bool force);
  void failed(uint32_t nowMs, const char* reason);

  int fd_ = -1;
  std::u16string path_;
  bool keepOldFile_;
  uint32_t lastFlush_ = 0;
  uint32_t retryAt_ = 0;       // tick before which a failed file is left alone
  bool waiting_ = false;       // retryAt_ holds
  bool freshLine_ = false;     // a cut-back failed: the next text starts a new line
  bool identityChecked_ = false;
  uint32_t lastIdentityCheck_ = 0;
  std::string backlog_;        // CR LF text, whole lines, oldest first
  uint64_t lost_ = 0;          // lines dropped since the last report
  const char* lostReason_ = "";
  // Text with CR LF line ends, converted piece by piece: writing allocates nothing.
  char crlf_[2 * kChunkBytes];  // used only inside write(), which flushes serialise
};

}  // namespace vexolib::log
