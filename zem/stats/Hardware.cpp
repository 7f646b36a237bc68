#include "Hardware.h"

#include <cstring>

namespace zem {

namespace {
const char* const kHardwareNames[] = {
    "Root,Root,,,,,,,,,",
    "Network,Network,,,,,,,,,",
    "Memory,Memory,,,,,,,,,",
    "Battery,Battery,,,,,,,,,",
    "Temperature,Temperature,,,,,,,,,",
    "network.in,network.in,,,,,,,,,",
    "network.out,network.out,,,,,,,,,",
    "windows.memory.workingset,windows.memory.workingset,,,,,,,,,",
    "batterylevel,batterylevel,,,,,,,,,",
    "temperature,temperature,,,,,,,,,",
};
}  // namespace

Hardware::~Hardware() { stop(); }

void Hardware::init(const char* headerPath, const char* dataPath, int flushInterval) {
  OutFile h;
  if (headerPath && h.open(headerPath, "wb")) {
    if (records_.binary()) records_.writeHeader(h);
    for (int id = 0; id < 10; ++id) {
      if (records_.binary())
        records_.writeRecord(h, static_cast<uintptr_t>(id), kHardwareNames[id], std::strlen(kHardwareNames[id]));
      else
        h.print("%d,%s\n", id, kHardwareNames[id]);
    }
    int rc = 0;
    h.close(rc);
  }
  // A second init must not leak the first data file (or leave it unflushed).
  stop();
  if (dataPath) dataFile_.open(dataPath, "wb");
  flushInterval_ = flushInterval;
}

void Hardware::checkAndWrite(int frame, int mask) {
  if (!dataFile_ || mask == 0) return;
  dataFile_.print("#%d\n", frame);
  if (mask & 2) {
    dataFile_.print("1,2,0\n");
    dataFile_.print("2,7,0,%.2f\n", static_cast<double>(workingSet_()) / 1024.0);
  }
  if (static_cast<int64_t>(frame) - lastFlushFrame_ > flushInterval_) {
    dataFile_.flush();
    lastFlushFrame_ = frame;
  }
}

int Hardware::stop() {
  int rc = 0;
  closeFile(dataFile_, rc);
  return rc;
}

}  // namespace zem
