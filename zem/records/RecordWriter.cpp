#include "RecordWriter.h"

namespace zem {

void RecordWriter::setKey(const char* key) {
  binary_ = key != nullptr;
  if (key)
    key_ = key;
  else
    key_.clear();
}

void RecordWriter::writeHeader(FILE* f) const {
  const unsigned char head[2] = {0x42, sizeof(uintptr_t) == 4 ? 0x01 : 0x02};
  std::fwrite(head, 1, 2, f);
}

void RecordWriter::writeRecord(FILE* f, uintptr_t id, const char* name, size_t len) {
  if (len > 0xffff) len = 0xffff;  // the length field is 16 bits: never write more than it says
  unsigned char head[sizeof(uintptr_t) + 2];
  uint64_t v = id;
  for (size_t i = 0; i < sizeof(uintptr_t); ++i) head[i] = static_cast<unsigned char>(v >> (8 * i));
  head[sizeof(uintptr_t)] = static_cast<unsigned char>(len & 0xff);
  head[sizeof(uintptr_t) + 1] = static_cast<unsigned char>(len >> 8);
  std::fwrite(head, 1, sizeof head, f);
  buf_.assign(name, len);
  scramble(buf_);
  std::fwrite(buf_.data(), 1, len, f);
}

void RecordWriter::scramble(std::string& bytes) const {
  if (!key_.empty())
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= key_[i % key_.size()];
}

void closeFile(FILE*& f, int& rc) {
  if (f) {
    rc = std::fclose(f);
    f = nullptr;
  }
}

void reopenTruncatedAppend(FILE*& f, const char* path) {
  int rc = 0;
  closeFile(f, rc);
  if (!path || !*path) return;
  FILE* t = std::fopen(path, "wb");
  if (!t) return;
  std::fclose(t);
  f = std::fopen(path, "ab");
}

}  // namespace zem
