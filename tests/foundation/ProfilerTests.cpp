// The profiler, driven by a clock of the test's own, so report figures are
// exact.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "foundation/CProfiler.h"
#include "foundation/StartupOrder.h"
#include "foundation/Utility.h"

namespace {

std::atomic<long long> g_now;
long long FakeCounter() { return g_now.load(); }
long long FakeFrequency() { return 10000000; }  // 10 MHz, as Windows reports
long long ZeroCounter() { return 0; }

class Profiler : public testing::Test {
 protected:
  void SetUp() override {
    g_now = 1000;
    SetProfilerClock(FakeCounter, FakeFrequency);
  }
  void TearDown() override { SetProfilerClock(nullptr, nullptr); }

  // One block of the given length in ticks.
  static void Sample(CProfiler& profiler, const char* name, const char* file, long long ticks) {
    profiler.ProfileStart(name, file);
    g_now += ticks;
    profiler.ProfileStop(name, file);
  }
};

TEST_F(Profiler, ReportListsTheLargestTotalFirstWithExactFigures) {
  {
    CProfiler profiler;
    ASSERT_TRUE(profiler.IsEnabled());
    EXPECT_EQ(ReadFileText("_profile.txt"), "Profile File Started.\n\n");
    Sample(profiler, "Init item renderer", "b.cpp", 1000000);
    for (int i = 0; i < 10; ++i) Sample(profiler, "Load Mesh (mbm or bmbm)", "a.cpp", i % 2 ? 600000 : 400000);
    for (long long ticks : {2, 1, 4}) Sample(profiler, "Odd", "c.cpp", ticks);
    g_now = 1000 + 30000000;  // three seconds after the start
  }
  EXPECT_EQ(ReadFileText("_profile.txt"),
            "Profile File Started.\n\n"
            "Total program execution time: 3 seconds.\n\n"
            " -- Profiles --\n\n"
            "Load Mesh (mbm or bmbm) - a.cpp\n"
            " Average time: 50 ms\n"
            " Max time: 60 ms\n"
            " Min time: 40 ms\n"
            " Total time: 0.5 seconds\n"
            " Samples taken: 10\n"
            " Percentage of total time: 16%\n\n"
            "Init item renderer - b.cpp\n"
            " Average time: 100 ms\n"
            " Max time: 100 ms\n"
            " Min time: 100 ms\n"
            " Total time: 0.1 seconds\n"
            " Samples taken: 1\n"
            " Percentage of total time: 3%\n\n"
            "Odd - c.cpp\n"
            " Average time: 0.0002333333333333334 ms\n"
            " Max time: 0.0004 ms\n"
            " Min time: 0.0001 ms\n"
            " Total time: 7e-07 seconds\n"
            " Samples taken: 3\n"
            " Percentage of total time: 0%\n\n");
}

TEST_F(Profiler, TenSamplesOfHalfASecondInATwoSecondRunAreAQuarter) {
  auto profiler = std::make_unique<CProfiler>();
  for (int i = 0; i < 10; ++i) Sample(*profiler, "Build Position Mesh", "m.cpp", 500000);
  g_now = 1000 + 20000000;
  {
    FILE* f = std::fopen("_report_only.txt", "wt");
    ASSERT_NE(f, nullptr);
    profiler->WriteReport(f, 2.0);
    std::fclose(f);
  }
  EXPECT_EQ(ReadFileText("_report_only.txt"),
            " -- Profiles --\n\n"
            "Build Position Mesh - m.cpp\n"
            " Average time: 50 ms\n"
            " Max time: 50 ms\n"
            " Min time: 50 ms\n"
            " Total time: 0.5 seconds\n"
            " Samples taken: 10\n"
            " Percentage of total time: 25%\n\n");
}

TEST_F(Profiler, AnEntryNeverStoppedReportsZeroesInsteadOfDividingByZero) {
  {
    CProfiler profiler;
    profiler.ProfileStart("Never stopped", "n.cpp");
    g_now += 5000;
  }
  EXPECT_EQ(ReadFileText("_profile.txt"),
            "Profile File Started.\n\n"
            "Total program execution time: 0.0005 seconds.\n\n"
            " -- Profiles --\n\n"
            "Never stopped - n.cpp\n"
            " Average time: 0 ms\n"
            " Max time: 0 ms\n"
            " Min time: 0 ms\n"
            " Total time: 0 seconds\n"
            " Samples taken: 0\n"
            " Percentage of total time: 0%\n\n");
}

TEST_F(Profiler, AReportOverNoRunTimeGivesNoPercentage) {
  CProfiler profiler;
  Sample(profiler, "Instant", "i.cpp", 10);
  FILE* f = std::fopen("_report_only.txt", "wt");
  ASSERT_NE(f, nullptr);
  profiler.WriteReport(f, 0.0);
  std::fclose(f);
  EXPECT_NE(ReadFileText("_report_only.txt").find(" Percentage of total time: 0%\n"), std::string::npos);
}

TEST_F(Profiler, SecondStartOverwritesTheFirstAndCaseDoesNotMatter) {
  {
    CProfiler profiler;
    profiler.ProfileStart("Optimize Position Mesh", "first.cpp");
    g_now += 7000;
    profiler.ProfileStart("OPTIMIZE position MESH", "second.cpp");
    g_now += 3000;
    profiler.ProfileStop("optimize position mesh", "third.cpp");
    g_now = 1000 + 10000000;
  }
  EXPECT_EQ(ReadFileText("_profile.txt"),
            "Profile File Started.\n\n"
            "Total program execution time: 1 seconds.\n\n"
            " -- Profiles --\n\n"
            "Optimize Position Mesh - first.cpp\n"
            " Average time: 0.3 ms\n"
            " Max time: 0.3 ms\n"
            " Min time: 0.3 ms\n"
            " Total time: 0.0003 seconds\n"
            " Samples taken: 1\n"
            " Percentage of total time: 0%\n\n");
}

TEST_F(Profiler, AStopWithoutAStartIsNoted) {
  CProfiler profiler;
  profiler.ProfileStop("Never started", "s.cpp");
  Sample(profiler, "Once", "o.cpp", 10);
  profiler.ProfileStop("once", "again.cpp");  // no longer running
  EXPECT_EQ(ReadFileText("_profile.txt"),
            "Profile File Started.\n\n"
            "Warning: ProfileStop called without a matching ProfileStart\n"
            "  Name: Never started\n"
            "  File: s.cpp\n\n"
            "Warning: ProfileStop called without a matching ProfileStart\n"
            "  Name: once\n"
            "  File: again.cpp\n\n");
}

TEST_F(Profiler, WithoutACounterEverythingIsSilent) {
  SetProfilerClock(ZeroCounter, FakeFrequency);
  {
    CProfiler profiler;
    EXPECT_FALSE(profiler.IsEnabled());
    profiler.ProfileStop("Never started", "s.cpp");
    Sample(profiler, "Ignored", "x.cpp", 10);
  }
  EXPECT_EQ(ReadFileText("_profile.txt"),
            "Profile File Started.\n\n"
            "Error: System doesn't support high resolution time.  Profiling disabled.\n");
}

TEST_F(Profiler, WithoutItsFileTheProfilerStaysDisabled) {
  // A folder where the file should be: it cannot be opened for writing.
  MakeDirectory("_profile_blocked");
  MakeDirectory("_profile_blocked\\_profile.txt");
  std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path("_profile_blocked");
  {
    CProfiler profiler;
    EXPECT_FALSE(profiler.IsEnabled());
    profiler.ProfileStop("Never started", "s.cpp");
  }
  std::filesystem::current_path(home);
  EXPECT_TRUE(std::filesystem::is_directory("_profile_blocked/_profile.txt"));
}

TEST_F(Profiler, ThreadsProfileSideBySide) {
  auto profiler = std::make_unique<CProfiler>();
  std::vector<std::thread> threads;
  const char* names[] = {"one", "two", "three", "four"};
  for (const char* name : names)
    threads.emplace_back([&profiler, name] {
      for (int i = 0; i < 500; ++i) {
        profiler->ProfileStart(name, "t.cpp");
        ++g_now;
        profiler->ProfileStop(name, "t.cpp");
      }
    });
  for (std::thread& t : threads) t.join();
  FILE* f = std::fopen("_report_only.txt", "wt");
  ASSERT_NE(f, nullptr);
  profiler->WriteReport(f, 1.0);
  std::fclose(f);
  std::string report = ReadFileText("_report_only.txt");
  for (const char* name : names) {
    size_t at = report.find(std::string(name) + " - t.cpp\n");
    ASSERT_NE(at, std::string::npos) << name;
    EXPECT_EQ(report.compare(report.find(" Samples taken: ", at), 20, " Samples taken: 500\n"), 0) << name;
  }
}

TEST_F(Profiler, ProfileScopeTimesItsLifetimeInTheProgramsProfiler) {
  ASSERT_TRUE(g_profiler.IsEnabled());
  {
    ProfileScope scope("Generate floor textures from .fsh");
    g_now += 250000;
  }
  FILE* f = std::fopen("_report_only.txt", "wt");
  ASSERT_NE(f, nullptr);
  g_profiler.WriteReport(f, 1.0);
  std::fclose(f);
  std::string report = ReadFileText("_report_only.txt");
  EXPECT_NE(report.find("Generate floor textures from .fsh - tests/foundation/ProfilerTests.cpp\n"
                        " Average time: 25 ms\n"
                        " Max time: 25 ms\n"
                        " Min time: 25 ms\n"
                        " Total time: 0.025 seconds\n"
                        " Samples taken: 1\n"
                        " Percentage of total time: 2%\n\n"),
            std::string::npos)
      << report;

  // A scope whose start read 0 is not running at its end: the warning names
  // the profiler's header as the stopping file.
  LogTail profile("_profile.txt");
  g_now = 0;
  {
    ProfileScope scope("Zero start");
    g_now = 5;
  }
  EXPECT_EQ(profile.Text(),
            "Warning: ProfileStop called without a matching ProfileStart\n"
            "  Name: Zero start\n"
            "  File: code/foundation/CProfiler.h\n\n");
}

TEST(ProfilerGlobal, BuiltAtStartupInItsRow) {
  bool found = false;
  for (int i = 0; i < StartupEventCount(); ++i) {
    const StartupEvent& e = StartupEventAt(i);
    if (e.row == kRowProfiler && e.built) found = std::string(e.name) == "g_profiler";
  }
  EXPECT_TRUE(found);
}

}  // namespace
