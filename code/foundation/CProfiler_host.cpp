// The profiler's clock in the native build: the steady clock in nanoseconds.
#include <chrono>

#include "CProfiler.h"

long long ReadPerformanceCounter() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

long long ReadPerformanceFrequency() { return 1000000000LL; }
