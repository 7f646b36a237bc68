// Frames as the network manager's peers write them (a 4-byte little-endian
// length, then the payload) and the numbered flood frames of the flood tests.
// Plain bytes only, so the host tests, the Windows host and the benchmark share it.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

namespace nettest {

inline std::string lengthOnly(int32_t n) {
  const uint32_t u = static_cast<uint32_t>(n);
  return std::string{static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                     static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 24) & 0xFF)};
}

inline std::string frame(const std::string& payload) {
  return lengthOnly(static_cast<int32_t>(payload.size())) + payload;
}

inline std::string pattern(size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7) & 0xFF);
  return s;
}

// 8-byte flood frames: 'F', then a 32-bit sequence number, then padding.
inline std::string floodFrame(uint32_t seq) {
  std::string payload(8, '.');
  payload[0] = 'F';
  std::memcpy(&payload[1], &seq, 4);
  return frame(payload);
}

// Checks flood frames where they arrive, without storing them.
struct FloodCheck {
  uint32_t received = 0;
  int outOfOrder = 0;
  // False for a message that is not a flood frame.
  bool take(const uint8_t* data, int32_t length) {
    if (length != 8 || data[0] != 'F') return false;
    uint32_t seq;
    std::memcpy(&seq, data + 1, 4);
    outOfOrder += seq != received;
    ++received;
    return true;
  }
};

}  // namespace nettest
