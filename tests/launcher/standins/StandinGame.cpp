// Stand-in game executable (built as vekt.exe): waits until it is ended.
// With --cleanup it instead runs the launcher's game-process clean-up itself,
// as a process that carries a game process name, and exits with 7 when the
// clean-up returned (a process ended by it would exit with 0).
#include <windows.h>

#include <cwchar>

#include "GameLoader.h"
#include "Logger.h"

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"--cleanup") == 0) {
    char dir[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, argv[2], -1, dir, MAX_PATH, nullptr, nullptr);
    vekt::Logger::initializePathDir(dir);
    vekt::CleanupGameProcesses();
    return 7;
  }
  Sleep(120000);  // bounded: a test that forgets it cannot leave it for ever
  return 3;
}
