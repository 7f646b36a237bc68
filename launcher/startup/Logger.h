// The launcher's one diagnostic log: a daily file, standard error and the
// debugger output. Level 0 marks failures, level 2 progress.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>

namespace vekt {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// What the logger needs from the system; Windows and the host each supply one.
class ILogPlatform {
 public:
  virtual ~ILogPlatform() = default;
  // Creates and keeps "debug.txt" in dir; true when it could be written.
  virtual bool probeDirectory(const std::string& dir) = 0;
  virtual void removeProbe(const std::string& dir) = 0;
  // The console user's Documents folder in the ANSI code page, empty without a user token.
  virtual std::string consoleUserDocuments() = 0;
  virtual std::string moduleBaseName() = 0;
  virtual bool driveDIsDirectory() = 0;
  virtual LocalTime now() = 0;
  virtual std::string toAnsi(const std::wstring& text) = 0;
  virtual void debugOutput(const std::string& text) = 0;
  virtual void standardError(const std::string& text) = 0;
};

// The platform of the program being built (Windows or the host stand-in).
ILogPlatform& defaultLogPlatform();

class Logger {
 public:
  enum Output { kFile = 1, kStdErr = 4, kDebugger = 16 };

  static void initializePathDir(const std::string& directory);
  static const std::string& pathDir();
  static Logger& instance();

  // Runs the construction steps (probe, fallbacks, open) against a platform.
  explicit Logger(ILogPlatform& platform);
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void open(const std::string& basePath, int outputs);
  void write(int level, const char* sourceFile, int line, const char* function, const std::wstring& message);

  bool enabled() const { return enabled_; }
  int outputs() const { return outputs_; }
  const std::string& fileName() const { return fileName_; }

  // Pure pieces of the line format, also used by the tests.
  static std::string formatTimestamp(const LocalTime& t);
  static std::string baseFileName(const std::string& sourceFile);
  static std::string dailyFileName(const std::string& basePath, const LocalTime& t);
  // "bool GameLoaderWnd::LoadWeb(int)" -> "GameLoaderWnd::LoadWeb".
  static std::string functionName(const char* prettyFunction);

 private:
  ILogPlatform& platform_;
  bool enabled_ = false;
  std::string fileName_;
  int outputs_ = 0;
  FILE* file_ = nullptr;
  int fileLevel_ = 0;
  int errLevel_ = 0;
  int debugLevel_ = 0;
};

}  // namespace vekt

// The build's source paths use "/", which the line format does not cut at, so
// call sites pass their bare file name where the compiler offers it.
#ifdef __FILE_NAME__
#define VEKT_SOURCE_FILE __FILE_NAME__
#else
#define VEKT_SOURCE_FILE __FILE__
#endif

// Logs one line with the call site's file, line and function; the message is
// streamed into a wide string stream: VEKT_LOG(0, L"OpenProcess1 " << pid).
#define VEKT_LOG(level, message)                                                                \
  do {                                                                                          \
    std::wostringstream vekt_log_stream_;                                                       \
    vekt_log_stream_ << message;                                                                \
    ::vekt::Logger::instance().write((level), VEKT_SOURCE_FILE, __LINE__,                       \
                                     ::vekt::Logger::functionName(__PRETTY_FUNCTION__).c_str(), \
                                     vekt_log_stream_.str());                                   \
  } while (0)
