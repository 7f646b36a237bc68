// Peak resident memory of this process (Linux: VmHWM, which writing 5 to
// clear_refs resets) and its address space, for tests and benchmarks that
// bound memory.
#pragma once
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

inline void resetPeakMemory() {
  std::ofstream f("/proc/self/clear_refs");
  f << "5";
}

// A figure of /proc/self/status given in kB, in MiB; 0 where it cannot be read.
inline double processStatusMiB(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(key);
  while (std::getline(f, line))
    if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
      return std::atof(line.c_str() + n + 1) / 1024.0;
  return 0;
}

// MiB since the last reset (or since the start).
inline double peakMemoryMiB() { return processStatusMiB("VmHWM"); }

// Address space in MiB (VmSize): what a 32-bit process runs out of, whether
// or not the pages were ever touched.
inline double addressSpaceMiB() { return processStatusMiB("VmSize"); }
