// The profiler's clock on Windows: the performance counter.
#include <windows.h>

#include "CProfiler.h"

long long ReadPerformanceCounter() {
  LARGE_INTEGER value;
  return QueryPerformanceCounter(&value) ? value.QuadPart : 0;
}

long long ReadPerformanceFrequency() {
  LARGE_INTEGER value;
  return QueryPerformanceFrequency(&value) ? value.QuadPart : 0;
}
