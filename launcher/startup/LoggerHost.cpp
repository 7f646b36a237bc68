// Host stand-in for the diagnostic log's system calls: real files and time,
// no console user token, no "D:\" drive, the debugger output goes nowhere.
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>

#include "Common.h"
#include "Logger.h"

namespace vekt {
namespace {

class HostLogPlatform : public ILogPlatform {
 public:
  bool probeDirectory(const std::string& dir) override {
    FILE* probe = std::fopen((dir + "debug.txt").c_str(), "w+");
    if (!probe) return false;
    std::fclose(probe);
    return true;
  }
  void removeProbe(const std::string& dir) override { std::remove((dir + "debug.txt").c_str()); }
  std::string consoleUserDocuments() override { return std::string(); }
  std::string moduleBaseName() override {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
  }
  bool driveDIsDirectory() override { return false; }
  LocalTime now() override {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm local{};
    localtime_r(&tv.tv_sec, &local);
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int>(tv.tv_usec / 1000)};
  }
  std::string toAnsi(const std::wstring& text) override { return WideToMulti(text, kCodePageAnsi); }
  void debugOutput(const std::string&) override {}
  void standardError(const std::string& text) override {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

ILogPlatform& defaultLogPlatform() {
  static HostLogPlatform platform;
  return platform;
}

}  // namespace vekt
