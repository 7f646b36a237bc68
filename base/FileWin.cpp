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

int openAppend(const std::u16string& path) {
  int fd = -1;
  if (_wsopen_s(&fd, w(path), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0) {
    return -1;
  }
  if (_lseeki64(fd, 0, SEEK_END) < 0) {
    _close(fd);
    return -1;
  }
  return fd;
}

size_t writePart(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t left = size - done;
    const unsigned chunk = left > 0x40000000u ? 0x40000000u : static_cast<unsigned>(left);
    // A full disk makes _write fail outright or write less than asked.
    const int wr = _write(fd, data + done, chunk);
    if (wr <= 0) break;
    done += static_cast<size_t>(wr);
  }
  return done;
}

bool truncateFile(int fd, uint64_t size) {
  return _chsize_s(fd, static_cast<__int64>(size)) == 0 && _lseeki64(fd, static_cast<__int64>(size), SEEK_SET) >= 0;
}

bool pathNamesFile(const std::u16string& path, int fd) {
  const HANDLE open = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  if (open == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(open, &a)) return false;
  // No access asked: only the file's identity is read, whatever its sharing.
  const HANDLE named = CreateFileW(w(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  const bool got = GetFileInformationByHandle(named, &b) != 0;
  CloseHandle(named);
  return got && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
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
