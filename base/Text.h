// Text conversion shared by every deliverable: UTF-8, UTF-16 and the ANSI code page.
// UTF-8 <-> UTF-16 is portable (Text.cpp); the ANSI code page is the system's
// CP_ACP on Windows (TextWin.cpp) and Windows-1252 on the host (TextPosix.cpp).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace vekt::base {

// Decodes UTF-8. A malformed sequence (bad lead byte, missing continuation,
// overlong form, encoded surrogate, beyond U+10FFFF) becomes one U+FFFD and
// decoding goes on after its last valid byte; never reads past the end.
std::u16string utf8ToUtf16(std::string_view text);
std::u16string utf8ToUtf16(const char* text, size_t length);
// Encodes UTF-16; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// The ANSI code page: characters it lacks become '?', as the Windows call does.
std::u16string ansiToUtf16(std::string_view text);
std::string utf16ToAnsi(std::u16string_view text);

// Bytes 0..0x7F widened unit by unit (names built from ASCII text).
std::u16string asciiToUtf16(std::string_view text);

// wchar_t is UTF-16 on Windows and UTF-32 on the host: these convert exactly
// between the two (surrogate pairs joined or split on the host).
std::wstring utf16ToWide(std::u16string_view text);
std::u16string wideToUtf16(std::wstring_view text);

}  // namespace vekt::base
