// The exact form of call-stack lines. Built unoptimised: under Wine, source
// lines resolve only for frames of an unoptimised build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/CallStack.h"
#include "foundation/LogFile.h"
#include "foundation/NetClient.h"

namespace {

// This program links the unoptimised foundation alone, not the shared test
// support, so it keeps its own small helpers.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

__attribute__((noinline)) std::string KnownFrame() {
  return CallStackText();  // the line named below
}
const int kKnownLine = __LINE__ - 2;

// The source tree as Wine shows a Unix path: drive Z:, backslashes.
std::string WindowsPath(const std::string& relative) {
  const char* top = std::getenv("QV_SOURCE_DIR");
  std::string path = std::string("Z:") + (top ? top : "") + "/" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

TEST(CallStackExact, FramesNameModuleFunctionFileAndLine) {
  std::vector<std::string> lines = Lines(KnownFrame());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("   callstack_o0_tests: CallStackText - " +
                               WindowsPath("code/foundation/CallStack_win32.cpp") + " - Line ",
                           0),
            0u)
      << lines[0];
  EXPECT_EQ(lines[1], "   callstack_o0_tests: KnownFrame - " +
                          WindowsPath("tests/foundation/CallStackExactTests.cpp") + " - Line " +
                          std::to_string(kKnownLine));
}

// What the error log gained while the function ran (text mode, as written).
template <class Function>
std::string ErrorLogGain(Function run) {
  auto read = [] {
    std::ifstream in("_error.txt");
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  };
  size_t start = read().size();
  run();
  return read().substr(start);
}

__attribute__((noinline)) void LogFromKnownFrame() {
  ErrorLog.Write("Error: known.\n");
  WriteCallStack(ErrorLog, "  -attempt made from:\n");  // the line named below
}
const int kLogLine = __LINE__ - 2;

// The error idiom's stack starts with the function that logged: one frame
// more (WriteCallStack's own) or one fewer (the logger's) shows here.
TEST(CallStackExact, ErrorIdiomStartsWithTheFunctionThatLogged) {
  std::vector<std::string> lines = Lines(ErrorLogGain(LogFromKnownFrame));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Error: known.");
  EXPECT_EQ(lines[1], "  -attempt made from:");
  EXPECT_EQ(lines[2], "   callstack_o0_tests: LogFromKnownFrame - " +
                          WindowsPath("tests/foundation/CallStackExactTests.cpp") + " - Line " +
                          std::to_string(kLogLine));
  EXPECT_EQ(lines.back(), "");
}

NetSocket NoSocket() { return kInvalidSocket; }

__attribute__((noinline)) void MisuseClient(NetClient& client) {
  client.Disconnect();  // the line named below
}
const int kMisuseLine = __LINE__ - 2;

// A network object's misuse names the operation that logged it, and then
// the call site.
TEST(CallStackExact, NetworkMisuseNamesTheOperationThenTheCallSite) {
  SetNetworkSeams(nullptr, NoSocket);
  NetClient client;
  SetNetworkSeams(nullptr, nullptr);
  std::vector<std::string> lines = Lines(ErrorLogGain([&] { MisuseClient(client); }));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Error: Attempt to call NETCLIENT::Disconnect when not Init'd.");
  EXPECT_EQ(lines[1], "  -attempt made from:");
  EXPECT_EQ(lines[2].rfind("   callstack_o0_tests: NetClient::Disconnect - " +
                               WindowsPath("code/foundation/NetClient_win32.cpp") + " - Line ",
                           0),
            0u)
      << lines[2];
  EXPECT_EQ(lines[3], "   callstack_o0_tests: MisuseClient - " +
                          WindowsPath("tests/foundation/CallStackExactTests.cpp") + " - Line " +
                          std::to_string(kMisuseLine));
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
