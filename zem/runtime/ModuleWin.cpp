#include <windows.h>

#include <string>

#include "Module.h"
#include "base/Text.h"

namespace zem {

Module::~Module() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool Module::open(const char* utf8Path) {
  if (handle_ || !utf8Path || !*utf8Path) return false;
  const std::u16string wide = vekt::base::utf8ToUtf16(utf8Path);
  handle_ = LoadLibraryW(reinterpret_cast<const wchar_t*>(wide.c_str()));
  return handle_ != nullptr;
}

void* Module::find(const char* name) const {
  if (!handle_ || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string zemModuleFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&zemModuleFolder), &self))
    return {};
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(self, &path[0], static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  path.resize(slash + 1);
  return vekt::base::utf16ToUtf8(vekt::base::wideToUtf16(path));
}

}  // namespace zem
