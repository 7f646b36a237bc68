// Windows side of the game-process clean-up.
#include <windows.h>

#include <chrono>
#include <thread>

#include "Common.h"
#include "GameLoader.h"

namespace vekt {

GameProcessOps DefaultGameProcessOps() {
  GameProcessOps ops;
  ops.findProcess = [](const std::wstring& name) { return GetProcessIdByName(name); };
  ops.killProcess = [](int32_t pid) { return KillProcess(pid); };
  ops.runHidden = [](const std::string& command) { return WinExec(command.c_str(), SW_HIDE); };
  ops.lastError = [] { return static_cast<uint32_t>(GetLastError()); };
  ops.pause = [] { std::this_thread::sleep_for(std::chrono::seconds(1)); };
  ops.selfPid = static_cast<int32_t>(GetCurrentProcessId());
  wchar_t systemDir[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(systemDir, MAX_PATH);
  if (length > 0 && length < MAX_PATH) ops.systemDir.assign(systemDir, length);
  return ops;
}

}  // namespace vekt
