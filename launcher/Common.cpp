#include "Common.h"

namespace vekt {

std::wstring DirectoryOf(const std::wstring& path) {
  const std::wstring::size_type slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(0, slash);
}

}  // namespace vekt
