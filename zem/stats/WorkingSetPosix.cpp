#include <unistd.h>

#include <cstdio>

#include "Hardware.h"

namespace zem {

uint64_t processWorkingSet() {
  // Resident pages, the second field of statm.
  unsigned long long size = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  int n = std::fscanf(f, "%llu %llu", &size, &resident);
  std::fclose(f);
  long page = sysconf(_SC_PAGESIZE);
  return n == 2 && page > 0 ? resident * static_cast<uint64_t>(page) : 0;
}

}  // namespace zem
