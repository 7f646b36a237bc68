// Minimal checks for the Windows test hosts run under Wine: print each failure,
// close with "N passed, N failed" and exit non-zero when anything failed.
#pragma once
#include <cstdio>

namespace wincheck {
inline int& passed() {
  static int n = 0;
  return n;
}
inline int& failed() {
  static int n = 0;
  return n;
}
inline bool record(bool ok, const char* expr, const char* file, int line) {
  if (ok) {
    ++passed();
  } else {
    ++failed();
    std::printf("FAILED %s:%d: %s\n", file, line, expr);
    std::fflush(stdout);
  }
  return ok;
}
inline int summary() {
  std::printf("%d passed, %d failed\n", passed(), failed());
  std::fflush(stdout);
  return failed() == 0 ? 0 : 1;
}
}  // namespace wincheck

#define WCHECK(expr) ::wincheck::record(static_cast<bool>(expr), #expr, __FILE__, __LINE__)
#define WCHECK_EQ(a, b) ::wincheck::record((a) == (b), #a " == " #b, __FILE__, __LINE__)
