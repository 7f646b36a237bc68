// Hardware files: a header naming the groups and items, and a data file of
// per-frame samples of the process working set.
#pragma once
#include <cstdint>
#include <cstdio>

#include "records/RecordWriter.h"

namespace zem {

// The process's working set (resident set size where there is no working set), in bytes.
uint64_t processWorkingSet();

class Hardware {
 public:
  using WorkingSetFn = uint64_t (*)();
  explicit Hardware(RecordWriter& records, WorkingSetFn workingSet = processWorkingSet)
      : records_(records), workingSet_(workingSet) {}
  ~Hardware();

  void init(const char* headerPath, const char* dataPath, int flushInterval);
  void checkAndWrite(int frame, int mask);
  int stop();

 private:
  RecordWriter& records_;
  WorkingSetFn workingSet_;
  OutFile dataFile_;
  int flushInterval_ = 1000;
  int lastFlushFrame_ = -1;
};

}  // namespace zem
