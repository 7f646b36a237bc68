// Three threads taking turns on one critical section, and nothing else: the
// pattern the base library's lock test runs, without any of this project's code.
#include <windows.h>

#include <cstdio>

namespace {
CRITICAL_SECTION g_lock;
long g_total = 0;

DWORD WINAPI addUnderLock(void*) {
  for (int i = 0; i < 20000; ++i) {
    EnterCriticalSection(&g_lock);
    ++g_total;
    LeaveCriticalSection(&g_lock);
  }
  return 0;
}
}  // namespace

int main() {
  InitializeCriticalSection(&g_lock);
  HANDLE threads[3];
  for (HANDLE& t : threads) t = CreateThread(nullptr, 64 * 1024, addUnderLock, nullptr, 0, nullptr);
  WaitForMultipleObjects(3, threads, TRUE, INFINITE);
  std::printf("total %ld of 60000\n", g_total);
  return g_total == 60000 ? 0 : 1;
}
