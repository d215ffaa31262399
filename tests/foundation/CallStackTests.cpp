#include <gtest/gtest.h>

#include <windows.h>
#include <dbghelp.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "StartupTrace.h"
#include "TestSupport.h"
#include "foundation/CallStack.h"
#include "foundation/StartupOrder.h"

namespace {

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

// ---- After the symbol handler's clean-up ----------------------------------

// In a child run that names a file in QV_STACK_AFTER_CLEANUP: built just
// before the symbol handler, so torn down just after its clean-up (as the
// leak report is), it appends the call-stack text taken then.
struct StackAfterCleanup {
  ~StackAfterCleanup() {
    const char* path = std::getenv("QV_STACK_AFTER_CLEANUP");
    if (!path || !*path) return;
    std::string text = "after: ready " + std::to_string(IsSymbolHandlerReady()) + " [" + CallStackText() + "]\n";
    if (FILE* f = std::fopen(path, "a")) {
      std::fputs(text.c_str(), f);
      std::fclose(f);
    }
  }
};
StackAfterCleanup s_stackAfterCleanup __attribute__((init_priority(1000 + 10 * kRowSymbolHandler - 1)));

// The child run's entry point: notes whether stacks worked while it ran.
TEST(CallStackChild, DISABLED_TakesAStackAndEnds) {
  const char* path = std::getenv("QV_STACK_AFTER_CLEANUP");
  ASSERT_NE(path, nullptr);
  WriteFileText(path, "during: ready " + std::to_string(IsSymbolHandlerReady()) + " lines " +
                          std::to_string(Lines(CallStackText()).size()) + "\n");
}

TEST(CallStack, TextTakenAfterTheHandlersCleanUpIsEmpty) {
  const std::string file = "_stack_after_cleanup.txt";
  std::remove(file.c_str());
  SetEnvironmentVariableA("QV_STACK_AFTER_CLEANUP", file.c_str());
  int exitCode = RunThisProgramInChild("CallStackChild.DISABLED_TakesAStackAndEnds");
  SetEnvironmentVariableA("QV_STACK_AFTER_CLEANUP", nullptr);
  EXPECT_EQ(exitCode, 0);
  std::vector<std::string> lines = Lines(ReadFileText(file));
  ASSERT_EQ(lines.size(), 2u) << ReadFileText(file);
  EXPECT_EQ(lines[0].rfind("during: ready 1 lines ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0], "during: ready 1 lines 0");
  EXPECT_EQ(lines[1], "after: ready 0 []");
}

// ---- The handler's start ------------------------------------------------------

// In a child run that names a file in QV_STACK_START: what dbghelp knows of
// this program before the first call-stack text and after it, and whether
// the symbols of a module that the stack did not pass through were read.
TEST(CallStackChild, DISABLED_NotesWhatTheFirstStackStarts) {
  const char* path = std::getenv("QV_STACK_START");
  ASSERT_NE(path, nullptr);
  const HANDLE process = GetCurrentProcess();
  const DWORD64 own = reinterpret_cast<DWORD64>(&Recurse);
  const bool knownBefore = SymGetModuleBase64(process, own) != 0;
  const size_t lines = Lines(CallStackText()).size();
  const bool knownAfter = SymGetModuleBase64(process, own) != 0;
  IMAGEHLP_MODULE64 module = {};
  module.SizeOfStruct = sizeof module;
  const HMODULE aside = GetModuleHandleA("ws2_32.dll");
  std::string symbols = "unknown";
  if (aside && SymGetModuleInfo64(process, reinterpret_cast<DWORD64>(aside), &module))
    symbols = module.SymType == SymDeferred ? "deferred" : "read";
  WriteFileText(path, "before " + std::to_string(knownBefore) + ", after " + std::to_string(knownAfter) +
                          ", stack " + (lines > 0 ? "taken" : "empty") + ", ws2_32 symbols " + symbols + "\n");
}

TEST(CallStack, TheHandlerStartsWithTheFirstStackAndReadsOnlyTheModulesItPasses) {
  const std::string file = "_stack_start.txt";
  std::remove(file.c_str());
  SetEnvironmentVariableA("QV_STACK_START", file.c_str());
  int exitCode = RunThisProgramInChild("CallStackChild.DISABLED_NotesWhatTheFirstStackStarts");
  SetEnvironmentVariableA("QV_STACK_START", nullptr);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(ReadFileText(file), "before 0, after 1, stack taken, ws2_32 symbols deferred\n");
}

}  // namespace
