// Paths, text, files, the resolution table and the version code.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/Utility.h"

namespace {

typedef std::vector<std::string> Strings;

bool IsDirectory(std::string path) {
#ifndef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  struct stat info;
  return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR;
}

TEST(Tokenize, NeverYieldsEmptyTokens) {
  struct Case {
    const char* text;
    const char* delimiters;
    Strings tokens;
  } cases[] = {
      {",a,,b,", ",", {"a", "b"}},
      {"", ",", {}},
      {",,,", ",", {}},
      {"abc", "", {"abc"}},
      {" one\ttwo  three\t", " \t", {"one", "two", "three"}},
      {"x;y,z", ",;", {"x", "y", "z"}},
  };
  for (const Case& c : cases) {
    Strings out = {"left over"};
    Tokenize(c.text, out, c.delimiters);
    EXPECT_EQ(out, c.tokens) << c.text;
  }
}

TEST(ReadWholeFile, ReadsBytesInRawModeAndNothingFromAMissingFile) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes += static_cast<char>('a' + i % 26);
  WriteFileBytes("_whole.bin", bytes);
  EXPECT_EQ(ReadWholeFile("_whole.bin", true), bytes);
  LogTail errors;
  EXPECT_EQ(ReadWholeFile("_no_such_file.txt", true), "");
  EXPECT_EQ(ReadWholeFile("_no_such_file.txt", false), "");
  EXPECT_EQ(errors.Text(), "");
}

TEST(ReadWholeFile, AFullChunkEndsWhereTheFileEnds) {
  // A chunk of exactly 2048 bytes fills the read buffer: its text must end
  // there, not run on into whatever follows the buffer.
  for (size_t size : {2047u, 2048u, 4096u}) {
    std::string bytes(size, 'q');
    bytes.back() = 'z';
    WriteFileBytes("_chunk.bin", bytes);
    EXPECT_EQ(ReadWholeFile("_chunk.bin", true), bytes) << size;
  }
}

TEST(ReadWholeFile, AZeroByteEndsOnlyItsOwnChunk) {
  std::string bytes(5000, 'b');
  bytes[100] = '\0';   // first chunk: 0..2047
  bytes[2048] = 'c';   // second chunk starts here
  bytes[3000] = '\0';  // cuts the second chunk
  bytes[4096] = 'd';   // third chunk
  WriteFileBytes("_zero.bin", bytes);
  std::string expected = bytes.substr(0, 100) + bytes.substr(2048, 3000 - 2048) + bytes.substr(4096);
  EXPECT_EQ(ReadWholeFile("_zero.bin", true), expected);
}

TEST(ReadFileLines, BlankLinesVanishAndALastLineWithoutNewlineStays) {
  WriteFileBytes("_lines.txt", "one\n\n\ntwo\n  \nthree");
  Strings lines = {"left over"};
  ReadFileLines(lines, "_lines.txt");
  EXPECT_EQ(lines, (Strings{"one", "two", "  ", "three"}));
  ReadFileLines(lines, "_no_such_file.txt");
  EXPECT_TRUE(lines.empty());
}

TEST(LoadStringList, AppendsUpToTheFirstBlankLine) {
  WriteFileText("_list.txt", "alpha\nbeta\n\ngamma\n");
  Strings list = {"kept"};
  EXPECT_TRUE(LoadStringList(list, "_list.txt"));
  EXPECT_EQ(list, (Strings{"kept", "alpha", "beta"}));

  WriteFileText("_list2.txt", "last line without newline");
  EXPECT_TRUE(LoadStringList(list, "_list2.txt"));
  EXPECT_EQ(list.back(), "last line without newline");
}

TEST(LoadStringList, MissingFileIsLoggedAndLeavesTheListAlone) {
  LogTail errors;
  Strings list = {"kept"};
  EXPECT_FALSE(LoadStringList(list, "_missing_list.txt"));
  EXPECT_EQ(list, (Strings{"kept"}));
  EXPECT_EQ(errors.Text(), "Failed to open string list: _missing_list.txt\n");
}

TEST(DropFirstLine, CutsAtTheFirstByteBelow32AsSigned) {
  struct Case {
    std::string text, expected;
  } cases[] = {
      {"frame one\nframe two\n", "frame two\n"},
      {"no line end", "no line end"},
      {"", ""},
      {"a\tb", "b"},
      {"caf\xC3\xA9 rest", "\xA9 rest"},
      {"\n", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    DropFirstLine(text);
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

TEST(PathParts, BackslashSeparatesFoldersAndTheLastDotTheExtension) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
    const char* stripped;
  } cases[] = {
      {"data\\items\\chair.mbm", "data\\items\\", "chair.mbm", "mbm", "data\\items\\chair"},
      {"chair.mbm", "", "chair.mbm", "mbm", "chair"},
      {"dream.v1\\default", "dream.v1\\", "default", "v1\\default", "dream"},
      {".hidden", "", ".hidden", "hidden", ""},
      {"data/items/chair", "", "data/items/chair", "", "data/items/chair"},
      {"folder\\", "folder\\", "", "", "folder\\"},
      {"a.b.c", "", "a.b.c", "c", "a.b"},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetDirectory(c.path), c.directory) << c.path;
    EXPECT_EQ(GetFileName(c.path), c.name) << c.path;
    EXPECT_EQ(GetFileExtension(c.path), c.extension) << c.path;
    EXPECT_EQ(StripExtension(c.path), c.stripped) << c.path;
  }
}

TEST(CreateDirectoryPath, CreatesEveryFolderBeforeABackslash) {
  EXPECT_TRUE(CreateDirectoryPath("_cdp\\a\\b\\"));
  EXPECT_TRUE(IsDirectory("_cdp"));
  EXPECT_TRUE(IsDirectory("_cdp\\a"));
  EXPECT_TRUE(IsDirectory("_cdp\\a\\b"));
  // Again: existing folders are fine.
  EXPECT_TRUE(CreateDirectoryPath("_cdp\\a\\b\\"));

  EXPECT_TRUE(CreateDirectoryPath("_cdp2\\x\\file.txt"));
  EXPECT_TRUE(IsDirectory("_cdp2\\x"));
  EXPECT_FALSE(IsDirectory("_cdp2\\x\\file.txt"));

  EXPECT_TRUE(CreateDirectoryPath("_cdp_plain"));
  EXPECT_FALSE(IsDirectory("_cdp_plain"));
}

TEST(CreateDirectoryPath, RefusesPathsOverTheLengthLimit) {
  std::string fits = "_cdp_edge\\" + std::string(kMaxPathLength - 10, 'y');
  ASSERT_EQ(fits.size(), 259u);
  EXPECT_TRUE(CreateDirectoryPath(fits));
  EXPECT_TRUE(IsDirectory("_cdp_edge"));

  LogTail errors;
  std::string tooLong = "_cdp_long\\" + std::string(kMaxPathLength - 9, 'y') + "\\";
  ASSERT_EQ(tooLong.size(), 261u);
  EXPECT_FALSE(CreateDirectoryPath(tooLong));
  EXPECT_FALSE(IsDirectory("_cdp_long"));
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Path too long (over 259 characters): " + tooLong + "\n  -call stack:\n\n");
}

TEST(ToLowerCase, ChangesOnlyTheAsciiCapitals) {
  EXPECT_EQ(ToLowerCase("AbZ@[`{ 09\xC4\xD6"), "abz@[`{ 09\xC4\xD6");
  EXPECT_EQ(ToLowerCase(""), "");
}

TEST(HexToInt, SkipsTwoCharactersAndCountsOtherCharactersAsZero) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {
      {"0x1F", 31},  {"0xff", 255},      {"ab12", 0x12},        {"0xG1", 1},       {"0x", 0},
      {"F", 0},      {"", 0},            {"0xFFFFFFFF", -1},    {"0x100000001", 1}, {"0x7fffffff", 0x7fffffff},
  };
  for (const Case& c : cases) EXPECT_EQ(HexToInt(c.text), c.value) << c.text;
}

TEST(HexToInt, ShortTextsDoNotReadPastTheirEnd) {
  // Each text alone in a buffer of its exact size: reading past the end is
  // caught by the sanitizers of the native build.
  for (const char* text : {"", "F", "0x"}) {
    size_t size = std::strlen(text) + 1;
    std::unique_ptr<char[]> exact(new char[size]);
    std::memcpy(exact.get(), text, size);
    EXPECT_EQ(HexToInt(exact.get()), 0) << text;
  }
  EXPECT_EQ(HexToInt(nullptr), 0);
}

TEST(CharacterClasses, LettersAndPrintables) {
  for (int code = -128; code < 128; ++code) {
    char c = static_cast<char>(code);
    bool letter = (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z');
    EXPECT_EQ(IsLetter(c), letter) << code;
    EXPECT_EQ(IsPrintable(c), code >= 32 && code <= 126) << code;
  }
}

TEST(Bits, CountAndHighest) {
  struct Case {
    unsigned value;
    int count;
    int highest;
  } cases[] = {
      {0u, 0, -1}, {1u, 1, 0}, {2u, 1, 1}, {0x80000000u, 1, 31}, {0xFFFFFFFFu, 32, 31}, {0xF0u, 4, 7},
      {0x40000001u, 2, 30},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountBits(c.value), c.count) << c.value;
    EXPECT_EQ(HighestSetBit(c.value), c.highest) << c.value;
  }
}

TEST(OsVersionCode, EveryRowOfTheTable) {
  const unsigned kNt = 2, kWindows = 1;
  struct Case {
    unsigned major, minor, platform;
    int code;
  } cases[] = {
      {3, 51, kNt, 1},     {2, 0, kWindows, 1}, {4, 0, kNt, 2},      {4, 0, kWindows, 3}, {4, 10, kWindows, 4},
      {4, 89, kWindows, 4}, {4, 90, kWindows, 5}, {4, 9, kWindows, 0}, {4, 91, kWindows, 0}, {5, 0, kNt, 6},
      {5, 1, kNt, 7},       {5, 2, kNt, 8},       {5, 3, kNt, 9},       {6, 1, kNt, 9},       {10, 0, kNt, 9},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OsVersionCode(c.major, c.minor, c.platform), c.code) << c.major << "." << c.minor;
}

class Resolution : public testing::Test {
 protected:
  void TearDown() override { ResetResolution(); }
};

TEST_F(Resolution, TableAndBadIndex) {
  struct Case {
    int index, width, height;
  } cases[] = {{0, 800, 600}, {1, 1024, 768}, {2, 1280, 1024}, {3, 1600, 1200}, {4, 1280, 768}};
  LogTail errors;
  for (const Case& c : cases) {
    g_resolutionIndex = c.index;
    int width = 0, height = 0;
    CalcResolution(99, &width, &height);
    EXPECT_EQ(width, c.width) << c.index;
    EXPECT_EQ(height, c.height) << c.index;
  }
  EXPECT_EQ(errors.Text(), "");
  for (int bad : {-1, 5}) {
    LogTail badErrors;
    g_resolutionIndex = bad;
    int width = 0, height = 0;
    CalcResolution(0, &width, &height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    EXPECT_EQ(badErrors.Text(), "bad value passed to CalcResolution.\n");
  }
}

TEST_F(Resolution, ResetClearsIndexAndAppliedIndex) {
  g_resolutionIndex = 3;
  g_appliedResolutionIndex = 2;
  ResetResolution();
  EXPECT_EQ(g_resolutionIndex, 0);
  EXPECT_EQ(g_appliedResolutionIndex, 0);
}

class UserData : public testing::Test {
 protected:
  void SetUp() override { previous_ = SetDocumentsFolderSource(nullptr); }
  void TearDown() override { SetDocumentsFolderSource(previous_); }
  static bool Missing(std::string*) { return false; }
  static bool Documents(std::string* folder) {
    *folder = "_documents";
    return true;
  }
  static bool DocumentsWithBackslash(std::string* folder) {
    *folder = "_documents2\\";
    return true;
  }
  static bool VeryLongDocuments(std::string* folder) {
    *folder = std::string(kMaxPathLength - 3, 'd');
    return true;
  }
  DocumentsFolderSource previous_;
};

TEST_F(UserData, FolderInTheDocumentsFolderIsCreated) {
  MakeDirectory("_documents");
  MakeDirectory("_documents2");
  LogTail errors;
  SetDocumentsFolderSource(Documents);
  EXPECT_EQ(UserDataFolder("Quorvex"), "_documents\\Quorvex");
  EXPECT_TRUE(IsDirectory("_documents\\Quorvex"));
  EXPECT_EQ(SettingsFilePath(), "_documents\\Quorvex\\settings.stuff");
  EXPECT_FALSE(FileExists("_documents\\Quorvex\\settings.stuff"));
  SetDocumentsFolderSource(DocumentsWithBackslash);
  EXPECT_EQ(UserDataFolder("Other"), "_documents2\\Other");
  EXPECT_TRUE(IsDirectory("_documents2\\Other"));
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(UserData, WithoutADocumentsFolderTheRelativeFolderIsUsed) {
  LogTail errors;
  SetDocumentsFolderSource(Missing);
  EXPECT_EQ(UserDataFolder("Quorvex"), "userdata\\");
  EXPECT_TRUE(IsDirectory("userdata"));
  EXPECT_EQ(errors.Text(), "Unable to retrieve user's home diretory.  Resorting to game dir.\n");
}

TEST_F(UserData, AnOverlongFolderIsRefusedForTheRelativeFolder) {
  LogTail errors;
  SetDocumentsFolderSource(VeryLongDocuments);
  EXPECT_EQ(UserDataFolder("Quorvex"), "userdata\\");
  std::string tooLong = std::string(kMaxPathLength - 3, 'd') + "\\Quorvex";
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Path too long (over 259 characters): " + tooLong + "\n  -call stack:\n\n");
}

TEST(GetFileLength, BytesOfAFileAndZeroOtherwise) {
  WriteFileBytes("_length.bin", std::string(1234, '\n'));
  EXPECT_EQ(GetFileLength("_length.bin"), 1234);
  WriteFileBytes("_empty.bin", "");
  EXPECT_EQ(GetFileLength("_empty.bin"), 0);
  EXPECT_EQ(GetFileLength("_no_such_file.bin"), 0);
  MakeDirectory("_length_dir");
  EXPECT_EQ(GetFileLength("_length_dir"), 0);
}

}  // namespace
