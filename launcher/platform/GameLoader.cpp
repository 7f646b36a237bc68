#include "GameLoader.h"

#include <future>
#include <system_error>

#include "Common.h"
#include "LaunchParams.h"
#include "Logger.h"
#include "PlatformLink.h"

namespace vekt {

const std::vector<std::wstring>& GameProcessNames() {
  static const std::vector<std::wstring> names{L"vekt.exe"};
  return names;
}

bool IsGameExitText(const std::wstring& json) {
  int kind = 0;
  Json::Value root;
  if (ParseJsonText(WideToMulti(json, kCodePageAnsi), root)) {
    if (!root.isObject()) return false;
    static const char kType[] = "type";
    const Json::Value* type = root.find(kType, kType + sizeof kType - 1);
    if (type && type->isInt()) kind = type->asInt();
  } else {
    VEKT_LOG(0, L"reader.parse:" << json << L" false");
    if (json != L"type:1" && json != L"{type:1}") return false;
    VEKT_LOG(0, L"get type:1");
    kind = kGameExitKind;
  }
  return kind == kGameExitKind;
}

bool IsGameExit(const std::wstring& json) {
  VEKT_LOG(2, L"IsGameExit:" << json);
  if (!IsGameExitText(json)) return false;
  VEKT_LOG(2, L"game exit notify:" << json);

  const std::wstring path = GetSettingPath();
  std::wstring source;
  if (!ReadSetting(kSettingLoginSource, path, source) || source.empty()) return true;
  std::wstring windowId;
  if (ReadSetting(kSettingOcWindowId, path, windowId)) {
    VEKT_LOG(2, L"Orbisk Center wnd get");
    SendGameExitNotice(WindowHandleFromDecimal(windowId));
  } else {
    VEKT_LOG(2, L"Orbisk Center wnd not get");
  }
  return true;
}

namespace {

// The launcher itself is never taken for a game process.
int32_t findGameProcess(const GameProcessOps& ops, const std::wstring& name) {
  const int32_t pid = ops.findProcess(name);
  return pid == ops.selfPid ? -1 : pid;
}

}  // namespace

std::string TaskKillCommand(const std::wstring& systemDir, const std::wstring& name) {
  if (systemDir.empty()) return std::string();
  return "\"" + WideToMulti(systemDir + L"\\taskkill.exe", kCodePageAnsi) + "\" /f /im " +
         WideToMulti(name, kCodePageAnsi);
}

bool GeneralProcessExist(const GameProcessOps& ops) {
  for (const std::wstring& name : GameProcessNames()) {
    const int32_t pid = findGameProcess(ops, name);
    if (pid != -1) {
      VEKT_LOG(0, L"GeneralProcessExist,GetProcessIdByName " << name << L" idProcess:" << pid);
      return true;
    }
  }
  return false;
}

void KillGeneralProcess(const GameProcessOps& ops) {
  for (const std::wstring& name : GameProcessNames()) {
    const int32_t pid = findGameProcess(ops, name);
    if (pid == -1 || ops.killProcess(pid)) continue;
    const std::string command = TaskKillCommand(ops.systemDir, name);
    if (command.empty() || ops.runHidden(command) < 32) {
      VEKT_LOG(0, L"KillProcess " << name << L" falsed code:" << ops.lastError());
    }
  }
}

int CleanupGameProcesses(const GameProcessOps& ops) {
  int attempts = 0;
  for (int counter = 1; counter <= kCleanupAttemptLimit && GeneralProcessExist(ops); ++counter) {
    KillGeneralProcess(ops);
    ops.pause();
    ++attempts;
  }
  return attempts;
}

int CleanupGameProcesses() { return CleanupGameProcesses(DefaultGameProcessOps()); }

int RunGameProcessCleanupAndWait() {
  try {
    std::future<int> task = std::async(std::launch::async, [] { return CleanupGameProcesses(); });
    return task.get();
  } catch (const std::system_error&) {
    // No worker thread to be had: the UI thread waits either way.
    VEKT_LOG(0, L"CleanupGameProcesses task not started");
    return CleanupGameProcesses();
  }
}

}  // namespace vekt
