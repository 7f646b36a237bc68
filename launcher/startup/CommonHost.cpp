// Host stand-ins for the launcher's folder, process and shortcut utilities.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "Common.h"

namespace vekt {

std::wstring GetModuleDir() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::wstring();
  std::wstring wide = MultiToWide(std::string(path, static_cast<size_t>(length)), kCodePageUtf8);
  const std::wstring::size_type slash = wide.rfind(L'/');
  return slash == std::wstring::npos ? wide : wide.substr(0, slash);
}

namespace {
std::wstring homeFolder(const char* below) {
  const char* home = std::getenv("HOME");
  if (!home || !*home) return std::wstring();
  return MultiToWide(std::string(home) + below, kCodePageUtf8);
}
}  // namespace

std::wstring GetDesktopDir() { return homeFolder("/Desktop"); }
std::wstring GetProgramFilesX86Dir() { return std::wstring(); }
std::wstring GetLocalAppDataDir() { return homeFolder("/.local/share"); }

int32_t GetProcessIdByName(const std::wstring& name) {
  if (name.empty()) return -1;
  DIR* proc = opendir("/proc");
  if (!proc) return -1;
  int32_t found = -1;
  const std::string wanted = WideToMulti(name, kCodePageUtf8);
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (!end || *end || pid <= 0) continue;
    std::ifstream comm(std::string("/proc/") + entry->d_name + "/comm");
    std::string command;
    if (std::getline(comm, command) && command == wanted) {
      found = static_cast<int32_t>(pid);
      break;
    }
  }
  closedir(proc);
  return found;
}

bool KillProcess(int32_t pid) { return pid > 0 && kill(pid, SIGKILL) == 0; }

bool CreateShortcut(const std::wstring&, const std::wstring&, const std::wstring&) { return false; }

}  // namespace vekt
