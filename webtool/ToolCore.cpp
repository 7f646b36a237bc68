#include "ToolCore.h"

#include <climits>
#include <cstring>

#include "base/Text.h"

namespace vistrel {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int readNumber(const std::wstring& argument) {
  return parseDecimal(vekt::base::utf16ToAnsi(vekt::base::wideToUtf16(argument)));
}
}  // namespace

int parseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      value = static_cast<long long>(INT_MAX) + 1;  // saturate; more digits change nothing
    }
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::optional<ToolArguments> readToolArguments(const std::vector<std::wstring>& commandLine) {
  if (commandLine.size() != kCommandLineEntries) return std::nullopt;
  ToolArguments args;
  args.title = commandLine[1];
  args.width = readNumber(commandLine[2]);
  args.height = readNumber(commandLine[3]);
  args.owner = readNumber(commandLine[4]);
  args.address = commandLine[5];
  return args;
}

Point centreOnOwner(Size ownerClient, Size windowOuter) {
  Point corner;
  corner.x = (static_cast<long long>(ownerClient.width) - windowOuter.width) / 2;
  corner.y = (static_cast<long long>(ownerClient.height) - windowOuter.height) / 2;
  return corner;
}

bool endsTool(Size outerNow, Size started) {
  return outerNow.width != started.width || outerNow.height != started.height;
}

CopyDataRequest decodeCopyData(std::uint64_t code, const void* data, std::size_t byteCount) {
  CopyDataRequest request;
  if (code == kCloseCode) {
    request.action = CopyDataAction::Close;
    return request;
  }
  if (code != kNavigateCode) return request;
  request.action = CopyDataAction::Ignore;
  if (!data || byteCount == 0) return request;
  const auto* bytes = static_cast<const char*>(data);
  const void* nul = std::memchr(bytes, '\0', byteCount);
  if (!nul) return request;
  const auto length = static_cast<std::size_t>(static_cast<const char*>(nul) - bytes);
  if (length == 0) return request;
  request.action = CopyDataAction::Navigate;
  request.address = vekt::base::utf16ToWide(vekt::base::ansiToUtf16(std::string_view(bytes, length)));
  return request;
}

}  // namespace vistrel
