// The LZW decoder: hand-packed streams (so decoder and generator cannot
// agree on a mistake), the generator's streams, and hostile ones.
#include <gtest/gtest.h>

#include "FormatTestSupport.h"
#include "game/formats/LzwDecode.h"
#include "TestSupport.h"

namespace {

std::string Decode(const std::string& input, const std::string& already = "") {
  std::vector<unsigned char> out(already.begin(), already.end());
  LzwDecode(reinterpret_cast<const unsigned char*>(input.data()), input.size(), out);
  return std::string(out.begin(), out.end());
}

const char kImpossible[] = "The impossible happened when doing lzw decode.. code bigger than dict.\n";

TEST(LzwDecode, HandPackedStreams) {
  struct Case {
    const char* what;
    std::string input;
    std::string output;
  };
  const Case cases[] = {
      // 9-bit codes 256 65 66 257: clear, 'A', 'B', end.
      {"clear A B end", std::string("\x80\x10\x48\x50\x10", 5), "AB"},
      // 256 65 258 257: 258 is the entry being defined, previous + its first byte.
      {"code equal to the dictionary size", std::string("\x80\x10\x60\x50\x10", 5), "AAA"},
      // No end code: decoding ends with the input, leftover bits ignored.
      {"no end code", std::string("\x80\x10\x48", 3), "A"},
  };
  for (const Case& c : cases) {
    LogTail log;
    EXPECT_EQ(Decode(c.input), c.output) << c.what;
    EXPECT_EQ(log.Text(), "") << c.what;
  }
  // The call tells how much it decoded.
  std::vector<unsigned char> out(2, 'x');
  EXPECT_EQ(LzwDecode(reinterpret_cast<const unsigned char*>("\x80\x10\x60\x50\x10"), 5, out), 3u);
}

TEST(LzwDecode, FirstEntryIsThePairOfTheFirstTwoCodes) {
  // clear, 'A', 'B', 258 (= "AB", the one entry added), end.
  std::string input = CodePacker().Put(256, 9).Put(65, 9).Put(66, 9).Put(258, 9).Put(257, 9).Bytes();
  EXPECT_EQ(Decode(input), "ABAB");
  // Code 259 is the one being defined ("B" + "B"); 260 does not exist yet.
  EXPECT_EQ(Decode(CodePacker().Put(256, 9).Put(65, 9).Put(66, 9).Put(259, 9).Put(257, 9).Bytes()), "ABBB");
  LogTail log;
  input = CodePacker().Put(256, 9).Put(65, 9).Put(66, 9).Put(260, 9).Put(257, 9).Bytes();
  EXPECT_EQ(Decode(input), "AB");
  EXPECT_EQ(log.Text(), kImpossible);
}

TEST(LzwDecode, StreamWithoutLeadingClearStopsAtOnce) {
  LogTail log;
  EXPECT_EQ(Decode(std::string("\x20\x80", 2)), "");  // the 9-bit code 65 alone
  EXPECT_EQ(log.Text(), kImpossible);
  // Code 0 before any clear names the (empty) entry being defined: nothing.
  std::string input = CodePacker().Put(0, 9).Put(256, 9).Put(66, 9).Put(257, 9).Bytes();
  EXPECT_EQ(Decode(input), "B");
}

// The 511th entry switches the reader to 10-bit codes for the next code:
// after a clear, the first code adds no entry and each later one adds one.
TEST(LzwDecode, WidthGrowsWhenTheDictionaryReaches511Entries) {
  for (int aCodes : {253, 254}) {
    CodePacker packer;
    packer.Put(256, 9);
    for (int i = 0; i < aCodes; ++i) packer.Put('A', 9);
    // 254 'A' codes bring the dictionary to 258 + 253 = 511 entries.
    int width = aCodes == 254 ? 10 : 9;
    packer.Put('B', width).Put('C', 10).Put(257, 10);
    EXPECT_EQ(Decode(packer.Bytes()), std::string(aCodes, 'A') + "BC") << aCodes;
  }
}

TEST(LzwDecode, ClearResetsDictionaryAndWidth) {
  CodePacker packer;
  packer.Put(256, 9);
  for (int i = 0; i < 300; ++i) packer.Put('x', i < 254 ? 9 : 10);
  // Back to 9 bits and 258 entries: 258 is again the entry being defined.
  packer.Put(256, 10).Put('y', 9).Put(258, 9).Put(257, 9);
  EXPECT_EQ(Decode(packer.Bytes()), std::string(300, 'x') + "yyy");
}

TEST(LzwDecode, AppendsToWhatTheOutputHolds) {
  EXPECT_EQ(Decode(std::string("\x80\x10\x48\x50\x10", 5), "xy"), "xyAB");
}

TEST(LzwDecode, GeneratedStreamsDecodeToTheirFiles) {
  for (const char* name : {"text", "runs"}) {
    LogTail log;
    std::string plain = FixtureBytes(std::string("lzw/") + name + (name[0] == 't' ? ".txt" : ".bin"));
    ASSERT_FALSE(plain.empty()) << name;
    EXPECT_TRUE(Decode(FixtureBytes(std::string("lzw/") + name + ".lzw")) == plain) << name;
    EXPECT_EQ(log.Text(), "") << name;
  }
}

TEST(LzwDecode, DictionaryPast12BitsWarnsOnceAndStillDecodes) {
  LogTail log;
  std::string plain = FixtureBytes("lzw/past12.bin");
  ASSERT_EQ(plain.size(), 60000u);
  EXPECT_TRUE(Decode(FixtureBytes("lzw/past12.lzw")) == plain);
  EXPECT_EQ(log.Text(), "lzw dict: Adding even though dict is past 12 bits...\n");
}

TEST(LzwDecode, CodesPast16BitsFail) {
  LogTail log;
  EXPECT_EQ(Decode(FixtureBytes("lzw/past16.lzw"), "kept").size(), 4u);
  EXPECT_EQ(log.Text(),
            "lzw dict: Adding even though dict is past 12 bits...\n"
            "lzw decode: the stream needs codes of more than 16 bits; decoding abandoned.\n");
}

// The dictionary may fill up to 65535 entries; only a code that must then
// be read with 17 bits fails the stream. Fewer bits left over at the end
// are ignored, as at any other width.
TEST(LzwDecode, FullDictionaryFailsOnlyWhenA17BitCodeFollows) {
  // Two clears (the second changes nothing) put the end of the codes on a
  // byte boundary. After a clear the first code adds no entry and each
  // later one adds one: 65278 codes bring the dictionary to 65535 entries.
  CodePacker packer;
  packer.Put(256, 9).Put(256, 9);
  std::string expected;
  unsigned dict = 258;
  int width = 9;
  for (int i = 0; i < 65278; ++i) {
    const unsigned code = (i * 7 + 3) & 0xFF;
    packer.Put(code, width);
    expected += static_cast<char>(code);
    if (i > 0 && ++dict + 1 == (1u << width)) ++width;
  }
  ASSERT_EQ(dict, 65535u);
  ASSERT_EQ(width, 17);
  const std::string full = packer.Bytes();
  ASSERT_EQ(full.size() * 8, 9u * 2 + 9 * 254 + 10 * 512 + 11 * 1024 + 12 * 2048 + 13 * 4096 + 14 * 8192 +
                                 15 * 16384 + 16 * 32768);

  const char kPast12[] = "lzw dict: Adding even though dict is past 12 bits...\n";
  {
    LogTail log;
    EXPECT_TRUE(Decode(full) == expected);
    EXPECT_EQ(log.Text(), kPast12);
  }
  {
    LogTail log;  // sixteen more bits: not a whole code
    EXPECT_TRUE(Decode(full + std::string("\x12\x34", 2)) == expected);
    EXPECT_EQ(log.Text(), kPast12);
  }
  {
    LogTail log;  // a whole 17-bit code ('A'), then padding
    EXPECT_EQ(Decode(full + std::string("\x00\x20\x80", 3), "kept"), "kept");
    EXPECT_EQ(log.Text(), std::string(kPast12) +
                              "lzw decode: the stream needs codes of more than 16 bits; decoding abandoned.\n");
  }
}

TEST(LzwDecode, OutputPast64MiBFails) {
  // A few kilobytes whose codes each repeat the growing previous string.
  LogTail log;
  std::string input = FixtureBytes("lzw/runaway.lzw");
  ASSERT_LT(input.size(), 65536u);
  std::vector<unsigned char> out;
  // The bytes decoded before it gave up are counted, though not kept.
  const size_t work = LzwDecode(reinterpret_cast<const unsigned char*>(input.data()), input.size(), out);
  EXPECT_TRUE(out.empty());
  EXPECT_GT(work, kLzwOutputLimit - 65536);
  EXPECT_LE(work, kLzwOutputLimit);
  EXPECT_EQ(log.Text(),
            "lzw dict: Adding even though dict is past 12 bits...\n"
            "lzw decode: the output passed 64 MiB; decoding abandoned.\n");
}

TEST(LzwDecode, OutputOfExactly64MiBIsKept) {
  // clear, 0, then codes 258.. each one byte longer: 1 + 2 + ... + n bytes.
  // Pick n with the sum just below the limit and pad with single bytes.
  CodePacker packer;
  packer.Put(256, 9).Put(0, 9);
  size_t total = 1;
  unsigned dict = 258;
  int width = 9;
  unsigned length = 1;
  while (total + length + 1 <= kLzwOutputLimit - 8) {
    packer.Put(dict, width);
    ++length;
    total += length;
    ++dict;
    if (dict + 1 == (1u << width)) ++width;
  }
  while (total < kLzwOutputLimit) {
    packer.Put(0, width);
    total += 1;
    ++dict;
    if (dict + 1 == (1u << width)) ++width;
  }
  packer.Put(257, width);
  std::string out = Decode(packer.Bytes());
  EXPECT_EQ(out.size(), kLzwOutputLimit);
  EXPECT_EQ(out.find_first_not_of('\0'), std::string::npos);
}

}  // namespace
