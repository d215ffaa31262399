// The start-up report of the Windows version and the processor (vendor,
// logical processors, instruction-set extensions) in the statistics log.
#pragma once

struct CpuInfo {
  char vendor[13];  // "Unknown" before detection, "unknown" without CPUID
  bool mmx;
  bool sse;
  bool sse2;
  unsigned logicalProcessors;  // at least 1
};

// True when the processor has the CPUID instruction. The processor is read
// once; later calls copy the cached record and result.
bool GetCpuInfo(CpuInfo* info);

// Writes the report to StatLog.
void ReportSystemInfo();

// ---- Seams -----------------------------------------------------------------
struct CpuidResult {
  unsigned eax, ebx, ecx, edx;
};
typedef bool (*CpuidAvailableSource)();
typedef void (*CpuidQuerySource)(unsigned leaf, CpuidResult* out);
// Where GetCpuInfo reads the processor (tests give their own answers); null
// restores the processor's own. Either way the cache is cleared.
void SetCpuidSource(CpuidAvailableSource available, CpuidQuerySource query);

// Where ReportSystemInfo reads the version code; null restores GetOsVersion.
typedef int (*OsVersionSource)();
void SetOsVersionSource(OsVersionSource source);

// The processor's own (SystemReport_win32.cpp, or the native stand-in):
// whether bit 21 of EFLAGS (the ID flag) can be toggled, and CPUID itself.
bool ProcessorHasCpuid();
void ProcessorCpuid(unsigned leaf, CpuidResult* out);
