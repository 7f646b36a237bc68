// Text helpers of the log core: UTF-8/UTF-16 conversion, path pieces, level names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vexolib::log {

// Decodes UTF-8; malformed sequences become U+FFFD.
std::u16string utf8ToUtf16(const char* text, size_t length);
std::string utf16ToUtf8(const std::u16string& text);
std::u16string asciiToUtf16(const char* text);

// Stem and extension: split at the last "." of the file name (not of a
// directory name); no dot gives the whole path as stem and an empty extension.
void splitStemExtension(const std::u16string& path, std::u16string& stem, std::u16string& extension);

// Name of a level in a line; values outside 0..5 are "Unknown".
const char* levelName(int32_t level);

}  // namespace vexolib::log
