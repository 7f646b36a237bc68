// Peak resident memory of this process (Linux: VmHWM, which writing 5 to
// clear_refs resets), for tests and benchmarks that bound memory.
#pragma once
#include <cstdlib>
#include <fstream>
#include <string>

inline void resetPeakMemory() {
  std::ofstream f("/proc/self/clear_refs");
  f << "5";
}

// MiB since the last reset (or since the start); 0 where it cannot be read.
inline double peakMemoryMiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

// Address space of this process in MiB (VmSize): what a 32-bit process runs
// out of, whether or not the pages were ever touched.
inline double addressSpaceMiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmSize:", 0) == 0) return std::atof(line.c_str() + 7) / 1024.0;
  return 0;
}
