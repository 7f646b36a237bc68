// zem as a test host loads it: by path, its exports looked up by name (a
// missing export is a failed check).
#pragma once
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "wincheck.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace loadedzem {

// The files the plug-in wrote, as they are.
inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
inline bool exists(const std::string& path) { return std::ifstream(path).good(); }

inline void*& library() {
  static void* lib = nullptr;
  return lib;
}

inline void* symbol(const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library()), name));
#else
  return dlsym(library(), name);
#endif
}

template <typename F>
F exportOf(const char* name) {
  void* p = symbol(name);
  if (!WCHECK(p != nullptr)) std::printf("missing export %s\n", name);
  return reinterpret_cast<F>(p);
}

}  // namespace loadedzem
