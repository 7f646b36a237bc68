// Message framing of a connection: a 4-byte little-endian signed length, then
// the payload; the socket policy-file request and its answer. Portable, so the
// decoder is tested and fuzzed without sockets.
#pragma once
#include <cstdint>

#include "MsgMem.h"

namespace vexolib::net {

constexpr int32_t kMaxMessageLength = 1048576;
constexpr int kPolicyRequestSize = 23;  // "<policy-file-request/>" and its NUL
constexpr int kPolicyAnswerSize = 89;   // the answer and its NUL, sent without a length
extern const char kPolicyRequest[kPolicyRequestSize];
extern const char kPolicyAnswer[kPolicyAnswerSize];

// A growable MsgMem block: framed bytes waiting to be sent.
struct OutBuffer {
  char* data = nullptr;
  int32_t capacity = 0;
  int32_t length = 0;

  bool init(int32_t cap);
  void free();
  // Makes room for length + extra bytes, growing by 1.5; false when that
  // cannot be had (too large or no memory), the buffer then is unchanged.
  bool reserve(int64_t extra);
  bool appendFrame(const void* payload, int32_t size);
  bool appendRaw(const void* bytes, int32_t size);
};

// What the decoder reports while it walks a receive chunk.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // A whole message; the MsgMem block now belongs to the sink.
  virtual void onMessage(char* block, int32_t length) = 0;
  // The chunk began with the policy-file request.
  virtual void onPolicyRequest() = 0;
};

// Receive state of one connection.
class FrameDecoder {
 public:
  enum class Result { Ok, BadHeader, NoMemory };
  explicit FrameDecoder(int32_t maxMessageLength = kMaxMessageLength) : maxLength_(maxMessageLength) {}
  ~FrameDecoder() { reset(); }
  FrameDecoder(const FrameDecoder&) = delete;
  FrameDecoder& operator=(const FrameDecoder&) = delete;

  // Walks one receive chunk. Stops at a header that is neither a valid
  // length nor the policy-file request, or when no buffer can be had.
  Result feed(const char* chunk, int32_t size, FrameSink& sink);
  // Returns a partly received message buffer to MsgMem.
  void reset();

  int32_t position() const { return position_; }
  // Bytes held for the message being received: they grow with what has
  // arrived (at most the size class of twice that), never with what its
  // header announces.
  int32_t held() const { return capacity_ ? msgmempool::MsgMemPool::blockBytes(capacity_) : 0; }
  // The first buffer of a message that does not arrive whole in one chunk.
  static constexpr int32_t kFirstStep = 2048;

 private:
  // Forgets the current length and waits for the next 4 header bytes.
  void expectHeader() {
    length_ = 0;
    position_ = -4;
  }

  // Makes room for at least needed bytes of the current message.
  bool grow(int32_t needed);

  char* buffer_ = nullptr;
  int32_t capacity_ = 0;
  int32_t length_ = 0;
  int32_t position_ = -4;
  unsigned char header_[4] = {};
  int32_t maxLength_;
};

}  // namespace vexolib::net
