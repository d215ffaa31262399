// Shape files, their patches, and the resampling into floor texels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <utility>
#include <vector>

#include "FormatTestSupport.h"
#include "game/formats/ShapeFile.h"
#include "TestSupport.h"

namespace {

// ".fs2" patches find their base set in the working folder's
// "patches\default\".
class ShapeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFolder("patches/default");
    ResetFolder("shapes_test");
    CopyFileTo(FixturePath("shape/patches/default/floors.fsh"), "patches/default/floors.fsh");
  }
  void TearDown() override {
    RemoveFolder("patches");
    RemoveFolder("shapes_test");
  }
  std::string Put(const std::string& name, const std::string& bytes) {
    WriteFileBytes("shapes_test/" + name, bytes);
    return "shapes_test\\" + name;
  }
  std::string PutFixture(const std::string& fixture) {
    return Put(fixture.substr(fixture.rfind('/') + 1), FixtureBytes(fixture));
  }
};

void ExpectSet(const ShapeSet& set, const std::string& expectFile) {
  std::vector<std::string> lines = FixtureLines(expectFile);
  ASSERT_EQ(set.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    std::istringstream in(lines[i]);
    int index, w, h, key;
    std::string hash;
    in >> index >> w >> h >> key >> hash;
    const FshImage& image = set[i];
    EXPECT_EQ(image.width, w) << i;
    EXPECT_EQ(image.height, h) << i;
    EXPECT_EQ(image.keyColor, key) << i;
    char text[16];
    std::snprintf(text, sizeof text, "%08x", Fnv1a(image.pixels.data(), image.pixels.size()));
    EXPECT_EQ(text, hash) << i;
  }
}

TEST_F(ShapeFileTest, GeneratedFloorSet) {
  ShapeSet set;
  LogTail log;
  EXPECT_TRUE(LoadShapeFile(set, "patches\\default\\floors.fsh"));
  EXPECT_EQ(log.Text(), "");
  ExpectSet(set, "shape/floors.expect");
}

TEST_F(ShapeFileTest, RowsAreStoredLastFirstAndTheKeyIsTheLastRowsFirstPixel) {
  // Two images after two unused values: 2 x 2 (file rows 11 22, then 33 44)
  // and 3 x 1.
  const std::string bytes("\x02\x00" "\xAA\xAA\xBB\xBB"
                          "\x02\x02\xCC\xCC" "\x11\x22" "\x33\x44"
                          "\x03\x01\xCC\xCC" "\x05\x06\x07",
                          2 + 4 + 4 + 4 + 4 + 3);
  ShapeSet set;
  ASSERT_TRUE(LoadShapeFile(set, Put("hand.fsh", bytes)));
  ASSERT_EQ(set.size(), 2u);
  EXPECT_EQ(set[0].width, 2);
  EXPECT_EQ(set[0].height, 2);
  // The file's first row is row 1 (h - 1), its last row is row 0.
  EXPECT_EQ(set[0].pixels, (std::vector<unsigned char>{0x33, 0x44, 0x11, 0x22}));
  EXPECT_EQ(set[0].Pixel(0, 1), 0x11);
  EXPECT_EQ(set[0].Pixel(1, 0), 0x44);
  EXPECT_EQ(set[0].keyColor, 0x33);
  EXPECT_EQ(set[1].pixels, (std::vector<unsigned char>{5, 6, 7}));
  EXPECT_EQ(set[1].keyColor, 5);
}

TEST_F(ShapeFileTest, PatchReplacesImagesOfTheDefaultSet) {
  std::string path = PutFixture("shape/dream/floors.fs2");
  ShapeSet set;
  LogTail log;
  EXPECT_TRUE(LoadShapeFile(set, path));
  EXPECT_EQ(log.Text(), "Erp... " + path +
                            " has an image thats supposed to replace an image number out of the valid range... "
                            "ignoring it.\n");
  ASSERT_NO_FATAL_FAILURE(ExpectSet(set, "shape/patched.expect"));
  ASSERT_GE(set.size(), 3u);
  EXPECT_EQ(set[2].keyColor, 0);  // patched: key colour 0 whatever its pixels
}

TEST_F(ShapeFileTest, ExtensionDecidesAndCaseDoesNotMatter) {
  ShapeSet set;
  std::string upper = Put("floors.FS2", FixtureBytes("shape/dream/floors.fs2"));
  EXPECT_TRUE(LoadShapeFile(set, upper));
  ExpectSet(set, "shape/patched.expect");

  std::string other = Put("floors.png", "not a shape");
  std::string orphan = Put("orphan.fs2", FixtureBytes("shape/dream/floors.fs2"));
  LogTail log;
  EXPECT_FALSE(LoadShapeFile(set, other));
  EXPECT_FALSE(LoadShapeFile(set, "shapes_test\\missing.fsh"));  // silently
  EXPECT_FALSE(LoadShapeFile(set, Put("empty.fsh", "")));        // silently
  EXPECT_FALSE(LoadShapeFile(set, orphan));
  EXPECT_EQ(log.Text(), "FSH/FS2 loader encountered an unknown extension to load, for file: " + other + "\n" +
                            "Unable to open patches\\default\\orphan.fsh to load FSH data.\n" +
                            "Could not load base .fsh to load .fs2 file.\n  -fs2 name: " + orphan +
                            "\n  -base fsh: patches\\default\\orphan.fsh\n");
}

std::string EofWarning(int loaded, int count, const std::string& path) {
  return "Warning: EOF hit, but only " + std::to_string(loaded) + " of the " + std::to_string(count) +
         " images were loaded from " + path + ".  Will use what we got...\n";
}

TEST_F(ShapeFileTest, FshCutShortKeepsTheImagesReadWhole) {
  // Three images declared: 2 x 2 (file rows 11 22, then 33 44), 1 x 1, and a
  // 2 x 2 that the cuts below leave incomplete.
  const std::string head("\x03\x00" "\xAA\xAA\xBB\xBB\xCC\xCC"
                         "\x02\x02\xCC\xCC" "\x11\x22" "\x33\x44"
                         "\x01\x01\xCC\xCC" "\x09",
                         2 + 6 + 4 + 4 + 4 + 1);
  struct Case {
    const char* what;
    std::string bytes;
    size_t loaded;
  };
  const Case cases[] = {
      {"cut in the third image's pixels", head + std::string("\x02\x02\xCC\xCC" "\x55\x66" "\x77", 7), 2},
      {"cut in the third image's header", head + std::string("\x02\x02\xCC", 3), 2},
      {"cut after the second image", head, 2},
      {"cut in the second image's pixels", head.substr(0, head.size() - 1), 1},
      {"cut in the unused values", head.substr(0, 5), 0},
      {"the count alone", head.substr(0, 2), 0},
  };
  for (const Case& c : cases) {
    std::string path = Put("cut.fsh", c.bytes);
    ShapeSet set(5);  // emptied first
    LogTail log;
    // With no image whole the file has nothing to offer: it fails, so the
    // caller can fall back to another floor set.
    EXPECT_EQ(LoadShapeFile(set, path), c.loaded > 0) << c.what;
    EXPECT_EQ(log.Text(), c.loaded > 0 ? EofWarning(static_cast<int>(c.loaded), 3, path)
                                       : "Unexpected end of file while reading " + path +
                                             " as FSH data; it holds no usable images.\n")
        << c.what;
    ASSERT_EQ(set.size(), c.loaded) << c.what;
    if (c.loaded >= 1) {
      EXPECT_EQ(set[0].pixels, (std::vector<unsigned char>{0x33, 0x44, 0x11, 0x22})) << c.what;
      EXPECT_EQ(set[0].keyColor, 0x33) << c.what;
    }
    if (c.loaded >= 2) {
      EXPECT_EQ(set[1].pixels, std::vector<unsigned char>{0x09}) << c.what;
      EXPECT_EQ(set[1].keyColor, 0x09) << c.what;
    }
  }

  // The generated set cut in half keeps its first images exactly.
  std::string truncated = PutFixture("shape/truncated.fsh");
  ShapeSet set;
  LogTail log;
  EXPECT_TRUE(LoadShapeFile(set, truncated));
  const size_t whole = FixtureLines("shape/truncated.expect").size();
  ASSERT_GT(whole, 0u);
  EXPECT_EQ(log.Text(), EofWarning(static_cast<int>(whole), 170, truncated));
  ExpectSet(set, "shape/truncated.expect");

  // 65535 images of 255 x 255 claimed, a few bytes held: none is whole, and
  // memory follows the bytes.
  std::string huge = PutFixture("shape/huge.fsh");
  LogTail log2;
  EXPECT_FALSE(LoadShapeFile(set, huge));
  EXPECT_TRUE(set.empty());
  EXPECT_EQ(log2.Text(), "Unexpected end of file while reading " + huge + " as FSH data; it holds no usable images.\n");
}

TEST_F(ShapeFileTest, FshTooShortForItsCountOrWithNoImages) {
  ShapeSet set(2);
  std::string oneByte = Put("one.fsh", std::string("\x01", 1));
  LogTail log;
  EXPECT_FALSE(LoadShapeFile(set, oneByte));
  EXPECT_TRUE(set.empty());
  EXPECT_EQ(log.Text(),
            "Unexpected end of file while reading " + oneByte + " as FSH data; it holds no usable images.\n");
  LogTail log2;
  EXPECT_TRUE(LoadShapeFile(set, Put("none.fsh", std::string("\x00\x00", 2))));
  EXPECT_TRUE(set.empty());
  EXPECT_EQ(log2.Text(), "");

  // Two images announced, the first cut inside its rows: nothing whole to
  // keep, so the caller may fall back to another floor set.
  std::string firstCut = Put("first_cut.fsh", std::string("\x02\x00\x00\x00\x00\x00\x02\x02\x00\x00\x05\x05\x05", 13));
  LogTail log3;
  EXPECT_FALSE(LoadShapeFile(set, firstCut));
  EXPECT_TRUE(set.empty());
  EXPECT_EQ(log3.Text(),
            "Unexpected end of file while reading " + firstCut + " as FSH data; it holds no usable images.\n");
}

TEST_F(ShapeFileTest, ImagesOfAnySizeLoad) {
  ShapeSet set;
  ASSERT_TRUE(LoadShapeFile(set, PutFixture("shape/thin.fsh")));
  ASSERT_EQ(set.size(), 4u);
  EXPECT_EQ((std::vector<int>{set[0].width, set[0].height, set[0].keyColor}), (std::vector<int>{1, 4, 5}));
  EXPECT_EQ((std::vector<int>{set[1].width, set[1].height, set[1].keyColor}), (std::vector<int>{3, 1, 1}));
  EXPECT_EQ((std::vector<int>{set[2].width, set[2].height, set[2].keyColor}), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ((std::vector<int>{set[3].width, set[3].height, set[3].keyColor}), (std::vector<int>{1, 1, 7}));
}

TEST_F(ShapeFileTest, PatchCutShort) {
  ShapeSet base;
  ASSERT_TRUE(LoadFsh(base, "patches\\default\\floors.fsh"));

  // The third record's header is cut: the two before stay applied.
  std::string cutHeader = PutFixture("shape/dream/cut_header.fs2");
  ShapeSet set = base;
  LogTail log;
  EXPECT_TRUE(ApplyFs2(set, cutHeader));
  EXPECT_EQ(log.Text(), "Warning: EOF hit, but only 2 of the 3 images were loaded from " + cutHeader +
                            ".  Will use what we got...\n");
  EXPECT_EQ(set[0].keyColor, 0);
  EXPECT_EQ(set[1].keyColor, 0);
  EXPECT_TRUE(set[2].pixels == base[2].pixels);

  // The second record's pixels are cut after five rows and some bytes: a
  // warning per row that could not be read whole, the record dropped.
  std::string cutPixels = PutFixture("shape/dream/cut_pixels.fs2");
  set = base;
  LogTail log2;
  EXPECT_TRUE(ApplyFs2(set, cutPixels));
  std::string rowWarning = "Warning: EOF hit mid-pixel-data while reading " + cutPixels + ".  Will discard this image...";
  EXPECT_EQ(CountLines(log2.Text(), rowWarning), 24 - 5);
  EXPECT_EQ(CountLines(log2.Text(), "Warning: EOF hit, but only 2 of the 3 images were loaded from " + cutPixels +
                                        ".  Will use what we got..."),
            1);
  EXPECT_EQ(set[0].keyColor, 0);
  EXPECT_TRUE(set[1].pixels == base[1].pixels);
}

TEST_F(ShapeFileTest, RefusedPatches) {
  ShapeSet base;
  ASSERT_TRUE(LoadFsh(base, "patches\\default\\floors.fsh"));
  std::string encrypted = PutFixture("shape/dream/encrypted.fs2");
  std::string badMagic = PutFixture("shape/dream/badmagic.fs2");
  std::string cut = Put("cut.fs2", "FSH2.002\x03");
  ShapeSet set = base;
  LogTail log;
  EXPECT_FALSE(ApplyFs2(set, encrypted));
  EXPECT_FALSE(ApplyFs2(set, badMagic));
  EXPECT_FALSE(ApplyFs2(set, cut));
  EXPECT_FALSE(ApplyFs2(set, "shapes_test\\missing.fs2"));
  EXPECT_EQ(log.Text(), encrypted + " is encrypted.  Cannot load.\n" + "FS2 format version for " + badMagic +
                            " isn't recognized...\n" + "Unexpected end of file in the header of " + cut +
                            "; no images were loaded from it.\n" +
                            "Unable to open shapes_test\\missing.fs2 to load FS2 data.\n");
  for (size_t i = 0; i < set.size(); ++i) EXPECT_TRUE(set[i].pixels == base[i].pixels);
}

// ----------------------------------------------------------------- texels

TEST(FloorTexels, TexelToShapeTurnsByAQuarterOfPi) {
  Vec2 centre = FloorTexelToShape(0.5f, 0.5f);
  EXPECT_FLOAT_EQ(centre.x, 0.5f);
  EXPECT_FLOAT_EQ(centre.y, 0.5f);
  // Texture corners land just inside the image's edges.
  Vec2 corner = FloorTexelToShape(0.0f, 0.0f);
  EXPECT_NEAR(corner.x, 0.5f, 1e-6f);
  EXPECT_NEAR(corner.y, 0.012195f, 1e-5f);
  Vec2 right = FloorTexelToShape(1.0f, 0.0f);
  EXPECT_NEAR(right.x, 0.987805f, 1e-5f);
  EXPECT_NEAR(right.y, 0.5f, 1e-6f);
  const float m[2][2] = {{1.0f, 2.0f}, {3.0f, 4.0f}};
  Vec2 v = TransformVec2(m, Vec2{5.0f, 7.0f});
  EXPECT_EQ(v.x, 19.0f);
  EXPECT_EQ(v.y, 43.0f);
}

PaletteColor g_palette[256];

class FloorTexelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) g_palette[i] = PaletteColor{0, 0, 0, 0};
    g_palette[1] = PaletteColor{0, 255, 0, 0};
    g_palette[2] = PaletteColor{0, 0, 255, 0};
    g_palette[3] = PaletteColor{0, 0, 0, 255};
    g_palette[4] = PaletteColor{0, 100, 100, 100};
  }
  static FshImage Image(int w, int h, unsigned char key, unsigned char (*pixel)(int c, int r)) {
    FshImage image;
    image.width = w;
    image.height = h;
    image.keyColor = key;
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) image.pixels.push_back(pixel(c, r));
    return image;
  }
  uint32_t texels_[64 * 64];
};

// Blended channels are truncated after a float division: a uniform colour
// may come out one below its value.
bool SameColour(uint32_t texel, uint32_t expected) {
  if ((texel & 0xFF000000u) != 0xFF000000u) return false;
  for (int shift = 0; shift < 24; shift += 8) {
    int got = texel >> shift & 0xFF, want = expected >> shift & 0xFF;
    if (got != want && got != want - 1) return false;
  }
  return true;
}

TEST_F(FloorTexelsTest, UniformImageAndAllKeyImage) {
  ShapeToFloorTexels(Image(8, 8, 9, [](int, int) -> unsigned char { return 4; }), g_palette, texels_);
  for (uint32_t t : texels_) ASSERT_TRUE(SameColour(t, 0xFF646464u)) << std::hex << t;
  ShapeToFloorTexels(Image(8, 8, 4, [](int, int) -> unsigned char { return 4; }), g_palette, texels_);
  for (uint32_t t : texels_) ASSERT_EQ(t, 0xFF000000u);  // opaque black
}

TEST_F(FloorTexelsTest, EdgesTakeTheirNeighbourColumnAndRowAlone) {
  // Column 0 red, column 1 green, columns 2 and 3 blue; every row alike.
  FshImage image = Image(4, 4, 9, [](int c, int) -> unsigned char { return c == 0 ? 1 : c == 1 ? 2 : 3; });
  ShapeToFloorTexels(image, g_palette, texels_);
  int left = 0, right = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      Vec2 uv = FloorTexelToShape(x * (1.0f / 64), y * (1.0f / 64));
      float fx = uv.x * 4 - 0.5f;
      uint32_t t = texels_[y * 64 + x];
      if (fx < 0) {
        EXPECT_TRUE(SameColour(t, 0xFF00FF00u)) << x << "," << y;  // column 1 alone
        ++left;
      } else if (std::floor(fx) > 2) {
        EXPECT_TRUE(SameColour(t, 0xFF0000FFu)) << x << "," << y;  // column 2 alone
        ++right;
      } else if (fx < 1) {
        EXPECT_EQ(t & 0xFF, 0u);  // red and green only
        EXPECT_NE(t & 0xFF0000, 0u);
      }
    }
  }
  EXPECT_GT(left, 0);
  EXPECT_GT(right, 0);

  // The same across rows: row 0 red, row 1 green, rows 2-3 blue.
  image = Image(4, 4, 9, [](int, int r) -> unsigned char { return r == 0 ? 1 : r == 1 ? 2 : 3; });
  ShapeToFloorTexels(image, g_palette, texels_);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      float fy = FloorTexelToShape(x * (1.0f / 64), y * (1.0f / 64)).y * 4 - 0.5f;
      if (fy < 0) {
        EXPECT_TRUE(SameColour(texels_[y * 64 + x], 0xFF00FF00u));
      }
      if (std::floor(fy) > 2) {
        EXPECT_TRUE(SameColour(texels_[y * 64 + x], 0xFF0000FFu));
      }
    }
  }
}

TEST_F(FloorTexelsTest, KeyColourAddsNeitherColourNorWeight) {
  // A checkerboard of red and key: wherever a texel has any weight on a
  // red pixel, it is pure red.
  FshImage image = Image(6, 6, 0, [](int c, int r) -> unsigned char { return (c + r) % 2 ? 1 : 0; });
  ShapeToFloorTexels(image, g_palette, texels_);
  int red = 0;
  for (uint32_t t : texels_) {
    EXPECT_TRUE(SameColour(t, 0xFFFF0000u) || t == 0xFF000000u) << std::hex << t;
    red += t != 0xFF000000u;
  }
  EXPECT_GT(red, 64 * 64 / 2);
}

TEST_F(FloorTexelsTest, ThinImagesStayWithinTheirPixels) {
  // One column, one row, a single pixel, no pixels: no read outside (the
  // sanitizer build checks), one colour where there is one.
  const int sizes[][2] = {{1, 5}, {5, 1}, {1, 1}, {0, 0}, {0, 3}, {3, 0}};
  for (const auto& size : sizes) {
    FshImage image = Image(size[0], size[1], 9, [](int, int) -> unsigned char { return 2; });
    ShapeToFloorTexels(image, g_palette, texels_);
    uint32_t expected = size[0] && size[1] ? 0xFF00FF00u : 0xFF000000u;
    for (uint32_t t : texels_) ASSERT_TRUE(SameColour(t, expected)) << size[0] << "x" << size[1] << std::hex << t;
  }
}

// The resampling's steps, one texel at a time, as the texture's texels must
// come out: placed on the image, its four pixels blended by weight, the key
// colour left out, each channel divided by the weight and truncated.
uint32_t TexelBySteps(const FshImage& image, const PaletteColor* palette, int x, int y) {
  const int w = image.width, h = image.height;
  const Vec2 uv = FloorTexelToShape(x * (1.0f / 64), y * (1.0f / 64));
  const float fx = uv.x * w - 0.5f, fy = uv.y * h - 0.5f;
  int c = static_cast<int>(std::floor(fx)), r = static_cast<int>(std::floor(fy));
  float wc = 1.0f - std::fmod(fx, 1.0f), wr = 1.0f - std::fmod(fy, 1.0f);
  if (c < 0) c = 0, wc = 0.0f;
  if (c > w - 2) c = w - 2, wc = 1.0f;
  if (r < 0) r = 0, wr = 0.0f;
  if (r > h - 2) r = h - 2, wr = 1.0f;
  const int pixels[4][2] = {{c, r}, {c + 1, r}, {c, r + 1}, {c + 1, r + 1}};
  const float weights[4] = {wc * wr, (1.0f - wc) * wr, wc * (1.0f - wr), (1.0f - wc) * (1.0f - wr)};
  float sums[3] = {}, total = 0.0f;
  for (int i = 0; i < 4; ++i) {
    const unsigned char index = image.Pixel(pixels[i][0], pixels[i][1]);
    if (index == image.keyColor) continue;
    sums[0] += palette[index].r * weights[i];
    sums[1] += palette[index].g * weights[i];
    sums[2] += palette[index].b * weights[i];
    total += weights[i];
  }
  if (total <= 0.0f) return 0xFF000000u;
  return 0xFF000000u | uint32_t(sums[0] / total) << 16 | uint32_t(sums[1] / total) << 8 | uint32_t(sums[2] / total);
}

TEST_F(FloorTexelsTest, ImagesOfASizeShareTheirPlacingAndGetTheStepsTexelsExactly) {
  PaletteColor palette[256];
  for (int i = 0; i < 256; ++i)
    palette[i] = PaletteColor{0, static_cast<unsigned char>(i * 37), static_cast<unsigned char>(i * 91 + 5),
                              static_cast<unsigned char>(255 - i * 13)};
  // Three images of the floor tiles' size, and others of their own sizes.
  std::vector<FshImage> images;
  unsigned seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) % 11; };
  for (const auto& size : {std::make_pair(48, 24), std::make_pair(48, 24), std::make_pair(48, 24),
                           std::make_pair(7, 3), std::make_pair(2, 2), std::make_pair(64, 40)}) {
    FshImage image;
    image.width = size.first;
    image.height = size.second;
    image.keyColor = 3;
    for (int i = 0; i < size.first * size.second; ++i) image.pixels.push_back(static_cast<unsigned char>(next()));
    images.push_back(image);
  }
  FloorSampling tiles;
  PrepareFloorSampling(48, 24, tiles);
  for (size_t n = 0; n < images.size(); ++n) {
    const FshImage& image = images[n];
    // The tiles' sampling for every image: one of another size gets its own.
    ShapeToFloorTexels(image, palette, tiles, texels_);
    uint32_t alone[64 * 64];
    ShapeToFloorTexels(image, palette, alone);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        const uint32_t expected = TexelBySteps(image, palette, x, y);
        ASSERT_EQ(texels_[y * 64 + x], expected) << "image " << n << " texel " << x << "," << y;
        ASSERT_EQ(alone[y * 64 + x], expected) << "image " << n << " texel " << x << "," << y;
      }
    }
  }
}

TEST_F(FloorTexelsTest, WritingThirtyTwoAndSixteenBitTexels) {
  for (int i = 0; i < 64 * 64; ++i) texels_[i] = 0xFF000000u | (i * 2654435761u & 0xFFFFFF);
  const int pitch32 = 64 * 4 + 12;
  std::vector<unsigned char> bits(64 * pitch32, 0xAB);
  WriteFloorTexels(texels_, bits.data(), pitch32, 32);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint32_t t;
      std::memcpy(&t, &bits[y * pitch32 + 4 * x], 4);
      ASSERT_EQ(t, texels_[y * 64 + x]);
    }
    EXPECT_EQ(bits[y * pitch32 + 64 * 4], 0xAB);  // padding untouched
  }

  // Sixteen bits: each channel's top four bits under an opaque 0xF, whatever
  // the texel's own alpha.
  struct Sixteen {
    uint32_t in;
    uint16_t out;
  };
  const Sixteen cases[] = {
      {0xFF123456u, 0xF135}, {0xFFFFFFFFu, 0xFFFF}, {0xFF000000u, 0xF000}, {0xFF0F1F2Fu, 0xF012},
      {0xFF80C0F0u, 0xF8CF}, {0x00ABCDEFu, 0xFACE}, {0x7F10E001u, 0xF1E0},
  };
  const int count = sizeof cases / sizeof cases[0];
  for (int i = 0; i < 64 * 64; ++i) texels_[i] = cases[i % count].in;
  const int pitch16 = 64 * 2 + 6;
  bits.assign(64 * pitch16, 0xAB);
  WriteFloorTexels(texels_, bits.data(), pitch16, 16);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint16_t t;
      std::memcpy(&t, &bits[y * pitch16 + 2 * x], 2);
      ASSERT_EQ(t, cases[(y * 64 + x) % count].out) << x << "," << y;
    }
    EXPECT_EQ(bits[y * pitch16 + 64 * 2], 0xAB);  // padding untouched
  }
}

}  // namespace
