// The process command line, split by the system.
#include <windows.h>
#include <shellapi.h>

#include "LaunchParams.h"
#include "Logger.h"

namespace vekt {

bool ParseCmdParam(std::wstring& json) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) {
    VEKT_LOG(0, L"CommandLineToArgvW szArgList is NULL");
    return false;
  }
  std::vector<std::wstring> args(argv, argv + argc);
  LocalFree(argv);
  return CmdJsonFromArgs(args, json);
}

}  // namespace vekt
