// Launch parameters: the command line of vekt_main turned into JSON text, and
// that text parsed into the record the window reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <json/value.h>

namespace vekt {

struct LaunchParams {
  std::wstring winid;
  std::wstring source;
  std::wstring tokenLogin;
  std::wstring token;
  std::wstring ocext;
  std::wstring gameMgrId;
  std::wstring typeMode;
  std::wstring instGamePath;
  std::wstring cacheGamePath;
  int32_t installed = 0;  // m_nGameInstalled
};

// Splits a command line by the rules of CommandLineToArgvW (used where the
// system call is not available; Windows uses the call itself).
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

// Builds the launch-parameter JSON text from the split arguments (argv[0] first).
// False only when there is no argument at all.
bool CmdJsonFromArgs(const std::vector<std::wstring>& args, std::wstring& json);

// Reads the process command line and builds the JSON text from it.
bool ParseCmdParam(std::wstring& json);

// Parses JSON text with the launcher's reader; false (never an exception) for
// malformed or too deeply nested text.
bool ParseJsonText(const std::string& text, Json::Value& root);

// Parses the JSON text into params. False for empty or unparsable text.
bool ParseCmdJson(const std::wstring& cmdJson, LaunchParams& params);

}  // namespace vekt
