// Host stand-in of the game-process clean-up's system calls. There is no
// task-kill command here: running it reports a failure, as WinExec does.
#include <unistd.h>

#include <chrono>
#include <thread>

#include "Common.h"
#include "GameLoader.h"

namespace vekt {

GameProcessOps DefaultGameProcessOps() {
  GameProcessOps ops;
  ops.findProcess = [](const std::wstring& name) { return GetProcessIdByName(name); };
  ops.killProcess = [](int32_t pid) { return KillProcess(pid); };
  ops.runHidden = [](const std::string&) { return 2u; };  // ERROR_FILE_NOT_FOUND
  ops.lastError = [] { return 2u; };
  ops.pause = [] { std::this_thread::sleep_for(std::chrono::seconds(1)); };
  ops.selfPid = static_cast<int32_t>(getpid());
  return ops;
}

}  // namespace vekt
