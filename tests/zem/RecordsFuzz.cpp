// Reader of zem output files: any bytes must give a result, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "records/Records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string out, err;
  zem::dumpFile(bytes, "", out, err);
  zem::dumpFile(bytes, "k", out, err);
  std::vector<zem::FrameBlock> frames;
  zem::readFrames(bytes, frames, err);
  return 0;
}
