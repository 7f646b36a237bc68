// Stand-in game executable that records how it was started: copied as
// vekt.exe, it appends its raw command line and each argument as split by the
// system (UTF-8, one per line, after a "start" line) to command-line.txt next
// to itself, then exits.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring record(self);
  record.resize(record.rfind(L'\\') + 1);
  record += L"command-line.txt";
  FILE* out = _wfopen(record.c_str(), L"ab");
  if (!out) return 2;
  const wchar_t* raw = GetCommandLineW();
  std::fprintf(out, "start\nraw %s\n", utf8(raw).c_str());
  int count = 0;
  if (wchar_t** args = CommandLineToArgvW(raw, &count)) {
    for (int i = 0; i < count; ++i) std::fprintf(out, "arg%d %s\n", i, utf8(args[i]).c_str());
    LocalFree(args);
  }
  std::fclose(out);
  return 0;
}
