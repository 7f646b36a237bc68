// The base name of another process's main module, read through its memory as
// the game clean-up and the log name do, without any of this project's code.
#include <windows.h>
#include <psapi.h>

#include <cstdio>

int main(int argc, char**) {
  if (argc > 1) {  // the child: wait to be looked at
    Sleep(5000);
    return 0;
  }
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  char command[MAX_PATH + 16];
  std::snprintf(command, sizeof command, "\"%s\" child", self);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(self, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 2;
  WaitForInputIdle(pi.hProcess, 2000);
  Sleep(1000);
  char name[MAX_PATH] = {};
  const DWORD length = GetModuleBaseNameA(pi.hProcess, nullptr, name, MAX_PATH);
  std::printf("child module base name: '%s' (error %lu)\n", name, length ? 0ul : GetLastError());
  TerminateProcess(pi.hProcess, 0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return length > 0 ? 0 : 1;
}
