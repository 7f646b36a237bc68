#include <windows.h>
#include <psapi.h>

#include "Hardware.h"

namespace zem {

uint64_t processWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  // K32GetProcessMemoryInfo lives in kernel32, so zem needs no psapi.dll.
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.WorkingSetSize;
}

}  // namespace zem
