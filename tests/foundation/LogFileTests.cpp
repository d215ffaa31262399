#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "foundation/CallStack.h"
#include "foundation/LogFile.h"

namespace {

TEST(LogFile, ConstructionEmptiesAnOldFile) {
  WriteFileText("_old_log.txt", "left over from last time\n");
  LogFile log("_old_log.txt", 0);
  EXPECT_EQ(ReadFileText("_old_log.txt"), "");
}

TEST(LogFile, EmptyTextDoesNotTouchTheFile) {
  LogFile log("_untouched.txt", 1);
  std::remove("_untouched.txt");
  log.Write("");
  log.Write(nullptr);
  log.WriteString("");
  EXPECT_FALSE(FileExists("_untouched.txt"));
}

TEST(LogFile, PiecesAppendInOrder) {
  LogFile log("_pieces.txt", 0);
  log.Write("a ");
  log.WriteInt(-42);
  log << " b " << std::string("c") << 7;
  log.WriteLong(123456789L).Write("\n");
  log.WriteDouble(0.1);
  EXPECT_EQ(ReadFileText("_pieces.txt"), "a -42 b c7123456789\n0.10000000000000000555");
}

TEST(LogFile, WriteBytesLeavesOutZeroBytes) {
  LogFile log("_bytes.txt", 0);
  const char data[] = {'a', '\0', 'b', '\0'};
  log.WriteBytes(data, 4);
  EXPECT_EQ(ReadFileText("_bytes.txt"), "ab");
}

TEST(LogFile, StaysWritableAfterItsTeardown) {
  // The leak report writes to the error log after the log's own teardown.
  alignas(LogFile) unsigned char storage[sizeof(LogFile)];
  LogFile* log = new (storage) LogFile("_after.txt", 0);
  log->~LogFile();
  log->Write("still here\n");
  EXPECT_EQ(ReadFileText("_after.txt"), "still here\n");
}

TEST(LogFile, TheProgramLogsAreEmptiedAtStart) {
  // Each test program starts in its own folder with the five logs made new.
  for (const char* name : {"_stat.txt", "_netlog.txt", "_shaders.txt", "_meshStats.txt"})
    EXPECT_TRUE(FileExists(name)) << name;
}

// ---- Worker threads --------------------------------------------------------

// Some lines longer than a file buffer, so that one write reaches the file
// in more than one piece, which is where unguarded writes interleave.
std::string ThreadLine(int thread, int index) {
  std::string line = "T" + std::to_string(thread) + " L" + std::to_string(index) + " ";
  line.append(index % 3 == 0 ? 20000 : 200, static_cast<char>('a' + (thread * 7 + index) % 26));
  return line;
}

__attribute__((noinline)) std::string StackFromOneSite() { return CallStackText(); }

TEST(LogFile, WritesAndCallStacksFromManyThreadsStayWhole) {
  LogFile log("_threads.txt", 0);
  const int kThreads = 8, kLines = 150, kStackEvery = 5;
  // The first stack each thread took; the later ones, taken at the same
  // site, must come out the same however the walks overlap.
  std::vector<std::string> firstStack(kThreads);
  std::vector<int> changedStacks(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) {
        log.Write((ThreadLine(t, i) + "\n").c_str());
        if (i % kStackEvery != 0) continue;
        std::string stack = StackFromOneSite();
        if (i == 0)
          firstStack[t] = stack;
        else if (stack != firstStack[t])
          ++changedStacks[t];
        // Marker and stack in one write, as one block of lines.
        log.Write(("T" + std::to_string(t) + " S" + std::to_string(i) + "\n" + stack).c_str());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kLines, 0));
  std::vector<std::vector<std::string>> stackLines(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(changedStacks[t], 0) << t;
    if (IsSymbolHandlerReady()) {
      EXPECT_FALSE(firstStack[t].empty()) << t;
    }
    stackLines[t] = Lines(firstStack[t]);
  }
  // Every line is one of the threads' lines or a marker followed by that
  // thread's whole stack; counted rather than reported one by one, as a
  // torn file has thousands of broken lines, some 20000 characters long.
  std::vector<std::string> lines = Lines(ReadFileText("_threads.txt"));
  int broken = 0;
  std::string firstBroken;
  auto brokenAt = [&](size_t n) {
    if (broken++ == 0) firstBroken = "line " + std::to_string(n) + ": " + lines[n].substr(0, 80);
  };
  for (size_t n = 0; n < lines.size(); ++n) {
    int t = -1, i = -1;
    char kind = 0;
    if (std::sscanf(lines[n].c_str(), "T%d %c%d", &t, &kind, &i) != 3 || t < 0 || t >= kThreads || i < 0 ||
        i >= kLines) {
      brokenAt(n);
    } else if (kind == 'L') {
      if (lines[n] == ThreadLine(t, i))
        ++seen[t][i];
      else
        brokenAt(n);
    } else if (kind == 'S' && lines[n] == "T" + std::to_string(t) + " S" + std::to_string(i)) {
      for (const std::string& expected : stackLines[t]) {
        if (++n == lines.size() || lines[n] != expected) {
          brokenAt(n < lines.size() ? n : lines.size() - 1);
          break;
        }
      }
    } else {
      brokenAt(n);
    }
  }
  EXPECT_EQ(broken, 0) << firstBroken;
  int missingOrRepeated = 0;
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kLines; ++i) missingOrRepeated += seen[t][i] != 1;
  EXPECT_EQ(missingOrRepeated, 0);
}

// ---- System error texts ----------------------------------------------------

const char* s_systemText;
std::string FakeSystemText() { return s_systemText; }

struct SystemTextSeam {
  SystemTextSeam() { SetLastErrorMessageSeam(FakeSystemText); }
  ~SystemTextSeam() { SetLastErrorMessageSeam(nullptr); }
};

TEST(LastErrorText, DropsTheSystemEndingAndTextsTooShortForIt) {
  SystemTextSeam seam;
  const struct {
    const char* system;
    const char* expected;
  } kCases[] = {
      {"", ""},
      {"x", ""},
      {".\n", ""},
      {"x.\n", ""},
      {"x.\r\n", "x"},
      {"The system cannot find the file specified.\r\n", "The system cannot find the file specified"},
  };
  for (const auto& c : kCases) {
    s_systemText = c.system;
    EXPECT_EQ(LastErrorText(), c.expected) << '"' << c.system << '"';
  }
}

}  // namespace
