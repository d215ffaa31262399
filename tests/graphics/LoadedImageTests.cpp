// Image decoding through the platform codec, one test image per pixel
// layout the codec reports, written by the tests themselves.
#include <gtest/gtest.h>

#include "ImageFiles.h"
#include "TestSupport.h"
#include "foundation/Utility.h"
#include "graphics/LoadedImage.h"

namespace {

class LoadedImageTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    G::InitImageLoader();
    CreateDirectoryPath("images\\");
  }
  static void TearDownTestSuite() { G::ShutdownImageLoader(); }
};

// 4 x 2, every pixel its own colour, top row first.
const std::vector<unsigned> kPixels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF,
                                       0xFF000000, 0xFF102030, 0xFF808080, 0xFFFFFF00};

std::vector<unsigned> Pixels(const G::LoadedImage& image) {
  return std::vector<unsigned>(image.argb, image.argb + image.width * image.height);
}

TEST_F(LoadedImageTest, AMissingFileFails) {
  G::LoadedImage image;
  LogTail log;
  EXPECT_FALSE(image.Load("images\\missing.png"));
  EXPECT_EQ(MaskCallStacks(log.Text()), "Failed to load image: images\\missing.png\n  -call stack:\n\n");
  EXPECT_EQ(image.argb, nullptr);
  EXPECT_EQ(image.width + image.height + image.channels, 0);
}

TEST_F(LoadedImageTest, TwentyFourAndThirtyTwoBitFilesAreThreeChannelsWithOpaqueAlpha) {
  WriteBmp24("images\\rgb24.bmp", 4, 2, kPixels);
  WriteBmp32("images\\rgb32.bmp", 4, 2, kPixels);
  for (const char* name : {"images\\rgb24.bmp", "images\\rgb32.bmp"}) {
    G::LoadedImage image;
    LogTail log;
    ASSERT_TRUE(image.Load(name)) << name;
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.GetWidth(), 4);
    EXPECT_EQ(image.GetHeight(), 2);
    EXPECT_EQ(Pixels(image), kPixels);  // top row first, alpha 255
    EXPECT_EQ(image.indices, nullptr);
    EXPECT_EQ(log.Text(), "");
  }
}

TEST_F(LoadedImageTest, PaletteFilesKeepTheirIndices) {
  const std::vector<unsigned> palette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF123456};
  const std::vector<unsigned char> indices = {4, 3, 2, 1, 0, 0, 1, 4};
  WriteBmp8("images\\palette.bmp", 4, 2, palette, indices);
  G::LoadedImage image;
  ASSERT_TRUE(image.Load("images\\palette.bmp"));
  EXPECT_EQ(image.channels, 1);
  ASSERT_NE(image.indices, nullptr);
  EXPECT_EQ(std::vector<unsigned char>(image.indices, image.indices + 8), indices);
  std::vector<unsigned> colours;
  for (unsigned char i : indices) colours.push_back(palette[i]);
  EXPECT_EQ(Pixels(image), colours);
}

TEST_F(LoadedImageTest, SixteenBitFilesAreFourChannelsWithAWarning) {
  const std::vector<unsigned> pixels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000};
  WriteBmp16("images\\rgb16.bmp", 2, 2, pixels);
  G::LoadedImage image;
  LogTail log;
  ASSERT_TRUE(image.Load("images\\rgb16.bmp"));
  EXPECT_EQ(image.channels, 4);
  EXPECT_EQ(Pixels(image), pixels);
  EXPECT_EQ(log.Text(),
            "LoadedImage.Load warning: Exact pixel format not matched for purposes of channel count for: "
            "images\\rgb16.bmp\n");
}

TEST_F(LoadedImageTest, RgbaPngKeepsItsAlpha) {
  const std::vector<unsigned> pixels = {0x80FF0000, 0x00000000, 0xFF00FF00, 0x400000FF};
  WritePngRgba("images\\rgba.png", 2, 2, pixels);
  G::LoadedImage image;
  ASSERT_TRUE(image.Load("images\\rgba.png"));
  EXPECT_EQ(image.channels, 4);
  EXPECT_EQ(Pixels(image), pixels);
}

// The copy and the assignment are deep and carry the channel count.
TEST_F(LoadedImageTest, CopiesAreDeepAndKeepTheChannelCount) {
  WriteBmp8("images\\copy.bmp", 2, 2, {0xFF000000, 0xFFFFFFFF}, {0, 1, 1, 0});
  G::LoadedImage image;
  ASSERT_TRUE(image.Load("images\\copy.bmp"));
  G::LoadedImage copy(image);
  EXPECT_EQ(copy.channels, 1);
  ASSERT_NE(copy.indices, nullptr);
  EXPECT_NE(copy.indices, image.indices);
  EXPECT_EQ(copy.indices[1], 1);
  EXPECT_EQ(copy.argb[1], 0xFFFFFFFFu);

  G::LoadedImage assigned;
  WriteBmp24("images\\other.bmp", 4, 2, kPixels);
  ASSERT_TRUE(assigned.Load("images\\other.bmp"));
  assigned = image;
  EXPECT_EQ(assigned.channels, 1);
  EXPECT_EQ(assigned.width * 10 + assigned.height, 22);
  assigned.indices[0] = 7;
  EXPECT_EQ(image.indices[0], 0);
  G::LoadedImage& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.indices[0], 7);

  image.Free();
  EXPECT_EQ(image.argb, nullptr);
  EXPECT_EQ(image.indices, nullptr);
}

}  // namespace
