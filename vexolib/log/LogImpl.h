// Log outputs: lines are appended to an active memory buffer under the output's
// lock; a flush swaps it with the spare buffer and hands the text to the
// destination outside that lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vexolib::log {

constexpr int32_t kLineRoom = 4096;     // free bytes guaranteed by reserve()
constexpr int32_t kBufferStep = 8192;   // buffers start at and grow by this
constexpr uint64_t kRotateSize = 1048576;
constexpr int32_t kFlushPending = 2048;
constexpr uint32_t kFlushAgeMs = 1000;

class ILogImpl {
 public:
  ILogImpl();
  virtual ~ILogImpl();
  ILogImpl(const ILogImpl&) = delete;
  ILogImpl& operator=(const ILogImpl&) = delete;

  virtual std::u16string target() const = 0;
  virtual void write(const char* bytes, size_t length) = 0;
  virtual void beforeFlush() {}
  virtual bool shouldFlush(uint32_t /*nowMs*/) { return true; }

  // Locks the output and returns where the next line starts, with at least
  // kLineRoom free bytes. commit() adds the line's length and unlocks.
  char* reserve();
  void commit(int32_t length);

  // Swaps and writes out pending text; false when nothing was written.
  // Flushes of one output run one at a time.
  bool flush(bool force, uint32_t nowMs);

  bool immediate = false;

  // For tests: pending bytes and buffer sizes (takes the lock).
  int32_t pending();
  int32_t activeCapacity();

 protected:
  // Pending bytes for shouldFlush(), which runs under the lock.
  int32_t pendingUnlocked() const { return used_; }

 private:
  std::vector<char> active_;
  int32_t used_ = 0;
  std::mutex lock_;
  std::vector<char> spare_;
  std::mutex flushLock_;  // keeps one flush's write apart from the next swap
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

  int fd_ = -1;
  std::u16string path_;
  bool keepOldFile_;
  uint32_t lastFlush_ = 0;
  std::vector<char> crlf_;  // used only inside write(), which flushes serialise
};

}  // namespace vexolib::log
