// The file-server conversation's lines, names and blocks, without sockets.
#include <gtest/gtest.h>

#include "FormatTestSupport.h"
#include "game/service/FileServerProtocol.h"

namespace {

TEST(DreamName, AnyPlainFileNameThatIsOneWordOfTheRequest) {
  const std::string good[] = {
      "MyDream", "a", "dream_2-b.v1", "CONCERT", "com10", "lpt", "x.y", "x..y", "Ann's", "Wow!", "Rock&Roll",
      "(Secret)", "#1", "a+b", "Caf\xe9", "\xc3\xa9t\xc3\xa9", "~home", "a=b;c,d[e]{f}%$@^`", "CONIN", "COM\xb9\xb9",
      "LPT\xb4", "\xff\x80", std::string(64, 'a'),
  };
  for (const std::string& name : good) EXPECT_TRUE(IsAcceptableDreamName(name)) << name;
  const std::string bad[] = {
      "", ".", "..", "...", ".hidden", "trail.", "a\\b", "a/b", "..\\up", "C:x", "a b", " a", "a ", "tab\t",
      "nl\n", "cr\r", "del\x7f", "bell\x07", std::string("a\0b", 3), "lt<", "gt>", "q\"", "p|", "w?", "s*",
      "CON", "con.x", "Nul", "aux", "prn.dream", "COM1", "lpt9.a", "COM0", "conin$", "CONOUT$.x", "COM\xb9",
      "lpt\xb2.x", "Com\xb3", std::string(65, 'a'),
  };
  for (const std::string& name : bad) EXPECT_FALSE(IsAcceptableDreamName(name)) << name;
  for (const std::string& name : DeviceNameForms()) EXPECT_FALSE(IsAcceptableDreamName(name)) << name;
  for (const std::string& name : NearDeviceNames()) EXPECT_TRUE(IsAcceptableDreamName(name)) << name;
}

TEST(FileServerLines, WelcomeNeedsTenAndABlank) {
  EXPECT_TRUE(IsFileServerWelcome("10 Welcome\n"));
  EXPECT_TRUE(IsFileServerWelcome("10 \n"));
  EXPECT_FALSE(IsFileServerWelcome("10\n"));  // the line feed is the third character
  EXPECT_FALSE(IsFileServerWelcome("1\n"));
  EXPECT_FALSE(IsFileServerWelcome("11 Welcome\n"));
  EXPECT_FALSE(IsFileServerWelcome(" 10 Welcome\n"));
}

TEST(FileServerLines, RequestLine) {
  EXPECT_EQ(TransferRequestLine("Bob", "secret", "MyDream"), "RC Bob secret MyDream 0 2 4096\n");
}

TEST(FileServerLines, AnswerFieldsAreCheckedBeforeUse) {
  struct Case {
    const char* line;
    TransferAnswer result;
    int total, blockSize;
  } cases[] = {
      {"44 10000 x 4096\n", TransferAnswer::kAccepted, 10000, 4096},
      {"\t44  10000\tignored   4096 extra\n", TransferAnswer::kAccepted, 10000, 4096},
      {"44 10000 x 4096\r\n", TransferAnswer::kAccepted, 10000, 4096},
      {"44 1 x 11\n", TransferAnswer::kAccepted, 1, 11},
      {"44 268435456 x 1048576\n", TransferAnswer::kAccepted, 268435456, 1048576},
      {"45 10000 x 4096\n", TransferAnswer::kRefused, 0, 0},
      {"044 10000 x 4096\n", TransferAnswer::kRefused, 0, 0},
      {"\n", TransferAnswer::kRefused, 0, 0},
      {"44\n", TransferAnswer::kUnusable, 0, 0},
      {"44 10000 x\n", TransferAnswer::kUnusable, 0, 0},
      {"44 10000 x 10\n", TransferAnswer::kUnusable, 0, 0},       // no payload: would divide by zero
      {"44 10000 x 0\n", TransferAnswer::kUnusable, 0, 0},
      {"44 10000 x -4096\n", TransferAnswer::kUnusable, 0, 0},
      {"44 10000 x 1048577\n", TransferAnswer::kUnusable, 0, 0},  // unbounded allocation
      {"44 0 x 4096\n", TransferAnswer::kUnusable, 0, 0},         // nothing to download
      {"44 268435457 x 4096\n", TransferAnswer::kUnusable, 0, 0},
      {"44 99999999999 x 4096\n", TransferAnswer::kUnusable, 0, 0},
      {"44 12ab x 4096\n", TransferAnswer::kUnusable, 0, 0},
  };
  for (const Case& c : cases) {
    int total = 0, blockSize = 0;
    EXPECT_EQ(ParseTransferAnswer(c.line, &total, &blockSize), c.result) << c.line;
    EXPECT_EQ(total, c.total) << c.line;
    EXPECT_EQ(blockSize, c.blockSize) << c.line;
  }
}

TEST(FileServerBlocks, CountRoundsUpToWholeBlocks) {
  EXPECT_EQ(BlockCountFor(10000, 4096), 3);  // 4086-byte payloads, 1828 in the last
  EXPECT_EQ(BlockCountFor(4086, 4096), 1);
  EXPECT_EQ(BlockCountFor(4087, 4096), 2);
  EXPECT_EQ(BlockCountFor(1, 11), 1);
  EXPECT_EQ(BlockCountFor(268435456, 11), 268435456);
}

TEST(FileServerBlocks, HeaderCarriesTagAndLittleEndianNumber) {
  int number = -1;
  EXPECT_TRUE(ParseBlockHeader("SC\x02\x01\x00\x00....", 10, &number));
  EXPECT_EQ(number, 0x0102);
  EXPECT_TRUE(ParseBlockHeader("SC\xff\xff\xff\xff....", 10, &number));
  EXPECT_EQ(number, -1);
  number = 7;
  EXPECT_FALSE(ParseBlockHeader("CS\x00\x00\x00\x00....", 10, &number));
  EXPECT_FALSE(ParseBlockHeader("SC\x00\x00\x00", 5, &number));
  EXPECT_EQ(number, 7);
}

TEST(FileServerBlocks, QueueHandsOutLinesAndBlocksOnlyWhenWhole) {
  ByteQueue queue;
  std::string line;
  std::vector<char> block;
  queue.Append("10 hi", 5);
  EXPECT_FALSE(queue.TakeLine(line));
  queue.Append("\n44 5", 5);
  EXPECT_TRUE(queue.TakeLine(line));
  EXPECT_EQ(line, "10 hi\n");
  EXPECT_FALSE(queue.TakeBlock(5, block));
  EXPECT_EQ(queue.Size(), 4u);
  queue.Append("\nabcdefgh", 9);
  EXPECT_TRUE(queue.TakeLine(line));
  EXPECT_EQ(line, "44 5\n");
  EXPECT_TRUE(queue.TakeBlock(5, block));
  EXPECT_EQ(std::string(block.begin(), block.end()), "abcde");
  // Many small appends and takes keep the bytes in order.
  std::string expected = "fgh";
  for (int i = 0; i < 1000; ++i) {
    std::string piece = std::to_string(i) + ",";
    queue.Append(piece.data(), piece.size());
    expected += piece;
    ASSERT_TRUE(queue.TakeBlock(2, block));
    EXPECT_EQ(std::string(block.begin(), block.end()), expected.substr(0, 2));
    expected.erase(0, 2);
  }
  EXPECT_EQ(queue.Size(), expected.size());
  queue.Clear();
  EXPECT_TRUE(queue.Empty());
}

}  // namespace
