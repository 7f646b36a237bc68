// Text helpers of the toolkit: layouts are UTF-8, the toolkit works in wide text.
#pragma once
#include <string>

namespace VantorUI {

// Invalid sequences become U+FFFD; code points above U+FFFF become surrogate
// pairs where wchar_t is 16 bits wide.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// ASCII case-insensitive comparison, enough for element, class and key names.
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
bool EqualsNoCase(const std::string& a, const char* b);

}  // namespace VantorUI
