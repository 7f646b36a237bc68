#include "LaunchParams.h"

#include <json/json.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "Common.h"
#include "Logger.h"

namespace vekt {
namespace {

struct ParamKey {
  const char* key;
  const wchar_t* prefix;
  std::wstring LaunchParams::*member;  // null for installed, which is an integer
};

// Order matters: the first prefix found in an argument wins.
const ParamKey kParamKeys[] = {
    {"winid", L"--winid=", &LaunchParams::winid},
    {"source", L"--source=", &LaunchParams::source},
    {"tokenLogin", L"--tokenLogin=", &LaunchParams::tokenLogin},
    {"token", L"--token=", &LaunchParams::token},
    {"ocext", L"--ocext=", &LaunchParams::ocext},
    {"installed", L"--installed=", nullptr},
    {"gameMgrId", L"--gameMgrId=", &LaunchParams::gameMgrId},
    {"typeMode", L"--typeMode=", &LaunchParams::typeMode},
    {"instGamePath", L"--instGamePath=", &LaunchParams::instGamePath},
    {"cacheGamePath", L"--cacheGamePath=", &LaunchParams::cacheGamePath},
};

// Compact JSON text, members in key order, a line end after the object. ANSI
// bytes are kept as they are: escaping them as UTF-8 would turn every non-ASCII
// character of a parameter (a path, a name) into U+FFFD.
std::wstring compactJson(const Json::Value& root) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return AnsiToWide(Json::writeString(builder, root) + "\n");
}

int32_t leadingDecimal(const std::string& text) {
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> args;
  size_t i = 0;
  const size_t n = line.size();
  auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t'; };

  // The program name: up to the closing quote, or up to the first blank; no escapes.
  std::wstring program;
  if (i < n && line[i] == L'"') {
    ++i;
    while (i < n && line[i] != L'"') program.push_back(line[i++]);
    if (i < n) ++i;
  } else {
    while (i < n && !isBlank(line[i])) program.push_back(line[i++]);
  }
  args.push_back(program);

  // The arguments: 2n backslashes and a quote give n backslashes and toggle the
  // quoting, 2n+1 give n backslashes and a literal quote; inside quotes every
  // third quote of a run is literal.
  while (true) {
    while (i < n && isBlank(line[i])) ++i;
    if (i >= n) break;
    std::wstring arg;
    int quoteCount = 0;  // 0 outside quotes, 1 inside
    size_t backslashes = 0;
    while (i < n && (quoteCount != 0 || !isBlank(line[i]))) {
      const wchar_t c = line[i];
      if (c == L'\\') {
        arg.push_back(c);
        ++backslashes;
        ++i;
        continue;
      }
      if (c != L'"') {
        arg.push_back(c);
        backslashes = 0;
        ++i;
        continue;
      }
      if (backslashes % 2 == 0) {
        arg.erase(arg.size() - backslashes / 2);
        ++quoteCount;
      } else {
        arg.erase(arg.size() - backslashes / 2 - 1);
        arg.push_back(L'"');
      }
      ++i;
      backslashes = 0;
      while (i < n && line[i] == L'"') {
        if (++quoteCount == 3) {
          arg.push_back(L'"');
          quoteCount = 0;
        }
        ++i;
      }
      if (quoteCount == 2) quoteCount = 0;
    }
    args.push_back(arg);
  }
  return args;
}

bool CmdJsonFromArgs(const std::vector<std::wstring>& args, std::wstring& json) {
  if (args.empty()) return false;
  if (args.size() <= 2) {
    const std::wstring& arg = args.size() == 1 ? args[0] : args[1];
    static const std::wstring kInstalled = L"--installed=";
    const std::wstring::size_type at = arg.find(kInstalled);
    if (at == std::wstring::npos) {
      json = arg;
      return true;
    }
    Json::Value root(Json::objectValue);
    root["installed"] = WideToMulti(arg.substr(at + kInstalled.size()), kCodePageAnsi);
    json = compactJson(root);
    return true;
  }

  Json::Value root(Json::objectValue);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    VEKT_LOG(2, L"CommandLineToArgvW argCount:" << i << L" szArgList:" << arg);
    for (const ParamKey& key : kParamKeys) {
      const std::wstring prefix(key.prefix);
      const std::wstring::size_type at = arg.find(prefix);
      if (at == std::wstring::npos) continue;
      root[key.key] = WideToMulti(arg.substr(at + prefix.size()), kCodePageAnsi);
      break;
    }
  }
  json = compactJson(root);
  return true;
}

bool ParseJsonText(const std::string& text, Json::Value& root) {
  try {
    Json::Reader reader;
    return reader.parse(text, root);
  } catch (const std::exception&) {
    // The reader throws past its nesting limit instead of failing.
    return false;
  }
}

bool ParseCmdJson(const std::wstring& cmdJson, LaunchParams& params) {
  if (cmdJson.empty()) {
    VEKT_LOG(2, L"m_strCmdJson is empty");
    return false;
  }
  VEKT_LOG(2, L"m_strCmdJson is:" << cmdJson);

  Json::Value root;
  if (!ParseJsonText(WideToMulti(cmdJson, kCodePageAnsi), root)) {
    VEKT_LOG(0, L"reader.parse:" << cmdJson << L" false");
    return false;
  }
  if (!root.isObject()) return true;

  for (const ParamKey& key : kParamKeys) {
    const Json::Value* member = root.find(key.key, key.key + std::char_traits<char>::length(key.key));
    if (!member || !member->isString()) continue;
    if (key.member) {
      params.*key.member = AnsiToWide(member->asString());
    } else {
      params.installed = leadingDecimal(member->asString());
    }
  }
  return true;
}

}  // namespace vekt
