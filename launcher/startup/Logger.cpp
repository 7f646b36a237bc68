#include "Logger.h"

#include <cstring>

namespace vekt {
namespace {

std::string& logDirectory() {
  static std::string directory;
  return directory;
}

}  // namespace

void Logger::initializePathDir(const std::string& directory) { logDirectory() = directory; }

const std::string& Logger::pathDir() { return logDirectory(); }

Logger& Logger::instance() {
  // A function-local static is built exactly once even under concurrent first use.
  static Logger logger(defaultLogPlatform());
  return logger;
}

Logger::Logger(ILogPlatform& platform) : platform_(platform) {
  std::string directory = logDirectory();
  bool writable = platform_.probeDirectory(directory);
  if (!writable) {
    const std::string documents = platform_.consoleUserDocuments();
    if (!documents.empty()) {
      directory = documents + "\\";
      logDirectory() = directory;
      writable = platform_.probeDirectory(directory);
    }
  }
  const std::string basePath = directory + platform_.moduleBaseName();
  if (writable) {
    platform_.removeProbe(directory);
    open(basePath, kFile | kStdErr | kDebugger);
  } else if (platform_.driveDIsDirectory()) {
    open(basePath, kStdErr | kDebugger);
  }
}

Logger::~Logger() {
  if (file_) std::fclose(file_);
}

void Logger::open(const std::string& basePath, int outputs) {
  fileLevel_ = errLevel_ = debugLevel_ = 2;
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (basePath != fileName_) fileName_ = dailyFileName(basePath, platform_.now());
  if (outputs & kFile) {
    // Binary append with explicit CR LF: the same bytes a text-mode stream writes
    // on Windows, on every platform. fopen leaves the file shareable.
    file_ = std::fopen(fileName_.c_str(), "ab");
  }
  outputs_ = outputs;
  enabled_ = true;
}

void Logger::write(int level, const char* sourceFile, int line, const char* function, const std::wstring& message) {
  std::string text = platform_.toAnsi(message);
  if (!enabled_) return;
  // The line end is the log's own: a message ending in one (JSON text from
  // the writer does) would leave a stray line end before it.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();

  std::string composed = formatTimestamp(platform_.now());
  composed += " [";
  composed += baseFileName(sourceFile ? sourceFile : "");
  composed += "<";
  composed += std::to_string(line);
  composed += ">";
  composed += function ? function : "";
  composed += "] : ";
  composed += text;

  if ((outputs_ & kFile) && level <= fileLevel_ && file_) {
    std::fwrite(composed.data(), 1, composed.size(), file_);
    std::fwrite("\r\n", 1, 2, file_);
    std::fflush(file_);
  }
  if ((outputs_ & kStdErr) && level <= errLevel_) platform_.standardError(composed + "\n");
  if ((outputs_ & kDebugger) && level <= debugLevel_) platform_.debugOutput(composed + "\r\n");
}

std::string Logger::formatTimestamp(const LocalTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d.%3d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.milliseconds);
  return buffer;
}

std::string Logger::baseFileName(const std::string& sourceFile) {
  const std::string::size_type slash = sourceFile.rfind('\\');
  if (slash == std::string::npos || slash == 0) return sourceFile;
  return sourceFile.substr(slash + 1);
}

std::string Logger::dailyFileName(const std::string& basePath, const LocalTime& t) {
  return basePath + "_" + std::to_string(t.year) + "_" + std::to_string(t.month) + "_" + std::to_string(t.day) + ".log";
}

std::string Logger::functionName(const char* prettyFunction) {
  if (!prettyFunction) return std::string();
  std::string name(prettyFunction);
  const std::string::size_type paren = name.find('(');
  if (paren != std::string::npos) name.erase(paren);
  const std::string::size_type space = name.rfind(' ');
  if (space != std::string::npos) name.erase(0, space + 1);
  static const char kNamespace[] = "vekt::";
  if (name.compare(0, sizeof kNamespace - 1, kNamespace) == 0) name.erase(0, sizeof kNamespace - 1);
  return name;
}

}  // namespace vekt
