// Game-exit launch and the clean-up of running game processes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vekt {

constexpr int kGameExitKind = 1;
constexpr int kCleanupAttemptLimit = 30;

// The executables of the game that the clean-up ends: "vekt.exe".
const std::vector<std::wstring>& GameProcessNames();

// True when the launch text says the game has ended (kind 1: a JSON object
// whose "type" is the number 1, or the bare texts "type:1" and "{type:1}").
bool IsGameExitText(const std::wstring& json);

// True when the launcher was started only to report that the game has ended
// and it has done so; start-up then exits without a window.
bool IsGameExit(const std::wstring& json);

// What the clean-up needs from the system; tests put stand-ins in.
struct GameProcessOps {
  std::function<int32_t(const std::wstring&)> findProcess;  // process id or -1
  std::function<bool(int32_t)> killProcess;
  std::function<unsigned(const std::string&)> runHidden;  // WinExec result
  std::function<uint32_t()> lastError;
  std::function<void()> pause;  // one second
  int32_t selfPid = -1;         // never a target
  std::wstring systemDir;       // where taskkill.exe is taken from
};

// The task-kill command for a process name, the program named by its full path
// in the system folder so that no taskkill.exe beside the launcher is run.
std::string TaskKillCommand(const std::wstring& systemDir, const std::wstring& name);

// The real system: GetProcessIdByName, KillProcess, WinExec, a one-second sleep.
GameProcessOps DefaultGameProcessOps();

bool GeneralProcessExist(const GameProcessOps& ops);
void KillGeneralProcess(const GameProcessOps& ops);
// Ends game processes until none is left or after 30 attempts; returns the
// number of attempts made (0 when none was running).
int CleanupGameProcesses(const GameProcessOps& ops);
int CleanupGameProcesses();
// Runs the clean-up on a worker task and waits for it (the 1135 handler).
int RunGameProcessCleanupAndWait();

}  // namespace vekt
