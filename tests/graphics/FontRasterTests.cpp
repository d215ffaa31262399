// Font records rasterised by GDI under Wine (the program's face names map
// to installed fonts in the prefix): what lands in the glyph cells.
#include <cstring>

#include "GraphicsFixture.h"
#include "graphics/Font.h"

namespace {

using FontRaster = GraphicsTest;

// Alpha of texel (x, y) of code c's cell in a 32-bit font texture.
struct Cells {
  const G::FontTexture* font;
  int cell;
  unsigned Texel(int c, int x, int y) const {
    const unsigned char* bytes = NullBackend::TextureMemory(font->texture.Record());
    const int width = 16 * cell;
    unsigned texel;
    std::memcpy(&texel, bytes + ((c / 16 * cell + y) * width + c % 16 * cell + x) * 4, 4);
    return texel;
  }
  // Least and greatest columns with any coverage; (cell, -1) for none.
  void InkColumns(int c, int& first, int& last) const {
    first = cell;
    last = -1;
    for (int y = 0; y < cell; ++y) {
      for (int x = 0; x < cell; ++x) {
        if (!(Texel(c, x, y) >> 24)) continue;
        if (x < first) first = x;
        if (x > last) last = x;
      }
    }
  }
};

TEST_F(FontRaster, GlyphsAreWhiteWithCoverageInAlpha) {
  G::FontTexture* font = G::BuildFontTexture("Arial", 24, false);
  ASSERT_NE(font, nullptr);
  Cells cells{font, 32};
  int covered = 0;
  for (int c = 0; c < 256; ++c)
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const unsigned texel = cells.Texel(c, x, y);
        ASSERT_EQ(texel & 0xFFFFFF, 0xFFFFFFu);
        if (c < 33) {
          ASSERT_EQ(texel >> 24, 0u) << c;  // control codes and the space are blank
        }
        covered += (texel >> 24) != 0;
      }
  EXPECT_GT(covered, 1000);
}

TEST_F(FontRaster, InkStartsInColumnOneAndSpansTheWidth) {
  G::FontTexture* font = G::BuildFontTexture("Arial", 24, false);
  ASSERT_NE(font, nullptr);
  Cells cells{font, 32};
  for (int c : {int('A'), int('i'), int('W'), int('m'), int('1'), 0xC9}) {
    int first, last;
    cells.InkColumns(c, first, last);
    EXPECT_EQ(first, 1) << c;
    EXPECT_EQ(last - first + 2, font->widths[c]) << c;
  }
  EXPECT_GT(font->widths[static_cast<int>('W')], font->widths[static_cast<int>('i')]);
}

TEST_F(FontRaster, FixedWidthGlyphsAreCentredInTheirCells) {
  G::FontTexture* font = G::BuildFontTexture("Courier New", 24, true);
  ASSERT_NE(font, nullptr);
  Cells cells{font, 32};
  for (int c : {int('i'), int('W'), int('.'), int('M')}) {
    int first, last;
    cells.InkColumns(c, first, last);
    ASSERT_LE(first, last) << c;
    // Centred: the margins differ by at most one column.
    const int left = first, right = 32 - 1 - last;
    EXPECT_LE(left - right, 1) << c;
    EXPECT_GE(left - right, -1) << c;
  }
}

TEST_F(FontRaster, SixteenBitTexturesKeepTheTopFourBitsOfCoverage) {
  NullBackend::Scripted().textureBitsPerPixel = 16;
  G::FontTexture* font = G::BuildFontTexture("Arial", 12, false);
  ASSERT_NE(font, nullptr);
  const unsigned short* texels = reinterpret_cast<const unsigned short*>(NullBackend::TextureMemory(font->texture.Record()));
  int covered = 0;
  for (int i = 0; i < 256 * 256; ++i) {
    ASSERT_EQ(texels[i] & 0x0FFF, 0x0FFF);
    covered += (texels[i] >> 12) != 0;
  }
  EXPECT_GT(covered, 100);
}

}  // namespace
