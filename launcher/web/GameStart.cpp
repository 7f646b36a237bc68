#include "GameStart.h"

#include "base/Text.h"

namespace vekt {
namespace {

bool keptInQuery(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '\'':
    case '(':
    case ')':
    case '*':
    case ',':
    case ';':
    case ':':
    case '@':
    case '/':
    case '?':
      return true;
    default:
      return false;
  }
}

void appendParameter(std::wstring& address, const wchar_t* key, const std::wstring& value) {
  if (value.empty()) return;
  address += key;
  address += EncodeQueryValue(value);
}

void appendArgument(std::wstring& line, const wchar_t* option, const std::wstring& value) {
  if (value.empty()) return;
  line += L' ';
  line += QuoteArgument(option + value);
}

}  // namespace

std::wstring HomePageBase(const std::wstring& host) { return L"https://" + host + kHomePagePath; }

std::wstring EncodeQueryValue(const std::wstring& value) {
  const std::string utf8 = base::utf16ToUtf8(base::wideToUtf16(value));
  std::wstring encoded;
  encoded.reserve(utf8.size());
  for (const char byte : utf8) {
    const auto c = static_cast<unsigned char>(byte);
    if (keptInQuery(c)) {
      encoded += static_cast<wchar_t>(c);
    } else {
      static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
      encoded += L'%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0x0F];
    }
  }
  return encoded;
}

std::wstring HomePageAddress(const std::wstring& base, const std::wstring& fileParam, const LaunchParams& params) {
  std::wstring address = base;
  address += base.find(L'?') == std::wstring::npos ? L"?fileparam=" : L"&fileparam=";
  address += EncodeQueryValue(fileParam);
  appendParameter(address, L"&token=", params.token);
  appendParameter(address, L"&source=", params.source);
  appendParameter(address, L"&ocext=", params.ocext);
  appendParameter(address, L"&tokenLogin=", params.tokenLogin);
  return address;
}

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  // Backslashes are literal unless they precede a quote: double those, and the
  // run before the closing quote.
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring GameParameters(const LaunchParams& params) {
  std::wstring line = QuoteArgument(L"--source=" + params.source);
  appendArgument(line, L"--tokenLogin=", params.tokenLogin);
  appendArgument(line, L"--token=", params.token);
  appendArgument(line, L"--ocext=", params.ocext);
  appendArgument(line, L"--winid=", params.gameMgrId);
  appendArgument(line, L"--typeMode=", params.typeMode);
  appendArgument(line, L"--instGamePath=", params.instGamePath);
  appendArgument(line, L"--cacheGamePath=", params.cacheGamePath);
  return line;
}

}  // namespace vekt
