#include "UIText.h"

#include "base/Text.h"

namespace VantorUI {
namespace {

wchar_t lowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

}  // namespace

std::wstring Utf8ToWide(const std::string& text) { return vekt::base::utf16ToWide(vekt::base::utf8ToUtf16(text)); }

std::string WideToUtf8(const std::wstring& text) { return vekt::base::utf16ToUtf8(vekt::base::wideToUtf16(text)); }
bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (lowerAscii(static_cast<wchar_t>(static_cast<unsigned char>(a[i]))) !=
        lowerAscii(static_cast<wchar_t>(static_cast<unsigned char>(b[i]))))
      return false;
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace VantorUI
