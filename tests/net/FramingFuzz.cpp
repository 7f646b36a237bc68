// Arbitrary byte streams through the receive decoder, cut into chunks whose
// sizes come from the input too; delivered messages must be whole frames, and
// a message still arriving holds at most the size class of twice what arrived
// (nothing for a header alone), whatever its header announced.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>

#include "Framing.h"
#include "MsgMem.h"

namespace {
struct Check : vexolib::net::FrameSink {
  void onMessage(char* block, int32_t length) override {
    if (length < 0 || length > vexolib::net::kMaxMessageLength) __builtin_trap();
    if (length > 0) block[length - 1] ^= 1;  // the whole length must be writable
    vexolib::net::msgmempool::instance().release(block);
  }
  void onPolicyRequest() override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t piece = data[0] % 64 + 1;
  ++data;
  --size;
  vexolib::net::FrameDecoder decoder;
  Check sink;
  for (size_t at = 0; at < size; at += piece) {
    const size_t n = size - at < piece ? size - at : piece;
    if (decoder.feed(reinterpret_cast<const char*>(data + at), static_cast<int32_t>(n), sink) !=
        vexolib::net::FrameDecoder::Result::Ok)
      break;
    const int32_t position = decoder.position();
    const int32_t allowed = position < 0 ? 0
                                         : vexolib::net::msgmempool::MsgMemPool::blockBytes(
                                               std::max(2 * position, vexolib::net::FrameDecoder::kFirstStep));
    if (decoder.held() > allowed) __builtin_trap();
  }
  return 0;
}
