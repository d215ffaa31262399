// The profiler: entries, the stop warning and the report at exit.
#include "CProfiler.h"

#include "Platform.h"
#include "StartupOrder.h"

namespace {

// Constant-initialised: usable by the global below, whatever runs first.
ProfilerClockSource s_counter = ReadPerformanceCounter;
ProfilerClockSource s_frequency = ReadPerformanceFrequency;

const char kReportFile[] = "_profile.txt";

bool SameNameIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

// 16 significant digits, general format.
std::string Number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.16g", value);
  return buffer;
}

// Ticks as milliseconds or seconds; a counter without a frequency gives 0.
double Ticks(double ticks, double scale, long long frequency) {
  return frequency > 0 ? ticks * scale / static_cast<double>(frequency) : 0.0;
}

void Append(const std::string& text) {
  FILE* f = std::fopen(kReportFile, "at");
  if (!f) {
    DebugOutput("Unable to open file for CProfiler(error).\n");
    return;
  }
  std::fputs(text.c_str(), f);
  std::fclose(f);
}

}  // namespace

void SetProfilerClock(ProfilerClockSource counter, ProfilerClockSource frequency) {
  s_counter = counter ? counter : ReadPerformanceCounter;
  s_frequency = frequency ? frequency : ReadPerformanceFrequency;
}

CProfiler::CProfiler() : enabled_(false), programStart_(0) {
  FILE* f = std::fopen(kReportFile, "wt");
  if (!f) {
    DebugOutput("Unable to open file for CProfiler(start).\n");
    return;
  }
  std::fputs("Profile File Started.\n\n", f);
  programStart_ = s_counter();
  if (programStart_ != 0) {
    enabled_ = true;
  } else {
    std::fputs("Error: System doesn't support high resolution time.  Profiling disabled.\n", f);
  }
  std::fclose(f);
}

CProfiler::~CProfiler() {
  if (enabled_) {
    long long now = s_counter();
    long long frequency = s_frequency();
    double runTime = Ticks(static_cast<double>(now - programStart_), 1.0, frequency);
    if (FILE* f = std::fopen(kReportFile, "at")) {
      std::fputs(("Total program execution time: " + Number(runTime) + " seconds.\n\n").c_str(), f);
      WriteReport(f, runTime);
      std::fclose(f);
    } else {
      DebugOutput("Unable to open file for CProfiler(end).\n");
    }
  }
  // Calls made later in the program's teardown do nothing.
  enabled_ = false;
  CriticalSectionLock hold(lock_);
  entries_.clear();
}

ProfileEntry* CProfiler::Find(const char* name) {
  for (ProfileEntry& entry : entries_)
    if (SameNameIgnoringCase(entry.name, name)) return &entry;
  return nullptr;
}

void CProfiler::ProfileStart(const char* name, const char* file) {
  if (!enabled_) return;
  CriticalSectionLock hold(lock_);
  ProfileEntry* entry = Find(name);
  if (!entry) {
    entries_.push_back(ProfileEntry{name, file ? file : "", 0, 0, 0, 0, 0});
    entry = &entries_.back();
  }
  entry->runningStart = s_counter();
}

void CProfiler::ProfileStop(const char* name, const char* file) {
  if (!enabled_) return;
  // Read before the lock: waiting for it is not part of the block.
  long long now = s_counter();
  CriticalSectionLock hold(lock_);
  ProfileEntry* entry = Find(name);
  if (!entry || entry->runningStart == 0) {
    Append(std::string("Warning: ProfileStop called without a matching ProfileStart\n") + "  Name: " + name +
           "\n  File: " + (file ? file : "") + "\n\n");
    return;
  }
  long long elapsed = now - entry->runningStart;
  entry->runningStart = 0;
  if (elapsed > entry->longestTicks) entry->longestTicks = elapsed;
  if (elapsed < entry->shortestTicks || entry->samples == 0) entry->shortestTicks = elapsed;
  entry->totalTicks += elapsed;
  ++entry->samples;
}

void CProfiler::WriteReport(FILE* file, double runTimeSeconds) {
  long long frequency = s_frequency();
  std::fputs(" -- Profiles --\n\n", file);
  CriticalSectionLock hold(lock_);
  entries_.sort([](const ProfileEntry& a, const ProfileEntry& b) { return a.totalTicks > b.totalTicks; });
  for (const ProfileEntry& e : entries_) {
    // An entry started but never stopped has no samples to average.
    double average = e.samples > 0 ? Ticks(static_cast<double>(e.totalTicks) / e.samples, 1000.0, frequency) : 0.0;
    double totalSeconds = Ticks(static_cast<double>(e.totalTicks), 1.0, frequency);
    double percentage = runTimeSeconds > 0 ? totalSeconds / runTimeSeconds * 100.0 : 0.0;
    if (!(percentage < 2147483647.0)) percentage = 0.0;
    std::string text = e.name + " - " + e.file + "\n";
    text += " Average time: " + Number(average) + " ms\n";
    text += " Max time: " + Number(Ticks(static_cast<double>(e.longestTicks), 1000.0, frequency)) + " ms\n";
    text += " Min time: " + Number(Ticks(static_cast<double>(e.shortestTicks), 1000.0, frequency)) + " ms\n";
    text += " Total time: " + Number(totalSeconds) + " seconds\n";
    text += " Samples taken: " + std::to_string(e.samples);
    text += "\n Percentage of total time: " + std::to_string(static_cast<int>(percentage)) + "%\n\n";
    std::fputs(text.c_str(), file);
  }
}

// Row 26: built before the logs, so its report is written after they and
// everything built later are gone.
QV_STARTUP_MARK(kRowProfiler, "g_profiler");
CProfiler g_profiler QV_STARTUP(kRowProfiler);
