// Palettes from pcx files and the colour tables of "data\colors\".
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "FormatTestSupport.h"
#include "game/formats/ColorTables.h"
#include "TestSupport.h"

namespace {

std::vector<unsigned> PaletteRgb() {
  std::vector<unsigned> rgb;
  for (const PaletteColor& c : Palette) rgb.push_back(c.zero << 24 | c.r << 16 | c.g << 8 | c.b);
  return rgb;
}

TEST(PcxPalette, LastBytesOfTheFile) {
  LogTail log;
  LoadPcxPalette(FixturePath("palette/default.pcx"));
  EXPECT_EQ(log.Text(), "");
  std::vector<std::string> expected = FixtureLines("palette/default.expect");
  ASSERT_EQ(expected.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    std::istringstream in(expected[i]);
    int r, g, b;
    in >> r >> g >> b;
    EXPECT_EQ(Palette[i].r, r) << i;
    EXPECT_EQ(Palette[i].g, g) << i;
    EXPECT_EQ(Palette[i].b, b) << i;
    EXPECT_EQ(Palette[i].zero, 0) << i;
  }

  // A file of exactly 768 bytes is all palette.
  LoadPcxPalette(FixturePath("palette/exact.pcx"));
  std::string exact = FixtureBytes("palette/exact.pcx");
  ASSERT_EQ(exact.size(), 768u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(Palette[i].r, static_cast<unsigned char>(exact[3 * i]));
    EXPECT_EQ(Palette[i].b, static_cast<unsigned char>(exact[3 * i + 2]));
  }
}

TEST(PcxPalette, UnreadableFilesLeaveThePalette) {
  LoadPcxPalette(FixturePath("palette/default.pcx"));
  const std::vector<unsigned> before = PaletteRgb();
  const std::string shortFile = FixturePath("palette/short.pcx");
  const std::string missing = FixturePath("palette/missing.pcx");
  LogTail log;
  LoadPcxPalette(shortFile);
  LoadPcxPalette(missing);
  EXPECT_EQ(log.Text(), "Palette file " + shortFile +
                            " is too short to hold a palette (600 bytes); the palette is unchanged.\n"
                            "Failed to open file to read pcx palette (" + missing + ")\n");
  EXPECT_EQ(PaletteRgb(), before);
}

// Colour tables are read from the working folder's "data\colors\".
class ColorTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFolder("data/colors"); }
  void TearDown() override { RemoveFolder("data"); }
  void Put(const std::string& name, const std::string& text) { WriteFileBytes("data/colors/" + name, text); }
  void PutFixtureSet(const std::string& set) {
    for (const std::string& name : ListFiles(FixturePath("colors/" + set + "/data/colors")))
      CopyFileTo(FixturePath("colors/" + set + "/data/colors/" + name), "data/colors/" + name);
  }
};

TEST_F(ColorTablesTest, GeneratedTablesLoadExactly) {
  PutFixtureSet("good");
  std::memset(PartColorTables, 0x55, sizeof PartColorTables);
  LogTail log;
  LoadColorTables();
  EXPECT_EQ(log.Text(), "");
  std::vector<std::string> expected = FixtureLines("colors/good.expect");
  ASSERT_EQ(expected.size(), 10u);
  for (int t = 0; t < kPartTableCount; ++t) {
    std::istringstream in(expected[t]);
    for (int i = 0; i < kPartTableSize; ++i) {
      int r, g, b;
      char comma;
      in >> r >> comma >> g >> comma >> b;
      const PaletteColor& c = PartColorTables[t][i];
      EXPECT_EQ(c.zero, 0);
      EXPECT_EQ((std::vector<int>{c.r, c.g, c.b}), (std::vector<int>{r, g, b})) << "table " << t << " entry " << i;
    }
  }
}

TEST_F(ColorTablesTest, ColorNames) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> names;
    bool error;
  };
  const Case cases[] = {
      {"repeated name keeps the first", "Red 1 2 3\nRed 4 5 6\nEnd\n", {"Red=1,2,3"}, false},
      {"values keep their low 8 bits", "Odd 256 -1 300 End", {"Odd=0,255,44"}, false},
      {"no End after a line end", "Red 1 2 3\n", {"Red=1,2,3"}, true},
      {"last value at the very end", "Red 1 2 3\nBlue 4 5 6", {"Red=1,2,3"}, true},
      {"cut inside a group", "Red 1 2 3\nBlue 4 5", {"Red=1,2,3"}, true},
      {"not a number", "Red 1 2 3\nBlue 4 x 6\nGreen 7 8 9\nEnd\n", {"Red=1,2,3"}, true},
      {"number out of range", "Red 1 2 3\nBlue 4 99999999999 6\nEnd\n", {"Red=1,2,3"}, true},
      {"empty file", "", {}, true},
      {"names are case-sensitive", "red 1 2 3 Red 4 5 6 End", {"Red=4,5,6", "red=1,2,3"}, false},
  };
  for (const Case& c : cases) {
    Put("colors.txt", c.text);
    ColorNames names;
    names["stale"] = PaletteColor{0, 9, 9, 9};
    LogTail log;
    LoadColorNames(names);
    std::vector<std::string> got;
    for (const auto& entry : names) {
      EXPECT_EQ(entry.second.zero, 0);
      got.push_back(entry.first + "=" + std::to_string(entry.second.r) + "," + std::to_string(entry.second.g) +
                    "," + std::to_string(entry.second.b));
    }
    EXPECT_EQ(got, c.names) << c.what;
    EXPECT_EQ(log.Text(), c.error ? "Error in file data\\colors\\colors.txt, some colors may be wrong...\n" : "")
        << c.what;
  }
}

TEST_F(ColorTablesTest, PartTables) {
  ColorNames names;
  names["Red"] = PaletteColor{0, 200, 0, 0};
  names["Blue"] = PaletteColor{0, 0, 0, 200};
  const std::string path = "data\\colors\\vest.txt";
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::pair<int, int>> entries;  // index, red + blue
    std::string log;
  };
  const Case cases[] = {
      {"well formed, later pair wins", "1 Red 2 Blue 1 Blue -1\n", {{1, 200}, {2, 200}}, ""},
      {"index too high", "70 Red 3 Red -1", {{3, 200}},
       "Color index too high (70) in file " + path + "...  ignoring it.\n"},
      {"unknown colour stays black", "4 Mauve 5 Red -1\n", {{5, 200}},
       "No such color (Mauve), referanced in file " + path + "\n"},
      {"no negative index", "6 Red\n7 Blue\n", {{6, 200}, {7, 200}}, "Error in file " + path + "\n"},
      {"ends right after a pair", "6 Red", {{6, 200}}, "Error in file " + path + "\n"},
      {"index that is not a number", "1 Red\nfive Red\n2 Red\n-1\n", {{1, 200}}, "Error in file " + path + "\n"},
      {"index without a name", "1 Red 2", {{1, 200}}, "Error in file " + path + "\n"},
      {"empty file", "", {}, "Error in file " + path + "\n"},
      {"nothing after the end", "8 Red -1 9 Red", {{8, 200}}, ""},
  };
  for (const Case& c : cases) {
    Put("vest.txt", c.text);
    PaletteColor table[kPartTableSize];
    std::memset(table, 0x55, sizeof table);
    LogTail log;
    LoadColorIndexTable(path, names, table);
    EXPECT_EQ(log.Text(), c.log) << c.what;
    for (int i = 0; i < kPartTableSize; ++i) {
      int expected = 0;
      for (const auto& e : c.entries)
        if (e.first == i) expected = e.second;
      EXPECT_EQ(table[i].r + table[i].b, expected) << c.what << ": entry " << i;
      EXPECT_EQ(table[i].g, 0) << c.what << ": entry " << i;
    }
  }
}

TEST_F(ColorTablesTest, MissingFilesLeaveTablesAlone) {
  PaletteColor table[kPartTableSize];
  std::memset(table, 0x55, sizeof table);
  ColorNames names;
  names["Red"] = PaletteColor{0, 200, 0, 0};
  LogTail log;
  LoadColorIndexTable("data\\colors\\nothere.txt", names, table);
  LoadColorIndexTable("data\\colors\\nothere.txt", ColorNames(), table);  // no names: not even opened
  EXPECT_EQ(log.Text(), "Failed to open data\\colors\\nothere.txt to load color indices from.\n");
  for (const PaletteColor& c : table) EXPECT_EQ(c.r, 0x55);

  // Without colors.txt every part table keeps what it held.
  PutFixtureSet("good");
  RemoveFolder("data/colors/colors.txt");
  std::memset(PartColorTables, 0x66, sizeof PartColorTables);
  LogTail log2;
  LoadColorTables();
  EXPECT_EQ(log2.Text(), "Failed to open data\\colors\\colors.txt to load color pairs.\n");
  EXPECT_EQ(PartColorTables[kPartVest][63].b, 0x66);
}

TEST_F(ColorTablesTest, NonNumericTokensEndEveryFile) {
  PutFixtureSet("nonnumeric");
  LogTail log;
  LoadColorTables();
  std::string expected = "Error in file data\\colors\\colors.txt, some colors may be wrong...\n";
  for (const char* part : {"badge", "bracer", "boot", "cape", "eye", "fur", "hair", "marking", "pants", "vest"})
    expected += std::string("Error in file data\\colors\\") + part + ".txt\n";
  EXPECT_EQ(log.Text(), expected);
  for (int t = 0; t < kPartTableCount; ++t) {
    EXPECT_EQ(PartColorTables[t][1].r, 200);
    EXPECT_EQ(PartColorTables[t][2].r, 0);
  }
}

}  // namespace
