// Decisions of the web page tool that need no window system: reading its
// command line, where its window goes, what a copy-data message asks for and
// when a size change ends it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel {

// Program path and five arguments.
constexpr std::size_t kCommandLineEntries = 6;

// Copy-data codes (the message's dwData).
constexpr std::uint64_t kNavigateCode = 100;
constexpr std::uint64_t kCloseCode = 101;

struct ToolArguments {
  std::wstring title;
  int width = 0;  // outer size in pixels
  int height = 0;
  int owner = 0;  // window handle number; 0: the foreground window
  std::wstring address;
};

// The C library's decimal reading: leading blanks, an optional sign, digits
// up to the first other character, no digits give 0. Out-of-range values
// stop at the int limits instead of wrapping.
int parseDecimal(std::string_view text);

// The arguments when there are exactly five after the program path. Numbers
// are read after converting the argument to the ANSI code page.
std::optional<ToolArguments> readToolArguments(const std::vector<std::wstring>& commandLine);

struct Size {
  int width = 0;
  int height = 0;
};

struct Point {
  long long x = 0;
  long long y = 0;
};

// Top-left corner, in the owner's client coordinates, that centres a window
// of `windowOuter` on a client area of `ownerClient` (truncating toward zero).
Point centreOnOwner(Size ownerClient, Size windowOuter);

// After any position change: an outer size other than the one the tool was
// started with ends it; moves and Z order changes do not.
bool endsTool(Size outerNow, Size started);

enum class CopyDataAction {
  Navigate,  // open `address`
  Close,     // destroy the window and end
  Ignore,    // a navigate request whose data cannot be read: handled, nothing done
  Default,   // not ours: default processing
};

struct CopyDataRequest {
  CopyDataAction action = CopyDataAction::Default;
  std::wstring address;  // the bytes up to the first NUL, from the ANSI code page
};

// Reads a copy-data message without looking past `byteCount` bytes of `data`.
// A navigate request needs a NUL inside those bytes and a non-empty text.
CopyDataRequest decodeCopyData(std::uint64_t code, const void* data, std::size_t byteCount);

}  // namespace vistrel
