#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/CallStack.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

TEST(CallStack, EveryLineIsAFrameOfTheModuleOrExternal) {
  ASSERT_TRUE(IsSymbolHandlerReady());
  std::string text = CallStackText();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  for (const std::string& line : Lines(text)) {
    bool framed = line.rfind("   ", 0) == 0 || line.rfind("  (Error?)", 0) == 0;
    EXPECT_TRUE(framed) << line;
    EXPECT_NE(line.find(": "), std::string::npos) << line;
  }
}

std::string s_insideCallback;
BOOL CALLBACK TakeStackInCallback(LPSTR) {
  s_insideCallback = CallStackText();
  return FALSE;  // once is enough
}

TEST(CallStack, FramesInsideASystemLibraryAreExternalCode) {
  // The callback is called from inside kernel32.
  EnumSystemCodePagesA(TakeStackInCallback, CP_INSTALLED);
  bool external = false;
  for (const std::string& line : Lines(s_insideCallback))
    if (line.size() > 17 && line.compare(line.size() - 17, 17, ": (external code)") == 0) external = true;
  EXPECT_TRUE(external) << s_insideCallback;
}

__attribute__((noinline)) std::string Recurse(int depth) {
  if (depth == 0) return CallStackText();
  std::string s = Recurse(depth - 1);
  s += '\0';  // keeps the call from becoming a jump
  s.pop_back();
  return s;
}

TEST(CallStack, DeepStacksStopAfterSixtyFourLines) {
  std::vector<std::string> lines = Lines(Recurse(100));
  ASSERT_EQ(lines.size(), 65u);
  EXPECT_EQ(lines[64], "  (Error while walking stack... over 64 walks... ending prematurely)");
}

TEST(CallStack, LastErrorTextDropsTheSystemEnding) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  std::string text = LastErrorText();
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '.');
  SetLastError(0x2000FFFF);  // no system text
  EXPECT_EQ(LastErrorText(), "");
}

}  // namespace
