// Named timing blocks measured with the high-resolution counter, reported to
// "_profile.txt" when the program ends. Mark a block with ProfileStart and
// ProfileStop of one name, or with a ProfileScope that lives as long as it.
#pragma once
#include <cstdio>
#include <list>
#include <string>

#include "CriticalSection.h"

struct ProfileEntry {
  std::string name;  // the key, compared ignoring case
  std::string file;  // of the first ProfileStart of the name
  long long totalTicks;
  long long longestTicks;
  long long shortestTicks;
  long long runningStart;  // counter value; 0 while not running
  int samples;
};

class CProfiler {
 public:
  // Empties "_profile.txt" and starts it; stays disabled when the file
  // cannot be made or the counter reads 0.
  CProfiler();
  // Appends the run time and the report.
  virtual ~CProfiler();

  void ProfileStart(const char* name, const char* file);
  // A stop without a running start is noted in "_profile.txt".
  void ProfileStop(const char* name, const char* file);
  // The entries, largest total first, to an open report file.
  void WriteReport(FILE* file, double runTimeSeconds);

  bool IsEnabled() const { return enabled_; }

 private:
  CProfiler(const CProfiler&) = delete;
  CProfiler& operator=(const CProfiler&) = delete;
  ProfileEntry* Find(const char* name);

  bool enabled_;
  std::list<ProfileEntry> entries_;  // in order of first use
  long long programStart_;
  CriticalSection lock_;
};

extern CProfiler g_profiler;

// Times its own lifetime as a block of g_profiler; the start names the
// caller's source file.
class ProfileScope {
 public:
  explicit ProfileScope(const char* name, const char* file = __builtin_FILE()) : name_(name) {
    g_profiler.ProfileStart(name_.c_str(), file);
  }
  ~ProfileScope() { g_profiler.ProfileStop(name_.c_str(), __FILE__); }

 private:
  ProfileScope(const ProfileScope&) = delete;
  ProfileScope& operator=(const ProfileScope&) = delete;
  std::string name_;
};

// The counter and its ticks per second. Tests drive the profiler with a
// clock of their own; null restores the platform's.
typedef long long (*ProfilerClockSource)();
void SetProfilerClock(ProfilerClockSource counter, ProfilerClockSource frequency);
// The platform's high-resolution counter (0 when there is none).
long long ReadPerformanceCounter();
long long ReadPerformanceFrequency();
