// The system report, with the processor's answers and the version code given
// by the test; and once with the real processor.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "TestSupport.h"
#include "foundation/SystemReport.h"
#include "foundation/Utility.h"

namespace {

bool g_hasCpuid;
std::map<unsigned, CpuidResult> g_leaves;
int g_queries;
int g_osCode;

bool FakeAvailable() { return g_hasCpuid; }
void FakeCpuid(unsigned leaf, CpuidResult* out) {
  ++g_queries;
  *out = g_leaves.count(leaf) ? g_leaves[leaf] : CpuidResult{0, 0, 0, 0};
}
int FakeOsVersion() { return g_osCode; }

unsigned Text4(const char* four) {
  return static_cast<unsigned char>(four[0]) | static_cast<unsigned char>(four[1]) << 8 |
         static_cast<unsigned char>(four[2]) << 16 | static_cast<unsigned>(static_cast<unsigned char>(four[3])) << 24;
}

const unsigned kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;

class SystemReport : public testing::Test {
 protected:
  void SetUp() override {
    g_hasCpuid = true;
    g_queries = 0;
    g_osCode = 7;
    // "GenuineIntel": EBX, EDX, ECX.
    SetLeaves(1, 8, kMmx | kSse | kSse2);
    SetCpuidSource(FakeAvailable, FakeCpuid);
    SetOsVersionSource(FakeOsVersion);
  }
  void TearDown() override {
    SetCpuidSource(nullptr, nullptr);
    SetOsVersionSource(nullptr);
  }
  static void SetLeaves(unsigned highestLeaf, unsigned logical, unsigned features) {
    g_leaves.clear();
    g_leaves[0] = CpuidResult{highestLeaf, Text4("Genu"), Text4("ntel"), Text4("ineI")};
    g_leaves[1] = CpuidResult{0x000306C3, (logical << 16) | 0x0800, 0x7FFAFBFF, features};
  }
  static std::string Report() {
    LogTail stats("_stat.txt");
    ReportSystemInfo();
    return stats.Text();
  }
};

TEST_F(SystemReport, FullReport) {
  EXPECT_EQ(Report(),
            "OS Version: Windows XP\n"
            "CPU info:\n"
            "  -code name: GenuineIntel\n"
            "  -number of logical processors: 8\n"
            "  -extended instructions: mmx sse sse2 \n");
}

TEST_F(SystemReport, ExtensionsCountOnlyOnTopOfTheOlderOnes) {
  struct Case {
    unsigned features;
    bool mmx, sse, sse2;
    const char* line;
  } cases[] = {
      {kMmx | kSse, true, true, false, "  -extended instructions: mmx sse \n"},
      {kMmx | kSse2, true, false, false, "  -extended instructions: mmx \n"},
      {kSse | kSse2, false, false, false, "  -extended instructions: \n"},
      {0, false, false, false, "  -extended instructions: \n"},
  };
  for (const Case& c : cases) {
    SetLeaves(1, 2, c.features);
    SetCpuidSource(FakeAvailable, FakeCpuid);  // a fresh read
    CpuInfo info;
    EXPECT_TRUE(GetCpuInfo(&info));
    EXPECT_EQ(info.mmx, c.mmx) << c.line;
    EXPECT_EQ(info.sse, c.sse) << c.line;
    EXPECT_EQ(info.sse2, c.sse2) << c.line;
    std::string report = Report();
    EXPECT_EQ(report.substr(report.rfind("  -extended")), c.line);
  }
}

TEST_F(SystemReport, NoLogicalProcessorsCountsAsOne) {
  SetLeaves(1, 0, kMmx);
  CpuInfo info;
  EXPECT_TRUE(GetCpuInfo(&info));
  EXPECT_EQ(info.logicalProcessors, 1u);
  EXPECT_NE(Report().find("  -number of logical processors: 1\n"), std::string::npos);
}

TEST_F(SystemReport, WithoutLeafOneOnlyTheVendorIsRead) {
  SetLeaves(0, 4, kMmx | kSse | kSse2);
  CpuInfo info;
  EXPECT_TRUE(GetCpuInfo(&info));
  EXPECT_EQ(g_queries, 1);
  EXPECT_STREQ(info.vendor, "GenuineIntel");
  EXPECT_FALSE(info.mmx || info.sse || info.sse2);
  EXPECT_EQ(info.logicalProcessors, 1u);
}

TEST_F(SystemReport, WithoutCpuidTheReportAssumesOneProcessor) {
  g_hasCpuid = false;
  CpuInfo info;
  std::memset(&info, 0x55, sizeof info);
  EXPECT_FALSE(GetCpuInfo(&info));
  EXPECT_EQ(g_queries, 0);
  EXPECT_STREQ(info.vendor, "unknown");
  EXPECT_FALSE(info.mmx || info.sse || info.sse2);
  EXPECT_EQ(info.logicalProcessors, 1u);
  g_osCode = 9;
  EXPECT_EQ(Report(),
            "OS Version: Something really new...?\n"
            "CPU info:\n"
            "  -(unable to determine)\n"
            "  -will assume 1 logical processors...\n");
}

TEST_F(SystemReport, TheProcessorIsReadOnce) {
  CpuInfo first, second;
  EXPECT_TRUE(GetCpuInfo(&first));
  int queries = g_queries;
  EXPECT_EQ(queries, 2);
  SetLeaves(1, 64, 0);  // would read differently now
  g_hasCpuid = false;
  EXPECT_TRUE(GetCpuInfo(&second));
  EXPECT_EQ(g_queries, queries);
  EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
}

TEST_F(SystemReport, EveryVersionCodeHasItsText) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {
      {0, "Unable to determine...\n"},   {1, "Something really old...\n"},   {2, "Windows NT3\n"},
      {3, "Windows 95\n"},               {4, "Windows 98\n"},                {5, "Windows ME\n"},
      {6, "Windows 2000\n"},             {7, "Windows XP\n"},                {8, "Windows 2003\n"},
      {9, "Something really new...?\n"}, {10, "Unable to determine...\n"},   {-1, "Unable to determine...\n"},
  };
  for (const Case& c : cases) {
    g_osCode = c.code;
    std::string report = Report();
    EXPECT_EQ(report.substr(0, report.find("CPU info:\n")), std::string("OS Version: ") + c.text) << c.code;
  }
}

TEST(SystemReportOnThisMachine, TheRealProcessorIsRead) {
  SetCpuidSource(nullptr, nullptr);
  CpuInfo info;
  ASSERT_TRUE(GetCpuInfo(&info));
  EXPECT_EQ(std::strlen(info.vendor), 12u) << info.vendor;
  EXPECT_GE(info.logicalProcessors, 1u);
#if defined(__x86_64__)
  // Every x86-64 processor has all three.
  EXPECT_TRUE(info.mmx && info.sse && info.sse2);
#endif
  LogTail stats("_stat.txt");
  ReportSystemInfo();
  std::string expected = std::string("OS Version: ") +
                         (GetOsVersion() == 9 ? "Something really new...?\n" : "Unable to determine...\n") +
                         "CPU info:\n  -code name: " + info.vendor + "\n  -number of logical processors: " +
                         std::to_string(info.logicalProcessors) + "\n  -extended instructions: " +
                         (info.mmx ? "mmx " : "") + (info.sse ? "sse " : "") + (info.sse2 ? "sse2 " : "") + "\n";
  EXPECT_EQ(stats.Text(), expected);
}

}  // namespace
