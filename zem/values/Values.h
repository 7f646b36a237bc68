// Logged values: markers, ints, floats, bools and vectors named by the
// scripts, kept per frame and written as numbered lines at frame end.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "records/RecordWriter.h"

namespace zem {

// One logged value of the current frame.
struct ValueInfo {
  bool isSet = false;
  int32_t i = 0;
  float f[3] = {0, 0, 0};
};

class Values {
 public:
  enum ValueKind { kMarker, kInt, kBool, kFloat, kVector, kKinds };
  explicit Values(RecordWriter& records) : records_(records) {}
  ~Values();

  // Opens the value identifier file (once; it creates the value tables).
  void openIdFile(const char* path);
  bool idFileOpen() const { return valueIdFile_.isOpen(); }
  void openLogFile(const char* path) { reopenTruncatedAppend(valueLogFile_, path); }

  void logMarker(const char* name);
  void logInt(const char* name, int32_t v);
  void logFloat(const char* name, float v);
  void logBool(const char* name, bool v);
  void logVector(const char* name, float x, float y, float z);

  // Frame end: the frame's values to the value log, then cleared.
  void writeFrame(int frame);
  void closeLogFile(int& rc) { closeFile(valueLogFile_, rc); }
  void closeIdFile(int& rc) { closeFile(valueIdFile_, rc); }

 private:
  ValueInfo* lookup(ValueKind kind, const char* name);

  RecordWriter& records_;
  OutFile valueLogFile_;
  OutFile valueIdFile_;
  std::map<std::string, ValueInfo> values_[kKinds];
  bool tables_ = false;
};

}  // namespace zem
