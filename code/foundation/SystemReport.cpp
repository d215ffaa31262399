// The system report and the cached processor information.
#include "SystemReport.h"

#include <cstring>

#include "LogFile.h"
#include "Utility.h"

namespace {

CpuidAvailableSource s_cpuidAvailable = ProcessorHasCpuid;
CpuidQuerySource s_cpuid = ProcessorCpuid;
OsVersionSource s_osVersion = GetOsVersion;

// Zero before anything runs: no constructor needed.
CpuInfo s_cachedInfo;
bool s_cachedResult;
bool s_cached;

void AppendRegister(char* out, unsigned value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

const char* OsVersionText(int code) {
  switch (code) {
    case 1: return "Something really old...\n";
    case 2: return "Windows NT3\n";
    case 3: return "Windows 95\n";
    case 4: return "Windows 98\n";
    case 5: return "Windows ME\n";
    case 6: return "Windows 2000\n";
    case 7: return "Windows XP\n";
    case 8: return "Windows 2003\n";
    case 9: return "Something really new...?\n";
    default: return "Unable to determine...\n";
  }
}

}  // namespace

void SetCpuidSource(CpuidAvailableSource available, CpuidQuerySource query) {
  s_cpuidAvailable = available ? available : ProcessorHasCpuid;
  s_cpuid = query ? query : ProcessorCpuid;
  s_cached = false;
}

void SetOsVersionSource(OsVersionSource source) { s_osVersion = source ? source : GetOsVersion; }

bool GetCpuInfo(CpuInfo* info) {
  if (!s_cached) {
    CpuInfo found;
    std::memset(&found, 0, sizeof found);
    std::strcpy(found.vendor, "Unknown");
    bool result = s_cpuidAvailable();
    if (result) {
      CpuidResult leaf0 = {};
      s_cpuid(0, &leaf0);
      // The vendor text is spread over EBX, EDX, ECX, in that order.
      AppendRegister(found.vendor, leaf0.ebx);
      AppendRegister(found.vendor + 4, leaf0.edx);
      AppendRegister(found.vendor + 8, leaf0.ecx);
      found.vendor[12] = '\0';
      if (leaf0.eax >= 1) {
        CpuidResult leaf1 = {};
        s_cpuid(1, &leaf1);
        found.logicalProcessors = (leaf1.ebx >> 16) & 0xFF;
        // Each extension counts only when the older one is there too.
        found.mmx = (leaf1.edx >> 23) & 1;
        found.sse = found.mmx && ((leaf1.edx >> 25) & 1);
        found.sse2 = found.sse && ((leaf1.edx >> 26) & 1);
      }
    } else {
      std::strcpy(found.vendor, "unknown");
      found.mmx = found.sse = found.sse2 = false;
      found.logicalProcessors = 1;
    }
    if (found.logicalProcessors < 1) found.logicalProcessors = 1;
    s_cachedInfo = found;
    s_cachedResult = result;
    s_cached = true;
  }
  *info = s_cachedInfo;
  return s_cachedResult;
}

void ReportSystemInfo() {
  StatLog << "OS Version: " << OsVersionText(s_osVersion());
  StatLog << "CPU info:\n";
  CpuInfo info;
  if (GetCpuInfo(&info)) {
    StatLog << "  -code name: " << info.vendor << "\n";
    StatLog << "  -number of logical processors: " << static_cast<int>(info.logicalProcessors) << "\n";
    StatLog << "  -extended instructions: ";
    if (info.mmx) StatLog << "mmx ";
    if (info.sse) StatLog << "sse ";
    if (info.sse2) StatLog << "sse2 ";
    StatLog << "\n";
  } else {
    StatLog << "  -(unable to determine)\n";
    StatLog << "  -will assume " << static_cast<int>(info.logicalProcessors) << " logical processors...\n";
  }
}
