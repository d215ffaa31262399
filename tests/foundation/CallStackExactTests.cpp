// The exact form of call-stack lines. Built unoptimised: under Wine, source
// lines resolve only for frames of an unoptimised build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/CallStack.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
