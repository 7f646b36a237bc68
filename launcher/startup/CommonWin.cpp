// Windows implementations of the launcher's utilities.
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include "Common.h"
#include "Logger.h"

namespace vekt {

std::wstring GetModuleDir() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0) return std::wstring();
  return DirectoryOf(std::wstring(path, length));
}

namespace {

std::wstring specialFolder(int id) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, id, FALSE)) return std::wstring();
  return path;
}

struct PrivilegeResult {
  bool enabled = false;
  DWORD error = ERROR_SUCCESS;
};

// Enables the debug privilege of this process; the result is the call's own.
PrivilegeResult enableDebugPrivilege() {
  PrivilegeResult result;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    result.error = GetLastError();
    return result;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  result.enabled = LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid) &&
                   AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
  if (!result.enabled) result.error = GetLastError();
  CloseHandle(token);
  return result;
}

}  // namespace

std::wstring GetDesktopDir() { return specialFolder(CSIDL_DESKTOPDIRECTORY); }
std::wstring GetProgramFilesX86Dir() { return specialFolder(CSIDL_PROGRAM_FILESX86); }
std::wstring GetLocalAppDataDir() { return specialFolder(CSIDL_LOCAL_APPDATA); }

int32_t GetProcessIdByName(const std::wstring& name) {
  if (name.empty()) return -1;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int32_t pid = -1;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  // The first entry is the idle process: fetched, never examined.
  if (Process32FirstW(snapshot, &entry)) {
    while (Process32NextW(snapshot, &entry)) {
      VEKT_LOG(0, L"Process32Next processName:" << entry.szExeFile);
      if (lstrcmpW(entry.szExeFile, name.c_str()) == 0) {
        pid = static_cast<int32_t>(entry.th32ProcessID);
        break;
      }
    }
  }
  CloseHandle(snapshot);
  return pid;
}

bool KillProcess(int32_t pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
  if (!process) {
    VEKT_LOG(0, L"OpenProcess1 " << pid << L" falsed code:" << GetLastError());
    const PrivilegeResult privilege = enableDebugPrivilege();
    if (privilege.enabled) {
      VEKT_LOG(0, L"EnableDebugPrivilege " << pid << L" true");
    } else {
      VEKT_LOG(0, L"EnableDebugPrivilege " << pid << L" falsed code:" << privilege.error);
    }
    process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (!process) {
      VEKT_LOG(0, L"OpenProcess2 " << pid << L" falsed code:" << GetLastError());
      return false;
    }
  }
  const bool terminated = TerminateProcess(process, 0) != FALSE;
  CloseHandle(process);
  return terminated;
}

bool CreateShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& icon) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))) ||
      !link) {
    return false;
  }
  std::wstring workingDir = target;
  std::wstring::size_type cut = target.rfind(L'\\');
  if (cut == std::wstring::npos) cut = target.rfind(L'/');
  if (cut != std::wstring::npos) workingDir = target.substr(0, cut);

  link->SetPath(target.c_str());
  link->SetArguments(L"");
  link->SetIconLocation(icon.c_str(), 0);
  link->SetWorkingDirectory(workingDir.c_str());

  bool saved = false;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) && file) {
    saved = SUCCEEDED(file->Save(linkPath.c_str(), FALSE));
    file->Release();
  }
  link->Release();
  return saved;
}

}  // namespace vekt
