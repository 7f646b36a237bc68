// Windows side of the platform client link: files, window messages.
#include <windows.h>
#include <shlwapi.h>

#include "PlatformLink.h"

namespace vekt {
namespace {

// A platform window that has stopped answering must not keep the launcher
// (and its single-instance mutex) alive for ever.
constexpr UINT kCopyDataTimeoutMs = 5000;

HWND toWindow(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

}  // namespace

bool PathExists(const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; }

bool CreateFolder(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != FALSE; }

bool IsReadOnlyFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::FILE* OpenFileAt(const std::wstring& path, const char* mode) {
  const std::wstring wideMode(mode, mode + strlen(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
}

void RemoveFileAt(const std::wstring& path) { DeleteFileW(path.c_str()); }

ReplaceResult ReplaceFileWith(const std::wstring& from, const std::wstring& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return ReplaceResult::kReplaced;
  }
  // Held open without delete sharing (as the C runtime's fopen leaves it).
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ? ReplaceResult::kRefusedForSharing
                                                                          : ReplaceResult::kFailed;
}

bool WriteFileInPlace(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.size() <= MAXDWORD &&
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  ok = ok && SetEndOfFile(file) && FlushFileBuffers(file);
  CloseHandle(file);
  return ok;
}

bool PostWindowMessage(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return PostMessageW(toWindow(target), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != FALSE;
}

void SendCopyData(WindowHandle target, uintptr_t kind, const void* data, uint32_t size) {
  COPYDATASTRUCT copy = {};
  copy.dwData = static_cast<ULONG_PTR>(kind);
  copy.cbData = size;
  copy.lpData = const_cast<void*>(data);
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(toWindow(target), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                      kCopyDataTimeoutMs, &answer);
}

}  // namespace vekt
