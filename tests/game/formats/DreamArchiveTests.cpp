// Dream archive extraction: the generator's archives, archives built here
// byte by byte, and hostile ones that must never write outside the dream's
// folder.
#include <bzlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "FormatTestSupport.h"
#include "game/formats/DreamArchive.h"
#include "game/formats/LzwDecode.h"
#include "TestSupport.h"

namespace {

// Each test works in its own folder of the working folder: "dreams/<name>/".
class DreamArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::string("dreams/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ResetFolder(folder_);
    ResetFolder(folder_ + "/dream");
  }
  void TearDown() override { RemoveFolder(folder_); }

  // Puts the archive at <folder>/dream/<name> and returns its path as the
  // program writes it.
  std::string Place(const std::string& bytes, const std::string& name = "test.dream") {
    WriteFileBytes(folder_ + "/dream/" + name, bytes);
    return Backslashed(folder_ + "/dream/" + name);
  }
  std::string PlaceFixture(const std::string& fixture) {
    std::string name = fixture.substr(fixture.rfind('/') + 1);
    CopyFileTo(FixturePath(fixture), folder_ + "/dream/" + name);
    return Backslashed(folder_ + "/dream/" + name);
  }
  std::vector<std::string> Extracted() { return ListFiles(folder_ + "/dream"); }
  std::string Read(const std::string& relative) { return ReadFileBytes(folder_ + "/dream/" + relative); }

  std::string folder_;
};

TEST_F(DreamArchiveTest, GeneratedArchiveExtractsEveryEntry) {
  std::string path = PlaceFixture("dream/good/good.dream");
  LogTail log;
  EXPECT_TRUE(ExtractDream(path));
  EXPECT_EQ(log.Text(), "");
  std::vector<std::string> expected = ListFiles(FixturePath("dream/good.expected"));
  ASSERT_EQ(expected.size(), 4u);
  expected.push_back("good.dream");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Extracted(), expected);
  for (const std::string& name : ListFiles(FixturePath("dream/good.expected"))) {
    EXPECT_TRUE(Read(name) == FixtureBytes("dream/good.expected/" + name)) << name;
  }
}

TEST_F(DreamArchiveTest, SecondRunSkipsFilesAtLeastAsLongAsTheStoredData) {
  std::string path = Place(DreamArchive({
      DreamEntry("long.txt", 1, Complement("0123456789")),
      DreamEntry("short.txt", 1, Complement("abcdefghij")),
  }));
  WriteFileBytes(folder_ + "/dream/long.txt", "kept: as long as the stored data");
  WriteFileBytes(folder_ + "/dream/short.txt", "123456789");  // one byte short: replaced
  EXPECT_TRUE(ExtractDream(path));
  EXPECT_EQ(Read("long.txt"), "kept: as long as the stored data");
  EXPECT_EQ(Read("short.txt"), "abcdefghij");

  std::string generated = PlaceFixture("dream/good/good.dream");
  ASSERT_TRUE(ExtractDream(generated));
  WriteFileBytes(folder_ + "/dream/floors/deep/text.txt", std::string(30000, 'k'));
  LogTail log;
  EXPECT_TRUE(ExtractDream(generated));
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(Read("floors/deep/text.txt"), std::string(30000, 'k'));
}

TEST_F(DreamArchiveTest, HeaderOnlyArchiveHasNoEntries) {
  std::string path = PlaceFixture("dream/empty/empty.dream");
  LogTail log;
  EXPECT_TRUE(ExtractDream(path));
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(Extracted(), std::vector<std::string>{"empty.dream"});
}

TEST_F(DreamArchiveTest, Bzip2EntryGrowsItsBufferUntilTheDataFits) {
  std::string path = PlaceFixture("dream/big/big.dream");
  LogTail log;
  EXPECT_TRUE(ExtractDream(path));
  EXPECT_EQ(log.Text(), "");
  std::string data = Read("big.bin");
  EXPECT_EQ(data.size(), 3u << 20);
  EXPECT_TRUE(data == FixtureBytes("dream/big.expected/big.bin"));
}

// Extraction decompresses bzip2 entries in one pass; what it makes of each
// stream is what the library's single-call decompression makes of it with
// a buffer of the entry's whole 64 MiB: the same data, or the same result
// code in the log.
TEST_F(DreamArchiveTest, Bzip2EntriesAsTheSingleCallDecompressesThem) {
  auto compress = [](const std::string& data) {
    std::string out(data.size() + data.size() / 100 + 600, '\0');
    unsigned size = static_cast<unsigned>(out.size());
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(&out[0], &size, const_cast<char*>(data.data()),
                                       static_cast<unsigned>(data.size()), 9, 0, 0),
              BZ_OK);
    out.resize(size);
    return out;
  };
  std::string mib;
  for (size_t i = 0; i < (1u << 20); ++i) mib += static_cast<char>((i * 13 + (i >> 9)) & 0xFF);
  const std::string text = compress("some text of a dream, some text of a dream\r\n");
  const std::string whole = compress(mib);
  std::string corrupt = whole;
  corrupt[corrupt.size() / 2] ^= 0x55;
  struct Case {
    const char* name;
    std::string stored;
  };
  const Case cases[] = {
      {"exact.bin", whole},                             // fills the first buffer exactly
      {"over.bin", compress(mib + "x")},                // one byte more
      {"trailing.txt", text + "trailing bytes"},        // bytes after the stream's end are ignored
      {"twice.txt", text + text},                       // so is a second stream
      {"cut.bin", whole.substr(0, whole.size() / 2)},   // input ends inside the stream
      {"corrupt.bin", corrupt},
      {"magic.bin", "BZh0" + text.substr(4)},
      {"empty.bin", ""},
  };
  std::vector<std::string> entries;
  for (const Case& c : cases) entries.push_back(DreamEntry(c.name, 2, c.stored));
  std::string path = Place(DreamArchive(entries));
  const std::string dir = Backslashed(folder_ + "/dream/");
  LogTail log;
  EXPECT_TRUE(ExtractDream(path));

  std::string expectedLog;
  std::vector<std::string> made = {"test.dream"};
  int succeeded = 0;
  for (const Case& c : cases) {
    std::string oracle(kLzwOutputLimit, '\0');
    unsigned size = static_cast<unsigned>(oracle.size());
    int result = BZ2_bzBuffToBuffDecompress(&oracle[0], &size, const_cast<char*>(c.stored.data()),
                                            static_cast<unsigned>(c.stored.size()), 0, 0);
    if (result == BZ_OK) {
      oracle.resize(size);
      EXPECT_TRUE(Read(c.name) == oracle) << c.name;
      made.push_back(c.name);
      ++succeeded;
    } else {
      expectedLog += "error while doing bz2 decompression for file " + dir + c.name + ", result=" +
                     std::to_string(result) + "\n" + "No decompressed data generated for file: " + dir + c.name +
                     ", so skipping\n";
    }
  }
  EXPECT_EQ(succeeded, 4);
  EXPECT_EQ(log.Text(), expectedLog);
  std::sort(made.begin(), made.end());
  EXPECT_EQ(Extracted(), made);
  EXPECT_EQ(Read("exact.bin").size(), 1u << 20);
  EXPECT_EQ(Read("twice.txt"), "some text of a dream, some text of a dream\r\n");
}

TEST_F(DreamArchiveTest, EntryProblemsAreReportedAndTheRestExtracted) {
  const std::string past12 = FixtureBytes("lzw/past12.lzw");
  std::string path = Place(DreamArchive({
      DreamEntry("empty.bin", 1, ""),
      DreamEntry("method3.bin", 3, "data"),
      DreamEntry("nolzw.bin", 0, Complement(std::string("\x20\x80", 2))),
      DreamEntry("suspicious.bin", 0, Complement(past12)),
      DreamEntry("last.txt", 1, Complement("last")),
  }));
  const std::string dir = Backslashed(folder_ + "/dream/");
  LogTail log;
  EXPECT_TRUE(ExtractDream(path));
  EXPECT_EQ(log.Text(),
            "No decompressed data generated for file: " + dir + "empty.bin, so skipping\n"
            "Unsupported compression method for file \"method3.bin\" in dream \"" + path + "\": method 3\n"
            "No decompressed data generated for file: " + dir + "method3.bin, so skipping\n"
            "The impossible happened when doing lzw decode.. code bigger than dict.\n"
            "Data decompression (lzw) failed on file \"nolzw.bin\" in dream file: " + path + "\n"
            "No decompressed data generated for file: " + dir + "nolzw.bin, so skipping\n"
            "lzw dict: Adding even though dict is past 12 bits...\n"
            "Data decompression (lzw) has a suspicious size on file \"suspicious.bin\" in dream file: " + path +
            " ...\n");
  EXPECT_EQ(Read("suspicious.bin").size(), 60000u);
  EXPECT_EQ(Read("last.txt"), "last");
}

TEST_F(DreamArchiveTest, HostileStreamsEndWithoutData) {
  std::string path = PlaceFixture("dream/streams/streams.dream");
  const std::string dir = Backslashed(folder_ + "/dream/");
  LogTail log;
  EXPECT_TRUE(ExtractDream(path));
  EXPECT_EQ(log.Text(),
            "lzw dict: Adding even though dict is past 12 bits...\n"
            "lzw decode: the stream needs codes of more than 16 bits; decoding abandoned.\n"
            "Data decompression (lzw) failed on file \"past16.bin\" in dream file: " + path + "\n"
            "No decompressed data generated for file: " + dir + "past16.bin, so skipping\n"
            "lzw dict: Adding even though dict is past 12 bits...\n"
            "lzw decode: the output passed 64 MiB; decoding abandoned.\n"
            "Data decompression (lzw) failed on file \"runaway.bin\" in dream file: " + path + "\n"
            "No decompressed data generated for file: " + dir + "runaway.bin, so skipping\n"
            "No decompressed data generated for file: " + dir + "bomb.bin, so skipping\n"
            "Unsupported compression method for file \"method7.bin\" in dream \"" + path + "\": method 7\n"
            "No decompressed data generated for file: " + dir + "method7.bin, so skipping\n"
            "error while doing bz2 decompression for file " + dir + "garbage.bz2, result=-4\n"
            "No decompressed data generated for file: " + dir + "garbage.bz2, so skipping\n");
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"ok.txt", "streams.dream"}));
}

// Each bzip2 entry of about a hundred bytes unpacks past an entry's 64 MiB:
// four of them spend the archive's budget, and the archive is given up
// before the fifth.
TEST_F(DreamArchiveTest, EntriesPastTheBudgetEndTheExtraction) {
  ASSERT_EQ(kDreamUnpackBudget, 4 * kLzwOutputLimit);
  std::string path = PlaceFixture("dream/budget/budget.dream");
  const std::string dir = Backslashed(folder_ + "/dream/");
  LogTail log;
  EXPECT_FALSE(ExtractDream(path));
  std::string expected;
  for (int i = 1; i <= 4; ++i)
    expected += "No decompressed data generated for file: " + dir + "bomb" + std::to_string(i) + ".bin, so skipping\n";
  expected += "Error decompressing dream file (" + path + "): its entries unpack to more than 256 MiB; the rest is "
              "not extracted.\n";
  EXPECT_EQ(log.Text(), expected);
  EXPECT_EQ(Extracted(), std::vector<std::string>{"budget.dream"});

  // LZW output counts too, and so does the data of entries that fail: each
  // runaway stream decodes nearly 64 MiB before it is abandoned, so the
  // fifth one passes the budget and the stored entry after it is refused.
  const std::string runaway = Complement(FixtureBytes("lzw/runaway.lzw"));
  std::vector<std::string> entries;
  for (int i = 1; i <= 5; ++i) entries.push_back(DreamEntry("run" + std::to_string(i) + ".bin", 0, runaway));
  entries.push_back(DreamEntry("small.txt", 1, Complement("small")));
  std::string lzw = Place(DreamArchive(entries), "lzw.dream");
  LogTail log2;
  EXPECT_FALSE(ExtractDream(lzw));
  expected.clear();
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "run" + std::to_string(i) + ".bin";
    expected += "lzw dict: Adding even though dict is past 12 bits...\n"
                "lzw decode: the output passed 64 MiB; decoding abandoned.\n"
                "Data decompression (lzw) failed on file \"" + name + "\" in dream file: " + lzw + "\n"
                "No decompressed data generated for file: " + dir + name + ", so skipping\n";
  }
  expected += "Error decompressing dream file (" + lzw + "): its entries unpack to more than 256 MiB; the rest is "
              "not extracted.\n";
  EXPECT_EQ(log2.Text(), expected);
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"budget.dream", "lzw.dream"}));

  // The next archive has a budget of its own.
  EXPECT_TRUE(ExtractDream(Place(DreamArchive({DreamEntry("next.txt", 1, Complement("next"))}), "next.dream")));
  EXPECT_EQ(Read("next.txt"), "next");
}

// The 32-bit program can run short of address space for an entry's data:
// that entry fails, the rest are still extracted.
TEST_F(DreamArchiveTest, EntryThatRunsOutOfMemoryFails) {
  struct Starved {
    static size_t Decode(const unsigned char*, size_t, std::vector<unsigned char>& output) {
      output.resize(100);  // what a decoder may have grown before it failed
      throw std::bad_alloc();
    }
  };
  DreamLzwDecoder real = SetDreamLzwDecoder(Starved::Decode);
  std::string path = Place(DreamArchive({
      DreamEntry("first.txt", 1, Complement("first")),
      DreamEntry("starved.bin", 0, Complement(CodePacker().Put(256, 9).Put(65, 9).Put(257, 9).Bytes())),
      DreamEntry("last.txt", 1, Complement("last")),
  }));
  LogTail log;
  const bool extracted = ExtractDream(path);
  SetDreamLzwDecoder(real);
  EXPECT_TRUE(extracted);
  EXPECT_EQ(log.Text(), "Not enough memory to unpack file \"starved.bin\" in dream file: " + path + "\n" +
                            "No decompressed data generated for file: " + Backslashed(folder_ + "/dream/") +
                            "starved.bin, so skipping\n");
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"first.txt", "last.txt", "test.dream"}));
  EXPECT_EQ(Read("last.txt"), "last");

  // Null restores the real decoder.
  SetDreamLzwDecoder(nullptr);
  ASSERT_TRUE(ExtractDream(path));
  EXPECT_EQ(Read("starved.bin"), "A");
}

TEST_F(DreamArchiveTest, UnsafeNamesAreRefusedAndNothingLeavesTheFolder) {
  std::string path = PlaceFixture("dream/unsafe/unsafe.dream");
  LogTail log;
  EXPECT_TRUE(ExtractDream(path));
  // Only the one safe entry, inside the dream's folder; nothing beside it.
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"ok.txt", "unsafe.dream"}));
  EXPECT_EQ(ListFiles(folder_), (std::vector<std::string>{"dream/ok.txt", "dream/unsafe.dream"}));
  const char* shown[] = {"..\\escape.txt", "\\rooted.txt", "C:\\drive.txt", "sub/slash.txt",
                         "sub\\..\\..\\up.txt", "bad?name.txt", "trail.\\x.txt", "sub\\ \\x.txt",
                         "CON", "nul.txt", "a\\\\b.txt", "", "..",
                         "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"};
  std::string expected;
  for (const char* name : shown) {
    expected += std::string("Refused an entry whose file name could lead outside the dream's folder (\"") + name +
                "\"), in dream file: " + path + "\n";
  }
  EXPECT_EQ(log.Text(), expected);
}

TEST(DreamEntryNames, SafeAndUnsafe) {
  struct Case {
    std::string name;
    bool safe;
  };
  const Case cases[] = {
      {"default.map", true},      {"floors\\floors.fsh", true}, {"a b.txt", true},
      {"x..y", true},             {".hidden", true},            {"deep\\er\\file", true},
      {"\xe9t\xe9.txt", true},    {"COM10", true},              {"console.txt", true},
      {"..", false},              {".", false},                 {"...", false},
      {"a\\..\\b", false},        {"a\\.\\b", false},           {"\\x", false},
      {"x\\", false},             {"C:x", false},               {"a/b", false},
      {"tab\there", false},       {"del\x7f", false},           {"what?", false},
      {"star*", false},           {"pipe|", false},             {"quote\"", false},
      {"lt<", false},             {"gt>", false},               {"LPT1.txt", false},
      {"aux", false},             {"floors\\com3", false},      {"name. ", false},
      {"", false},                {"COM0", false},              {"lpt0.txt", false},
      // Superscript digits of the ANSI code page name ports too.
      {"COM\xb9", false},         {"com\xb2.txt", false},       {"Com\xb3 .map", false},
      {"LPT\xb9.fsh", false},     {"lpt\xb2", false},           {"floors\\LpT\xb3.txt", false},
      {"COM\xb9\xb9", true},      {"LPT\xb4", true},            {"COM\xbc", true},
      {"CONIN$", false},          {"conin$.txt", false},        {"CONOUT$", false},
      {"ConOut$ .log", false},    {"a\\conout$", false},       {"CONIN", true},
      {"CONOUT$1", true},         {"conin$x.txt", true},
  };
  for (const Case& c : cases) {
    std::string field = c.name;
    field.resize(48, '\0');
    EXPECT_EQ(IsSafeEntryName(field.data(), field.size()), c.safe) << c.name;
  }
  // A device name as the file or as any folder on the way.
  for (const std::string& device : DeviceNameForms()) {
    for (const std::string& name : {device, "floors\\" + device, device + "\\x.txt"}) {
      std::string field = name;
      field.resize(48, '\0');
      EXPECT_FALSE(IsSafeEntryName(field.data(), field.size())) << name;
    }
  }
  for (const std::string& name : NearDeviceNames()) {
    std::string field = "floors\\" + name;
    field.resize(48, '\0');
    EXPECT_TRUE(IsSafeEntryName(field.data(), field.size())) << name;
  }
  std::string full(48, 'a');
  EXPECT_FALSE(IsSafeEntryName(full.data(), full.size()));
  full[47] = '\0';
  EXPECT_TRUE(IsSafeEntryName(full.data(), full.size()));
}

TEST_F(DreamArchiveTest, BrokenStructureEndsTheExtraction) {
  struct Case {
    const char* fixture;
    std::string tail;  // the log after the path
  };
  const Case cases[] = {
      {"dream/cut_header/cut.dream", "\n  -the entry header runs past the end of the file\n"},
      {"dream/cut_data/cut.dream", "\n  -the entry's stored size runs past the end of the file\n"},
      {"dream/huge_size/huge.dream", "\n  -the entry's stored size runs past the end of the file\n"},
      {"dream/wrap_size/wrap.dream", "\n  -the entry's stored size runs past the end of the file\n"},
      {"dream/bad_entry/bad.dream", "\n"},
  };
  for (const Case& c : cases) {
    ResetFolder(folder_ + "/dream");
    std::string path = PlaceFixture(c.fixture);
    LogTail log;
    EXPECT_FALSE(ExtractDream(path)) << c.fixture;
    EXPECT_EQ(log.Text(), "Error in file entry header, in dream file: " + path + c.tail) << c.fixture;
    EXPECT_EQ(Read("first.txt"), "first entry\r\n") << c.fixture;  // entries before stay on disk
    EXPECT_EQ(Extracted().size(), 2u) << c.fixture;
  }
}

TEST_F(DreamArchiveTest, UnreadableOrForeignArchives) {
  std::string missing = Backslashed(folder_ + "/dream/missing.dream");
  std::string empty = Place("", "empty.dream");
  std::string foreign = PlaceFixture("dream/bad_id/bad.dream");
  LogTail log;
  EXPECT_FALSE(ExtractDream(missing));
  EXPECT_FALSE(ExtractDream(empty));
  EXPECT_FALSE(ExtractDream(foreign));
  EXPECT_EQ(log.Text(), "Unable to begin decompression of file: " + missing + "\n" +
                            "Unable to begin decompression of file: " + empty + "\n" +
                            "Error decompressing dream file (" + foreign + "): dream header ID is invalid.\n");
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"bad.dream", "empty.dream"}));
}

TEST_F(DreamArchiveTest, FileThatCannotBeWrittenIsReported) {
  // A folder stands where the entry's file would go.
  ResetFolder(folder_ + "/dream/taken.txt");
  std::string path = Place(DreamArchive({DreamEntry("taken.txt", 1, Complement("x")),
                                         DreamEntry("next.txt", 1, Complement("next"))}));
  LogTail log;
  EXPECT_TRUE(ExtractDream(path));
  EXPECT_EQ(log.Text(), "Unable to write file " + Backslashed(folder_ + "/dream/taken.txt") +
                            " while extracting dream file: " + path + "\n");
  EXPECT_EQ(Read("next.txt"), "next");
}

}  // namespace
