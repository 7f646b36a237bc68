// Writing side of the output files: the binary record form (scrambled with
// the session's key) and the per-frame files opened "truncated, then append".
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zem {

class RecordWriter {
 public:
  // A key switches the binary form on for files opened and records written
  // afterwards; null switches it off.
  void setKey(const char* key);
  bool binary() const { return binary_; }
  // The two header bytes of a binary file: 0x42, then the identifier width.
  void writeHeader(FILE* f) const;
  // One record: identifier, 16-bit name length, then the (scrambled) name.
  void writeRecord(FILE* f, uintptr_t id, const char* name, size_t len);
  // Scrambles bytes with the key the way record names are.
  void scramble(std::string& bytes) const;

 private:
  bool binary_ = false;
  std::string key_;
  std::string buf_;
};

// Closes f when open and keeps the close's result in rc.
void closeFile(FILE*& f, int& rc);
// Closes f; a non-empty path is emptied and then kept open for appending.
void reopenTruncatedAppend(FILE*& f, const char* path);

}  // namespace zem
