#include "LogText.h"

namespace vexolib::log {

std::u16string utf8ToUtf16(const char* text, size_t length) {
  std::u16string out;
  out.reserve(length);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    unsigned char c = s[i];
    uint32_t cp = 0;
    size_t extra = 0;
    uint32_t min = 0;
    if (c < 0x80) {
      out.push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F; extra = 1; min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F; extra = 2; min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07; extra = 3; min = 0x10000;
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
      i += j;  // skip the lead byte and the continuation bytes that were valid
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

std::string utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
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

std::u16string asciiToUtf16(const char* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return out;
}

void splitStemExtension(const std::u16string& path, std::u16string& stem, std::u16string& extension) {
  size_t sep = path.find_last_of(u"/\\");
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos || (sep != std::u16string::npos && dot < sep)) {
    stem = path;
    extension.clear();
    return;
  }
  stem = path.substr(0, dot);
  extension = path.substr(dot + 1);
}

const char* levelName(int32_t level) {
  static const char* const names[] = {"Critical", "Error", "Maintance", "Warning", "Info", "Debug"};
  uint32_t u = static_cast<uint32_t>(level);
  return u < 6 ? names[u] : "Unknown";
}

}  // namespace vexolib::log
