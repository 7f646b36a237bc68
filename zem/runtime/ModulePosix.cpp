#include <dlfcn.h>

#include "Module.h"

namespace zem {

Module::~Module() {
  if (handle_) dlclose(handle_);
}

bool Module::open(const char* utf8Path) {
  if (handle_ || !utf8Path || !*utf8Path) return false;
  handle_ = dlopen(utf8Path, RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr;
}

void* Module::find(const char* name) const { return handle_ && name ? dlsym(handle_, name) : nullptr; }

std::string zemModuleFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&zemModuleFolder), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace zem
