// The processor's CPUID, as the Windows programs read it.
#include <cpuid.h>

#include "SystemReport.h"

bool ProcessorHasCpuid() {
  // A processor with CPUID lets a program toggle the ID flag (bit 21).
#if defined(__x86_64__)
  unsigned long long original, toggled;
  __asm__ volatile(
      "pushfq\n\t"
      "popq %0\n\t"
      "movq %0, %1\n\t"
      "xorq $0x200000, %1\n\t"
      "pushq %1\n\t"
      "popfq\n\t"
      "pushfq\n\t"
      "popq %1\n\t"
      "pushq %0\n\t"
      "popfq"
      : "=&r"(original), "=&r"(toggled)
      :
      : "cc");
#else
  unsigned long original, toggled;
  __asm__ volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl"
      : "=&r"(original), "=&r"(toggled)
      :
      : "cc");
#endif
  return ((original ^ toggled) & 0x200000) != 0;
}

void ProcessorCpuid(unsigned leaf, CpuidResult* out) {
  unsigned a, b, c, d;
  __cpuid(leaf, a, b, c, d);
  *out = CpuidResult{a, b, c, d};
}
