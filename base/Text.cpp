// Portable half of the text conversion: UTF-8, UTF-16 and wchar_t.
#include "Text.h"

#include <cstdint>

namespace vekt::base {

std::u16string utf8ToUtf16(const char* text, size_t length) {
  std::u16string out;
  out.reserve(length);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    const unsigned char c = s[i];
    uint32_t cp = 0;
    size_t extra = 0;
    uint32_t min = 0;
    if (c < 0x80) {
      out.push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
      min = 0x10000;
    } else {
      out.push_back(u'\xFFFD');
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= extra; ++j) {
      if (i + j >= length || (s[i + j] & 0xC0) != 0x80) break;
      cp = (cp << 6) | (s[i + j] & 0x3F);
    }
    if (j <= extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(u'\xFFFD');
      i += j;  // the lead byte and the continuation bytes that were valid
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::u16string utf8ToUtf16(std::string_view text) { return utf8ToUtf16(text.data(), text.size()); }

namespace {
bool isHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The code point at text[i], joining a surrogate pair (i moves past it).
template <class Unit>
uint32_t nextCodePoint(const Unit* text, size_t size, size_t& i) {
  uint32_t cp = static_cast<uint32_t>(text[i]);
  if (isHigh(cp) && i + 1 < size && isLow(static_cast<uint32_t>(text[i + 1]))) {
    cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
    ++i;
  } else if (cp >= 0xD800 && cp <= 0xDFFF) {
    cp = 0xFFFD;
  }
  ++i;
  return cp;
}
}  // namespace

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const uint32_t cp = nextCodePoint(text.data(), text.size(), i);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string asciiToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

std::wstring utf16ToWide(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  if constexpr (sizeof(wchar_t) == 2) {
    for (char16_t c : text) out.push_back(static_cast<wchar_t>(c));
  } else {
    for (size_t i = 0; i < text.size();)
      out.push_back(static_cast<wchar_t>(nextCodePoint(text.data(), text.size(), i)));
  }
  return out;
}

std::u16string wideToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    const uint32_t cp = static_cast<uint32_t>(wc);
    if (sizeof(wchar_t) == 2 || cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else if (cp <= 0x10FFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(u'\xFFFD');
    }
  }
  return out;
}

}  // namespace vekt::base
