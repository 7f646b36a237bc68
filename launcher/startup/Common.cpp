#include "Common.h"

#include "base/Text.h"

namespace vekt {

std::wstring MultiToWide(const std::string& text, unsigned codePage) {
  const std::string_view upToNul(text.c_str());
  return base::utf16ToWide(codePage == kCodePageUtf8 ? base::utf8ToUtf16(upToNul) : base::ansiToUtf16(upToNul));
}

std::wstring AnsiToWide(const std::string& text) { return MultiToWide(text, kCodePageAnsi); }

std::string WideToMulti(const std::wstring& text, unsigned codePage) {
  const std::u16string utf16 = base::wideToUtf16(std::wstring_view(text.c_str()));
  return codePage == kCodePageUtf8 ? base::utf16ToUtf8(utf16) : base::utf16ToAnsi(utf16);
}

std::wstring DirectoryOf(const std::wstring& path) {
  const std::wstring::size_type slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(0, slash);
}

}  // namespace vekt
