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
  if (FILE* h = headerPath ? std::fopen(headerPath, "wb") : nullptr) {
    if (records_.binary()) records_.writeHeader(h);
    for (int id = 0; id < 10; ++id) {
      if (records_.binary())
        records_.writeRecord(h, static_cast<uintptr_t>(id), kHardwareNames[id], std::strlen(kHardwareNames[id]));
      else
        std::fprintf(h, "%d,%s\n", id, kHardwareNames[id]);
    }
    std::fclose(h);
  }
  // A second init must not leak the first data file (or leave it unflushed).
  stop();
  if (dataPath) dataFile_ = std::fopen(dataPath, "wb");
  flushInterval_ = flushInterval;
}

void Hardware::checkAndWrite(int frame, int mask) {
  if (!dataFile_ || mask == 0) return;
  std::fprintf(dataFile_, "#%d\n", frame);
  if (mask & 2) {
    std::fprintf(dataFile_, "1,2,0\n");
    std::fprintf(dataFile_, "2,7,0,%.2f\n", static_cast<double>(workingSet_()) / 1024.0);
  }
  if (static_cast<int64_t>(frame) - lastFlushFrame_ > flushInterval_) {
    std::fflush(dataFile_);
    lastFlushFrame_ = frame;
  }
}

int Hardware::stop() {
  int rc = 0;
  closeFile(dataFile_, rc);
  return rc;
}

}  // namespace zem
