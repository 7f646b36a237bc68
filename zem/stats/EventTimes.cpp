#include "EventTimes.h"

#include <cstring>

#include "records/RecordWriter.h"

namespace zem {

namespace {
bool fits(const char* path) { return path && std::strlen(path) <= EventTimes::kMaxPath; }
}  // namespace

EventTimes::~EventTimes() = default;

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
    OutFile t;
    if (t.open(timeLogPath_.c_str(), "w")) {
      t.print("%ld/%d", elapsed(), 1000);
      int rc = 0;
      t.close(rc);
    }
  }
  if (!*path) return true;
  if (!eventLogFile_.open(path, "w")) return false;
  eventLogPath_ = path;
  return true;
}

bool EventTimes::logTime(int id) {
  if (!eventLogFile_) return false;
  eventLogFile_.print("%d,%ld\n", id, elapsed());
  // Each event goes to disk at once: the result says whether it was saved.
  return eventLogFile_.flush();
}

}  // namespace zem
