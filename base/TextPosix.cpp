// The ANSI code page on the host: Windows-1252, what a Western Windows uses,
// so conversions keep and lose the same characters as on such a system.
#include "Text.h"

#include <cstdint>

namespace vekt::base {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t cp1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) {
    const char16_t mapped = kCp1252High[byte - 0x80];
    return mapped ? mapped : byte;  // unassigned bytes map to the C1 controls, as Windows does
  }
  return byte;
}

char unicodeToCp1252(char16_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';  // the code page's default character
}

}  // namespace

std::u16string ansiToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(cp1252ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::string utf16ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    // A surrogate pair is one character the code page lacks: one '?'.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
    out.push_back(unicodeToCp1252(c));
  }
  return out;
}

}  // namespace vekt::base
