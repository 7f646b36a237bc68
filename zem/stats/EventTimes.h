// Host event times: a time-log file holding the time since the origin, and
// an event log of "id,time" lines.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "StatsClock.h"
#include "records/RecordWriter.h"

namespace zem {

class EventTimes {
 public:
  // Longest path kept, in bytes; a longer one is refused rather than cut.
  static const size_t kMaxPath = 199;

  explicit EventTimes(StatsClock& clock) : clock_(clock) {}
  ~EventTimes();

  void initTimeLog(const char* path);
  int setStartTime(int ms);
  bool setLogFile(const char* path);
  bool logTime(int id);

 private:
  long elapsed() { return static_cast<long>(clock_.clockTicks() - clockOrigin_); }

  StatsClock& clock_;
  int64_t clockOrigin_ = -1;
  bool timeLogInitialized_ = false;
  std::string timeLogPath_;
  std::string eventLogPath_;
  OutFile eventLogFile_;
};

}  // namespace zem
