// Writing side of the output files: the binary record form (scrambled with
// the session's key) and the per-frame files opened "truncated, then append".
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zem {

// One output file, whole or absent record by record. Text is collected in
// memory and written at flush(); a write the disk stops part-way is cut back
// to where that flush began, so the file always ends with whole lines and
// records. What could not be written is dropped (frame data: that frame is
// missing) or, for identifier files, kept and written at the next flush, so a
// name or header counts as written only once it is on disk.
class OutFile {
 public:
  OutFile() = default;
  ~OutFile();
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  // Opens path with the C runtime's mode ("wb", "ab", "w"); false when it cannot.
  bool open(const char* path, const char* mode, bool keepUnwritten = false);
  bool isOpen() const { return f_ != nullptr; }
  explicit operator bool() const { return f_ != nullptr; }

#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  void print(const char* format, ...);
  void append(const char* data, size_t size);
  // Writes what was collected; false when the disk did not take all of it.
  bool flush();
  // Flushes and closes; rc becomes 0, or EOF when anything failed to be saved
  // while the file was open (or the close failed).
  void close(int& rc);
  // Whether anything failed to be saved since the file was opened.
  bool failed() const { return failed_; }

 private:
  FILE* f_ = nullptr;
  bool keep_ = false;
  bool failed_ = false;
  std::string pending_;
};

class RecordWriter {
 public:
  // A key switches the binary form on for files opened and records written
  // afterwards; null switches it off.
  void setKey(const char* key);
  bool binary() const { return binary_; }
  // The two header bytes of a binary file: 0x42, then the identifier width.
  void writeHeader(OutFile& f) const;
  // One record: identifier, 16-bit name length, then the (scrambled) name.
  void writeRecord(OutFile& f, uintptr_t id, const char* name, size_t len);
  // Scrambles bytes with the key the way record names are.
  void scramble(std::string& bytes) const;

 private:
  bool binary_ = false;
  std::string key_;
  std::string buf_;
};

// Closes f when open; rc becomes EOF when something of f was not saved, and
// keeps an earlier EOF, so one result tells about several files.
inline void closeFile(OutFile& f, int& rc) {
  if (!f.isOpen()) return;
  int closed = 0;
  f.close(closed);
  if (closed != 0) rc = closed;
}
// Closes f; a non-empty path is emptied and then kept open for appending.
void reopenTruncatedAppend(OutFile& f, const char* path);

}  // namespace zem
