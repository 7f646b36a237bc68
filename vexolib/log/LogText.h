// Text helpers of the log core: path pieces and level names. UTF-8/UTF-16
// conversion is base's, named here as the log code uses it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Text.h"

namespace vexolib::log {

using vekt::base::asciiToUtf16;
using vekt::base::utf16ToUtf8;
using vekt::base::utf8ToUtf16;

// Stem and extension: split at the last "." of the file name (not of a
// directory name); no dot gives the whole path as stem and an empty extension.
void splitStemExtension(const std::u16string& path, std::u16string& stem, std::u16string& extension);

// Name of a level in a line; values outside 0..5 are "Unknown".
const char* levelName(int32_t level);

}  // namespace vexolib::log
