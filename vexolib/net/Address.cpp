// Dotted IPv4 text, the same on every platform.
#include <cstdio>

#include "SocketCalls.h"

namespace vexolib::net::sock {

bool parseDotted(const char* text, uint32_t* ipHost) {
  if (!text) return false;
  uint32_t ip = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *p++ != '.') return false;
    int digits = 0;
    uint32_t value = 0;
    while (*p >= '0' && *p <= '9' && digits < 4) {
      value = value * 10 + static_cast<uint32_t>(*p++ - '0');
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    ip = ip << 8 | value;
  }
  if (*p != '\0') return false;
  if (ipHost) *ipHost = ip;
  return true;
}

const char* dotted(uint32_t ipHost) {
  thread_local char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", ipHost >> 24, (ipHost >> 16) & 0xFF, (ipHost >> 8) & 0xFF,
                ipHost & 0xFF);
  return text;
}

}  // namespace vexolib::net::sock
