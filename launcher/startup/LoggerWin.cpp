// Windows side of the diagnostic log.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <wtsapi32.h>

#include <cstdio>

#include "Logger.h"

namespace vekt {
namespace {

std::string wideToThreadAnsi(const wchar_t* text, int length) {
  if (length == 0) return std::string();
  const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text, length, &out[0], size, nullptr, nullptr);
  return out;
}

class WindowsLogPlatform : public ILogPlatform {
 public:
  bool probeDirectory(const std::string& dir) override {
    closeProbe();
    probe_ = CreateFileA((dir + "debug.txt").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return probe_ != INVALID_HANDLE_VALUE;
  }

  void removeProbe(const std::string& dir) override {
    closeProbe();
    DeleteFileA((dir + "debug.txt").c_str());
  }

  std::string consoleUserDocuments() override {
    HANDLE token = nullptr;
    if (!WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &token) || !token) return std::string();
    std::string result;
    PIDLIST_ABSOLUTE list = nullptr;
    if (SUCCEEDED(SHGetFolderLocation(nullptr, CSIDL_PERSONAL, token, 0, &list)) && list) {
      wchar_t path[MAX_PATH] = {};
      if (SHGetPathFromIDListW(list, path)) result = wideToThreadAnsi(path, lstrlenW(path));
      ILFree(list);
    }
    CloseHandle(token);
    return result;
  }

  std::string moduleBaseName() override {
    char name[260] = {};
    if (K32GetModuleBaseNameA(GetCurrentProcess(), nullptr, name, sizeof name) == 0) return std::string();
    return name;
  }

  bool driveDIsDirectory() override {
    const DWORD attributes = GetFileAttributesW(L"D:\\");
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  LocalTime now() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  }

  std::string toAnsi(const std::wstring& text) override {
    return wideToThreadAnsi(text.data(), static_cast<int>(text.size()));
  }

  void debugOutput(const std::string& text) override { OutputDebugStringA(text.c_str()); }

  void standardError(const std::string& text) override {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  }

 private:
  void closeProbe() {
    if (probe_ != INVALID_HANDLE_VALUE) CloseHandle(probe_);
    probe_ = INVALID_HANDLE_VALUE;
  }

  HANDLE probe_ = INVALID_HANDLE_VALUE;
};

}  // namespace

ILogPlatform& defaultLogPlatform() {
  static WindowsLogPlatform platform;
  return platform;
}

}  // namespace vekt
