// A full disk for the Windows test hosts: the build hands them a folder on a
// small mounted filesystem (tests/support/small-disk.sh), seen through Wine's
// Z: drive; these take its free space with a filler file and give it back.
#pragma once
#include <windows.h>

#include <string>

namespace windisk {

// Writes a filler file until the disk refuses; the bytes it holds.
inline unsigned long long fill(const std::wstring& folder) {
  const HANDLE f = CreateFileW((folder + L"\\filler").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  static char block[4096];
  unsigned long long total = 0;
  for (DWORD n = sizeof block; n > 0; n /= 2) {
    DWORD wrote = 0;
    while (WriteFile(f, block, n, &wrote, nullptr) && wrote == n) total += n;
    total += wrote;
  }
  CloseHandle(f);
  return total;
}

inline void free(const std::wstring& folder) { DeleteFileW((folder + L"\\filler").c_str()); }

}  // namespace windisk
