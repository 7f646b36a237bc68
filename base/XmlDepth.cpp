// Element nesting of XML text, counted the way TinyXML will parse it.
#include "XmlDepth.h"

#include <cstring>

namespace vekt::base {
namespace {

size_t skipPast(const std::string& text, size_t from, const char* end) {
  const size_t found = text.find(end, from);
  return found == std::string::npos ? std::string::npos : found + std::strlen(end);
}

}  // namespace

int xmlNestingDepth(const std::string& text, int limit) {
  int depth = 0;
  int deepest = 0;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    if (text[i] != '<') {
      ++i;
      continue;
    }
    if (text.compare(i, 4, "<!--") == 0) {
      i = skipPast(text, i + 4, "-->");
    } else if (depth > 0 && text.compare(i, 9, "<![CDATA[") == 0) {
      // Only inside an element; at the top the parser reads "<!" to the next ">".
      i = skipPast(text, i + 9, "]]>");
    } else if (i + 1 < n && (text[i + 1] == '?' || text[i + 1] == '!')) {
      i = skipPast(text, i + 2, ">");
    } else if (i + 1 < n && text[i + 1] == '/') {
      if (depth > 0) --depth;
      i = skipPast(text, i + 2, ">");
    } else {
      size_t j = i + 1;
      char quote = 0;
      for (; j < n; ++j) {
        const char c = text[j];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      // An unterminated tag still opens a level for the parser.
      if (j >= n || text[j - 1] != '/') {
        if (++depth > deepest) deepest = depth;
        if (deepest > limit) return deepest;
      }
      i = j >= n ? std::string::npos : j + 1;
    }
    if (i == std::string::npos) break;
  }
  return deepest;
}

}  // namespace vekt::base
