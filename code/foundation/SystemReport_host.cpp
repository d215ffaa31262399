// Native stand-in for the processor's CPUID: the compiler's own access where
// the machine is an x86, none elsewhere.
#include "SystemReport.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>

bool ProcessorHasCpuid() { return __get_cpuid_max(0, nullptr) != 0; }

void ProcessorCpuid(unsigned leaf, CpuidResult* out) {
  unsigned a, b, c, d;
  __cpuid(leaf, a, b, c, d);
  *out = CpuidResult{a, b, c, d};
}
#else
bool ProcessorHasCpuid() { return false; }
void ProcessorCpuid(unsigned, CpuidResult* out) { *out = CpuidResult{0, 0, 0, 0}; }
#endif
