// File calls on Windows: the wide C runtime and file attribute calls.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cwchar>

#include "File.h"

namespace vekt::base {
namespace {
const wchar_t* w(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
}  // namespace

bool isDirectory(const std::u16string& path) {
  const DWORD a = GetFileAttributesW(w(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool fileExists(const std::u16string& path) { return GetFileAttributesW(w(path)) != INVALID_FILE_ATTRIBUTES; }
bool makeDirectory(const std::u16string& path) { return _wmkdir(w(path)) == 0; }
bool removeFile(const std::u16string& path) { return _wunlink(w(path)) == 0; }
bool moveFile(const std::u16string& from, const std::u16string& to) { return _wrename(w(from), w(to)) == 0; }

std::FILE* openFile(const std::u16string& path, const char* mode) {
  std::wstring wideMode;
  for (const char* m = mode; *m; ++m) wideMode.push_back(static_cast<wchar_t>(*m));
  return _wfopen(w(path), wideMode.c_str());
}

int openTruncate(const std::u16string& path) {
  int fd = -1;
  // Binary mode: callers write the line ends they want.
  if (_wsopen_s(&fd, w(path), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                _S_IREAD | _S_IWRITE) != 0) {
    return -1;
  }
  return fd;
}

int openRead(const std::u16string& path) {
  int fd = -1;
  if (_wsopen_s(&fd, w(path), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD) != 0) return -1;
  return fd;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
    const int wr = _write(fd, data, chunk);
    if (wr <= 0) return false;
    data += wr;
    size -= static_cast<size_t>(wr);
  }
  return true;
}

long readSome(int fd, char* data, size_t size) {
  const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
  return _read(fd, data, chunk);
}

bool fileSize(int fd, uint64_t& size) {
  const __int64 n = _filelengthi64(fd);
  if (n < 0) return false;
  size = static_cast<uint64_t>(n);
  return true;
}

void closeFile(int fd) { _close(fd); }

}  // namespace vekt::base
