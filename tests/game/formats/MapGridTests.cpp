// The map grid, its coordinate transforms and the ".map" loader, on the
// generator's maps and on maps built here.
#include <gtest/gtest.h>

#include <sstream>

#include "FormatTestSupport.h"
#include "game/formats/MapGrid.h"
#include "TestSupport.h"

namespace {

std::string U16(int value) { return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF)}; }

std::string MapText(const std::string& header, const std::string& body) {
  return "MAP V01.10 Vantrell\n" + header + body;
}

// Writes a map into the working folder and returns its program path.
std::string PutMap(const std::string& name, const std::string& bytes) {
  ResetFolder("maps_test");
  WriteFileBytes("maps_test/" + name, bytes);
  return "maps_test\\" + name;
}

std::string PutFixtureMap(const std::string& name) { return PutMap(name, FixtureBytes("map/" + name)); }

// Loads a 1 x height map so the transforms use that height.
void UseFileHeight(int height) {
  std::string body(6 * height, '\0');
  ASSERT_TRUE(LoadMap(PutMap("h.map", MapText("width=1\nheight=" + std::to_string(height) + "\nBODY\n", body))));
}

TEST(MapTransforms, DeskewAndReskew) {
  UseFileHeight(10);
  int gx, gy, x, y;
  Deskew(0, 0, &gx, &gy);
  EXPECT_EQ(gx, 0);
  EXPECT_EQ(gy, 20);
  Deskew(3, 5, &gx, &gy);
  EXPECT_EQ(gx, 5);
  EXPECT_EQ(gy, 20);
  Reskew(5, 20, &x, &y);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(y, 5);

  UseFileHeight(4);
  Deskew(2, 1, &gx, &gy);  // odd rows are shifted by half a tile
  EXPECT_EQ(gx, 2);
  EXPECT_EQ(gy, 7);
  Reskew(2, 7, &x, &y);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(y, 1);
  for (int fx = 0; fx < 40; ++fx) {
    for (int fy = 0; fy < 40; ++fy) {
      Deskew(fx, fy, &gx, &gy);
      Reskew(gx, gy, &x, &y);
      EXPECT_EQ(x, fx);
      EXPECT_EQ(y, fy);
    }
  }
  // Extreme positions (from the network) wrap instead of overflowing.
  Deskew(2147483647, 2147483647, &gx, &gy);
  Reskew(gx, gy, &x, &y);
  EXPECT_EQ(y, 2147483647);
  Reskew(-2147483647 - 1, 2147483647, &x, &y);
}

TEST(MapLoad, GeneratedMapFillsTheGrid) {
  std::string path = PutFixtureMap("good.map");
  LogTail log;
  ASSERT_TRUE(LoadMap(path));
  EXPECT_EQ(log.Text(), "");
  EXPECT_TRUE(IsMapLoaded());
  int w, h;
  GetMapSize(&w, &h);
  EXPECT_EQ(w, 2 * (12 + 7));
  EXPECT_EQ(h, 2 * (12 + 7));

  std::vector<int> mapped(w * h, 0);
  std::vector<std::string> cells = FixtureLines("map/good.cells");
  ASSERT_EQ(cells.size(), 12u * 7u);
  int walls = 0;
  for (const std::string& line : cells) {
    std::istringstream in(line);
    int x, y, floor, object, wallX, wallY;
    in >> x >> y >> floor >> object >> wallX >> wallY;
    int gx, gy;
    Deskew(x, y, &gx, &gy);
    ASSERT_TRUE(gx >= 0 && gy >= 0 && gx < w && gy < h) << line;
    mapped[gx + gy * w] = 1;
    EXPECT_EQ(GetMapFloor(gx, gy), floor) << line;
    EXPECT_EQ(GetMapObject(gx, gy), object) << line;
    EXPECT_EQ(GetWallXEdge(gx, gy), static_cast<signed char>(wallX)) << line;
    EXPECT_EQ(GetWallYEdge(gx, gy), static_cast<signed char>(wallY)) << line;
    walls += wallX != 0 || wallY != 0;
  }
  EXPECT_GT(walls, 0);
  // Cells no file cell maps to stay empty.
  for (int gy = 0; gy < h; ++gy) {
    for (int gx = 0; gx < w; ++gx) {
      if (mapped[gx + gy * w]) continue;
      EXPECT_EQ(GetMapFloor(gx, gy), 65535);
      EXPECT_EQ(GetMapObject(gx, gy), 0);
      EXPECT_EQ(GetWallXEdge(gx, gy), 0);
      EXPECT_EQ(GetWallYEdge(gx, gy), 0);
    }
  }
}

TEST(MapLoad, OutsideTheGrid) {
  ASSERT_TRUE(LoadMap(PutFixtureMap("good.map")));
  int g, unused;
  GetMapSize(&g, &unused);
  for (auto xy : {std::make_pair(-1, 0), std::make_pair(g, 0), std::make_pair(0, -1), std::make_pair(0, g)}) {
    EXPECT_EQ(GetMapFloor(xy.first, xy.second), 161);
    EXPECT_EQ(GetMapObject(xy.first, xy.second), 0);
    EXPECT_EQ(GetWallXEdge(xy.first, xy.second), 0);
    EXPECT_EQ(GetWallYEdge(xy.first, xy.second), 0);
    SetMapFloor(xy.first, xy.second, 5);
    SetMapObject(xy.first, xy.second, 5);
    SetWallXEdge(xy.first, xy.second, 5);
    SetWallYEdge(xy.first, xy.second, 5);
    EXPECT_EQ(GetMapFloor(xy.first, xy.second), 161);
  }
  SetMapFloor(3, 4, 599);
  SetMapObject(3, 4, 77);
  SetWallXEdge(3, 4, -3);
  SetWallYEdge(3, 4, 200);
  EXPECT_EQ(GetMapFloor(3, 4), 599);
  EXPECT_EQ(GetMapObject(3, 4), 77);
  EXPECT_EQ(GetWallXEdge(3, 4), -3);
  EXPECT_EQ(GetWallYEdge(3, 4), -56);  // 200 as a signed byte
}

TEST(MapLoad, HeaderKeysInAnyOrderLastValueCounts) {
  LogTail log;
  ASSERT_TRUE(LoadMap(PutFixtureMap("reordered.map")));
  EXPECT_EQ(log.Text(), "");
  int w, h;
  GetMapSize(&w, &h);
  EXPECT_EQ(w, 38);
  // The same cells as the plain file.
  std::vector<int> floors;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) floors.push_back(GetMapFloor(x, y));
  ASSERT_TRUE(LoadMap(PutFixtureMap("good.map")));
  for (int y = 0, i = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, ++i) EXPECT_EQ(GetMapFloor(x, y), floors[i]);
}

TEST(MapLoad, EncryptedMapIsRefusedWithABox) {
  ASSERT_TRUE(LoadMap(PutFixtureMap("good.map")));
  MessageBoxRecorder boxes;
  LogTail log;
  EXPECT_FALSE(LoadMap(PutFixtureMap("encoded.map")));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "This map is encrypted.  Encrypted dreams are not yet supported.");
  EXPECT_EQ(boxes.Boxes()[0].caption, "Evil Encrypted Dreams...");
  EXPECT_EQ(boxes.Boxes()[0].style, static_cast<unsigned>(kMessageBoxOk));
  EXPECT_EQ(log.Text(), "");
  int w, h;
  GetMapSize(&w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  EXPECT_FALSE(IsMapLoaded());
  // Any other first character loads.
  std::string body(6 * 4, '\0');
  EXPECT_TRUE(LoadMap(PutMap("e.map", MapText("width=2\nheight=2\nencoded=01\nBODY\n", body))));
  EXPECT_EQ(boxes.Boxes().size(), 1u);
}

TEST(MapLoad, BadSizesAreRefused) {
  struct Case {
    const char* fixture;
    const char* size;
  };
  const Case cases[] = {
      {"zero.map", "0x5"},
      {"negative.map", "-4x5"},
      {"huge.map", "2000000000x2000000000"},
      {"overflow.map", "46341x46341"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadMap(PutFixtureMap("good.map")));
    LogTail log;
    EXPECT_FALSE(LoadMap(PutFixtureMap(c.fixture))) << c.fixture;
    EXPECT_EQ(log.Text(), std::string("map dimensions loaded from file are bad: ") + c.size + "\n");
    int w, h;
    GetMapSize(&w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(GetMapFloor(0, 0), 161);
  }
  // The bound is on width + height; numbers past int saturate.
  LogTail log;
  EXPECT_FALSE(LoadMap(PutMap("b.map", MapText("width=1024\nheight=1025\nBODY\n", ""))));
  EXPECT_FALSE(LoadMap(PutMap("b.map", MapText("width=99999999999\nheight=-99999999999\nBODY\n", ""))));
  EXPECT_EQ(log.Text(), "map dimensions loaded from file are bad: 1024x1025\n"
                        "map dimensions loaded from file are bad: 2147483647x-2147483648\n");
}

TEST(MapLoad, TransformsKeepOrTakeTheFileHeight) {
  UseFileHeight(10);
  int gx, gy;
  EXPECT_FALSE(LoadMap("maps_test\\missing.map"));
  Deskew(0, 0, &gx, &gy);
  EXPECT_EQ(gy, 20);
  MessageBoxRecorder boxes;
  EXPECT_FALSE(LoadMap(PutFixtureMap("encoded.map")));  // height 7
  Deskew(0, 0, &gx, &gy);
  EXPECT_EQ(gy, 20);
  EXPECT_FALSE(LoadMap(PutFixtureMap("zero.map")));  // 0 x 5: the size check takes the values
  Deskew(0, 0, &gx, &gy);
  EXPECT_EQ(gy, 10);
}

// Every cell of a grid size x size: floor 65535, no object, no walls.
void ExpectEmptyGrid(int size) {
  int width = -1, height = -1;
  GetMapSize(&width, &height);
  ASSERT_EQ(width, size);
  ASSERT_EQ(height, size);
  int others = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (GetMapFloor(x, y) != 65535 || GetMapObject(x, y) != 0 || GetWallXEdge(x, y) != 0 ||
          GetWallYEdge(x, y) != 0)
        ++others;
  EXPECT_EQ(others, 0);
}

TEST(MapLoad, MissingFile) {
  LogTail log;
  EXPECT_FALSE(LoadMap("maps_test\\missing.map"));
  EXPECT_EQ(log.Text(), "Failed to load vant .map file: maps_test\\missing.map\n");
  EXPECT_FALSE(IsMapLoaded());
}

TEST(MapLoad, HeaderWithoutBodyLineLoadsAnEmptyMap) {
  // The whole file is read as header lines; the body then finds no bytes.
  std::string nobody = PutFixtureMap("nobody.map");  // 12 x 7, its body after the header lines
  LogTail log;
  EXPECT_TRUE(LoadMap(nobody));
  EXPECT_TRUE(IsMapLoaded());
  EXPECT_EQ(log.Text(), "Map file body is shorter than its header promises (0 of 504 bytes); "
                        "the missing cells stay empty: " + nobody + "\n");
  ExpectEmptyGrid(2 * (12 + 7));
  int gx, gy;
  Deskew(0, 0, &gx, &gy);
  EXPECT_EQ(gy, 14);

  // Header lines only, up to the end of the file.
  std::string bare = PutMap("bare.map", MapText("width=3\nheight=2\nname=Bare", ""));
  LogTail log2;
  EXPECT_TRUE(LoadMap(bare));
  EXPECT_EQ(log2.Text(), "Map file body is shorter than its header promises (0 of 36 bytes); "
                         "the missing cells stay empty: " + bare + "\n");
  ExpectEmptyGrid(10);
}

TEST(MapLoad, CarriageReturnsHideTheBodyLine) {
  UseFileHeight(10);
  std::string path = PutFixtureMap("crlf.map");  // 12 x 7
  LogTail log;
  EXPECT_TRUE(LoadMap(path));
  EXPECT_EQ(log.Text(), "Warning: Unrecognized map version found in map file: " + path + "\n" +
                            "  -load may potentially be invalid.\n"
                            "  -version=MAP V01.10 Vantrell\r\n" +
                            "Map file body is shorter than its header promises (0 of 504 bytes); "
                            "the missing cells stay empty: " + path + "\n");
  // The header values still parse, the number ending at the carriage
  // return; the body, read as header lines, sets nothing.
  ExpectEmptyGrid(2 * (12 + 7));
  int gx, gy;
  Deskew(0, 0, &gx, &gy);
  EXPECT_EQ(gy, 14);
  // And the width: the size check shows both values read.
  std::string zero = PutMap("zero.map", "MAP V01.10 Vantrell\r\nwidth=37\r\nheight=0\r\nBODY\r\n");
  LogTail log2;
  EXPECT_FALSE(LoadMap(zero));
  EXPECT_EQ(CountLines(log2.Text(), "map dimensions loaded from file are bad: 37x0"), 1);
}

TEST(MapLoad, ShortBodyLeavesTheMissingCellsEmpty) {
  // 2 x 2 map, three body bytes: the first floor only.
  std::string path = PutMap("short.map", MapText("width=2\nheight=2\nBODY\n", U16(42) + "\x01"));
  LogTail log;
  ASSERT_TRUE(LoadMap(path));
  EXPECT_EQ(log.Text(), "Map file body is shorter than its header promises (3 of 24 bytes); "
                        "the missing cells stay empty: " + path + "\n");
  int gx, gy;
  Deskew(0, 0, &gx, &gy);
  EXPECT_EQ(GetMapFloor(gx, gy), 42);
  Deskew(0, 1, &gx, &gy);
  EXPECT_EQ(GetMapFloor(gx, gy), 65535);
  EXPECT_EQ(GetMapObject(gx, gy), 0);

  // The generated one: floors whole, objects cut after five values.
  std::string cut = PutFixtureMap("short.map");
  LogTail log2;
  ASSERT_TRUE(LoadMap(cut));
  EXPECT_EQ(log2.Text(), "Map file body is shorter than its header promises (178 of 504 bytes); "
                         "the missing cells stay empty: " + cut + "\n");
  for (const std::string& line : FixtureLines("map/good.cells")) {
    std::istringstream in(line);
    int x, y, floor;
    in >> x >> y >> floor;
    Deskew(x, y, &gx, &gy);
    EXPECT_EQ(GetMapFloor(gx, gy), floor);
    EXPECT_EQ(GetWallXEdge(gx, gy), 0);
  }
}

TEST(MapLoad, WallBytesGoToTheirEdges) {
  // 1 x 2 map: floors 1 2, objects 3 4, x-edge walls 5 6, y-edge walls 7 -8.
  std::string body = U16(1) + U16(2) + U16(3) + U16(4) + "\x05\x06\x07\xf8";
  ASSERT_TRUE(LoadMap(PutMap("w.map", MapText("width=1\nheight=2\nBODY\n", body))));
  int gx, gy;
  Deskew(0, 1, &gx, &gy);
  EXPECT_EQ(GetMapFloor(gx, gy), 2);
  EXPECT_EQ(GetMapObject(gx, gy), 4);
  EXPECT_EQ(GetWallXEdge(gx, gy), 6);
  EXPECT_EQ(GetWallYEdge(gx, gy), -8);
}

TEST(MapLoad, CellsLeftOfTheGridAreReported) {
  std::string path = PutFixtureMap("wide.map");  // 30 x 3
  int expected = 0;
  for (int x = 0; x < 30; ++x)
    for (int y = 0; y < 3; ++y) expected += (y + 1) / 2 + 2 * 3 - x < 0;
  ASSERT_GT(expected, 0);
  LogTail log;
  EXPECT_TRUE(LoadMap(path));
  const std::string line = "coord less than 0 after deskew transform while loading map " + path;
  EXPECT_EQ(CountLines(log.Text(), line), expected);
  EXPECT_EQ(log.Text().size(), (line.size() + 1) * expected);
}

TEST(MapLoad, ReportsOfCellsLeftOfTheGridAreCapped) {
  std::string path = PutMap("wider.map", MapText("width=2000\nheight=10\nBODY\n", std::string(6 * 2000 * 10, '\0')));
  int expected = 0;
  for (int x = 0; x < 2000; ++x)
    for (int y = 0; y < 10; ++y) expected += (y + 1) / 2 + 2 * 10 - x < 0;
  LogTail log;
  EXPECT_TRUE(LoadMap(path));
  EXPECT_EQ(CountLines(log.Text(), "coord less than 0 after deskew transform while loading map " + path), 1000);
  EXPECT_EQ(CountLines(log.Text(), "  -" + std::to_string(expected - 1000) +
                                       " more cells had a coord less than 0 after deskew transform"),
            1);
}

}  // namespace
