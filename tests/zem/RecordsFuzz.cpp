// Reader of zem output files: any bytes must give a result, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "records/Records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string out, err, stopped;
  zem::dumpFile(bytes, "", out, err, &stopped);
  zem::dumpFile(bytes, "k", out, err);
  std::vector<zem::FrameBlock> frames;
  zem::readFrames(bytes, frames, err);
  zem::ObjectMap objects;
  zem::readObjectMap(bytes, objects, err);
  // Trace export: the first line as the identifier file, the rest as the tree file.
  size_t cut = bytes.find('\n');
  std::string ids = cut == std::string::npos ? bytes : bytes.substr(0, cut + 1);
  std::string tree = cut == std::string::npos ? std::string() : bytes.substr(cut + 1);
  zem::exportTrace(ids, tree, "", out, err);
  zem::exportTrace(ids, bytes, "", out, err);
  return 0;
}
