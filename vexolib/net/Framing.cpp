#include "Framing.h"

#include <algorithm>
#include <cstring>

#include "MsgMem.h"

namespace vexolib::net {

const char kPolicyRequest[kPolicyRequestSize] = "<policy-file-request/>";
const char kPolicyAnswer[kPolicyAnswerSize] =
    "<cross-domain-policy><allow-access-from domain=\"*\" to-ports=\"*\" /></cross-domain-policy>";

namespace {
msgmempool::MsgMemPool& msgMem() { return msgmempool::instance(); }
}  // namespace

bool OutBuffer::init(int32_t cap) {
  data = static_cast<char*>(msgMem().allocate(cap));
  capacity = data ? cap : 0;
  length = 0;
  return data != nullptr;
}

void OutBuffer::free() {
  msgMem().release(data);
  data = nullptr;
  capacity = 0;
  length = 0;
}

bool OutBuffer::reserve(int64_t extra) {
  if (extra < 0) return false;
  const int64_t needed = static_cast<int64_t>(length) + extra;
  if (needed > INT32_MAX) return false;
  if (needed <= capacity && data) return true;
  int64_t cap = capacity > 0 ? capacity : 16;
  while (cap < needed) cap = cap * 3 / 2;
  if (cap > INT32_MAX) cap = INT32_MAX;
  char* grown = static_cast<char*>(msgMem().allocate(static_cast<int32_t>(cap)));
  if (!grown) return false;
  if (length > 0) std::memcpy(grown, data, static_cast<size_t>(length));
  msgMem().release(data);
  data = grown;
  capacity = static_cast<int32_t>(cap);
  return true;
}

bool OutBuffer::appendFrame(const void* payload, int32_t size) {
  if (size < 0 || !reserve(int64_t{4} + size)) return false;
  const uint32_t n = static_cast<uint32_t>(size);
  const unsigned char header[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                   static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
  std::memcpy(data + length, header, 4);
  if (size > 0) std::memcpy(data + length + 4, payload, static_cast<size_t>(size));
  length += 4 + size;
  return true;
}

bool OutBuffer::appendRaw(const void* bytes, int32_t size) {
  if (size < 0 || !reserve(size)) return false;
  std::memcpy(data + length, bytes, static_cast<size_t>(size));
  length += size;
  return true;
}

void FrameDecoder::reset() {
  msgMem().release(buffer_);
  buffer_ = nullptr;
  capacity_ = 0;
  expectHeader();
}

// A header alone takes nothing; the buffer then doubles as bytes arrive, so
// a peer that announces 1 MiB and sends a few bytes holds a few KiB.
bool FrameDecoder::grow(int32_t needed) {
  if (buffer_ && needed <= capacity_) return true;
  // Take the whole size class the block comes from: it is held either way.
  int64_t cap = std::max<int64_t>({needed, int64_t{capacity_} * 2, kFirstStep});
  if (cap <= length_) cap = msgmempool::MsgMemPool::blockBytes(static_cast<int32_t>(cap));
  if (cap > length_) cap = length_;
  char* bigger = static_cast<char*>(msgMem().allocate(static_cast<int32_t>(cap)));
  if (!bigger) return false;
  if (position_ > 0) std::memcpy(bigger, buffer_, static_cast<size_t>(position_));
  msgMem().release(buffer_);
  buffer_ = bigger;
  capacity_ = static_cast<int32_t>(cap);
  return true;
}

FrameDecoder::Result FrameDecoder::feed(const char* chunk, int32_t size, FrameSink& sink) {
  int32_t at = 0;
  while (at < size) {
    if (position_ < 0) {
      int32_t take = -position_;
      if (take > size - at) take = size - at;
      std::memcpy(header_ + 4 + position_, chunk + at, static_cast<size_t>(take));
      position_ += take;
      at += take;
      if (position_ < 0) return Result::Ok;
      length_ = static_cast<int32_t>(static_cast<uint32_t>(header_[0]) | static_cast<uint32_t>(header_[1]) << 8 |
                                     static_cast<uint32_t>(header_[2]) << 16 | static_cast<uint32_t>(header_[3]) << 24);
      if (length_ < 0 || length_ > maxLength_) {
        // The request is answered once, when it is read: a header that
        // ends inside the chunk's first 23 bytes. Headers read after it
        // cannot make the same request count again.
        if (at <= kPolicyRequestSize && size >= kPolicyRequestSize &&
            std::memcmp(chunk, kPolicyRequest, kPolicyRequestSize) == 0) {
          sink.onPolicyRequest();
          at = kPolicyRequestSize;  // the request fills the chunk's first 23 bytes
          expectHeader();
          continue;
        }
        expectHeader();
        return Result::BadHeader;
      }
    }
    int32_t take = length_ - position_;
    if (take > size - at) take = size - at;
    // An empty message still gets a block; a header alone gets none yet.
    if ((take > 0 || length_ == 0) && !grow(position_ + take)) {
      reset();
      return Result::NoMemory;
    }
    if (take > 0) {
      std::memcpy(buffer_ + position_, chunk + at, static_cast<size_t>(take));
      position_ += take;
      at += take;
    }
    if (position_ < length_) return Result::Ok;
    char* whole = buffer_;
    const int32_t length = length_;
    buffer_ = nullptr;
    capacity_ = 0;
    expectHeader();
    sink.onMessage(whole, length);
  }
  return Result::Ok;
}

}  // namespace vexolib::net
