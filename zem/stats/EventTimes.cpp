#include "EventTimes.h"

#include <cstring>

#include "records/RecordWriter.h"

namespace zem {

namespace {
bool fits(const char* path) { return path && std::strlen(path) <= EventTimes::kMaxPath; }
}  // namespace

EventTimes::~EventTimes() {
  int rc = 0;
  closeFile(eventLogFile_, rc);
}

void EventTimes::initTimeLog(const char* path) {
  if (timeLogInitialized_ || !fits(path)) return;
  timeLogInitialized_ = true;
  timeLogPath_ = path;
  if (clockOrigin_ == -1) clockOrigin_ = clock_.clockTicks();
}

int EventTimes::setStartTime(int ms) {
  clockOrigin_ = clock_.clockTicks() - ms;
  return static_cast<int>(clockOrigin_);
}

bool EventTimes::setLogFile(const char* path) {
  if (!fits(path)) return false;
  if (eventLogFile_ && eventLogPath_ == path) return false;
  int rc = 0;
  closeFile(eventLogFile_, rc);
  eventLogPath_.clear();
  if (!timeLogPath_.empty()) {
    if (FILE* t = std::fopen(timeLogPath_.c_str(), "w")) {
      std::fprintf(t, "%ld/%d", elapsed(), 1000);
      std::fclose(t);
    }
  }
  if (!*path) return true;
  eventLogFile_ = std::fopen(path, "w");
  if (!eventLogFile_) return false;
  eventLogPath_ = path;
  return true;
}

bool EventTimes::logTime(int id) {
  if (!eventLogFile_) return false;
  std::fprintf(eventLogFile_, "%d,%ld\n", id, elapsed());
  return true;
}

}  // namespace zem
