// Fuzz target: line composition, UTF-8 widening, path splitting and the agent
// buffer with arbitrary bytes. Input: category name, NUL, message text.
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "LogExports.h"
#include "LogManager.h"
#include "LogModule.h"
#include "LogText.h"

using namespace vexolib::log;

namespace {
void require(bool ok) {
  if (!ok) abort();
}

int32_t composeFormatted(char* out, const char* name, int32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t n = composeLine(out, "2026-01-02 03:04:05", name, level, format, args);
  va_end(args);
  return n;
}

LogAgent* sharedAgent() {
  static LogAgent* agent = [] {
    LogAgent* a = LogManager_NewLogAgent();
    LogManager_SetCatagory(a, "fz", "0", 0, 0);  // discards everything, touches no file
    LogManager_Init(a);
    return a;
  }();
  return agent;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find('\0');
  std::string name = cut == std::string::npos ? std::string() : input.substr(0, cut);
  std::string text = cut == std::string::npos ? input : input.substr(cut + 1);
  int32_t level = size > 0 ? static_cast<int8_t>(data[0]) % 8 : 0;

  std::vector<char> line(kMaxLine + 1);
  int32_t n = composeText(line.data(), "2026-01-02 03:04:05", name.c_str(), level, text.c_str());
  require(n >= 1 && n <= kMaxLine && line[static_cast<size_t>(n - 1)] == '\n' && line[static_cast<size_t>(n)] == 0);
  int32_t m = composeFormatted(line.data(), name.c_str(), level, "%s|%d", text.c_str(), n);
  require(m >= 1 && m <= kMaxLine && line[static_cast<size_t>(m - 1)] == '\n');

  std::u16string wide = utf8ToUtf16(input.data(), input.size());
  require(wide.size() <= input.size());
  std::string narrow = utf16ToUtf8(wide);
  require(utf8ToUtf16(narrow.data(), narrow.size()) == wide);
  std::u16string stem, ext;
  splitStemExtension(wide, stem, ext);
  require(stem.size() + ext.size() + (ext.empty() ? 0 : 1) <= wide.size());

  LogAgent* agent = sharedAgent();
  LogManager_buff_printf(agent, "%s", text.c_str());
  int32_t length = -1;
  const char* buffered = LogManager_get_log_buff(agent, &length);
  require(buffered && length == static_cast<int32_t>(strlen(buffered)));
  LogManager_commit_buff(agent, level);
  LogManager_print2(agent, level, text.c_str());
  LogManager_printf3(agent, level, static_cast<int32_t>(size) - 1, "%s", name.c_str());
  return 0;
}
