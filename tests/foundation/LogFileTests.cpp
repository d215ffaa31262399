#include <gtest/gtest.h>

#include <cstdio>
#include <new>

#include "TestSupport.h"
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

}  // namespace
