// Pixel access on locked textures and vertex-format sizes.
#include <cstring>

#include "GraphicsFixture.h"
#include "graphics/Texture.h"
#include "graphics/RenderState.h"
#include "graphics/VertexBuffer.h"

namespace {

using TexturePixels = GraphicsTest;

void ExpectColor(const G::FloatColor& c, float r, float g, float b, float a) {
  EXPECT_FLOAT_EQ(c.r, r);
  EXPECT_FLOAT_EQ(c.g, g);
  EXPECT_FLOAT_EQ(c.b, b);
  EXPECT_FLOAT_EQ(c.a, a);
}

TEST_F(TexturePixels, ThirtyTwoBitTexels) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 2, G::kTextureRGBA, 1, false));
  G::TextureLock lock(&texture, true, true);
  lock.SetColor(1, 1, 1, 0, 0, 1);
  EXPECT_EQ(lock.GetPixel(1, 1), 0xFFFF0000u);
  ExpectColor(lock.GetColor(1, 1), 1, 0, 0, 1);
  lock.SetPixel(3, 0, 0x80402010u);
  ExpectColor(lock.GetColor(3, 0), 0x40 / 255.0f, 0x20 / 255.0f, 0x10 / 255.0f, 0x80 / 255.0f);
  // Little-endian words: blue first in memory.
  const unsigned char* bytes = NullBackend::TextureMemory(texture.Record());
  EXPECT_EQ(bytes[12], 0x10);
  EXPECT_EQ(bytes[15], 0x80);
}

TEST_F(TexturePixels, SixteenBitTexels) {
  NullBackend::Scripted().textureBitsPerPixel = 16;
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 4, G::kTextureRGBA, 1, false));
  G::TextureLock lock(&texture, true, true);
  lock.SetColor(2, 3, 1, 0, 0, 1);
  EXPECT_EQ(lock.GetPixel(2, 3), 0xFF00u);
  ExpectColor(lock.GetColor(2, 3), 1, 0, 0, 1);
  lock.SetPixel(0, 0, 0xABCD1234u);  // only the low 16 bits
  EXPECT_EQ(lock.GetPixel(0, 0), 0x1234u);
  EXPECT_EQ(lock.GetPixel(1, 0), 0u);
  ExpectColor(lock.GetColor(0, 0), 2 / 15.0f, 3 / 15.0f, 4 / 15.0f, 1 / 15.0f);
}

TEST_F(TexturePixels, OutsideTheTextureNothingIsReadOrWritten) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 4, G::kTextureRGBA, 1, false));
  unsigned char before[64];
  std::memcpy(before, NullBackend::TextureMemory(texture.Record()), sizeof before);
  G::TextureLock lock(&texture, true, true);
  const int outside[][2] = {{-1, 0}, {4, 0}, {0, -1}, {0, 4}};
  for (const auto& p : outside) {
    lock.SetPixel(p[0], p[1], 0xFFFFFFFFu);
    lock.SetColor(p[0], p[1], 1, 1, 1, 1);
    EXPECT_EQ(lock.GetPixel(p[0], p[1]), 0u);
    ExpectColor(lock.GetColor(p[0], p[1]), 0, 0, 0, 0);
  }
  EXPECT_EQ(std::memcmp(before, NullBackend::TextureMemory(texture.Record()), sizeof before), 0);

  G::Texture empty;
  G::TextureLock none(&empty, true, true);  // logs; reads 0 and writes nothing
  EXPECT_EQ(none.GetPixel(0, 0), 0u);
  none.SetPixel(0, 0, 1);
}

// Channel values out of 0..1 keep their low bits, as the packing functions
// do, instead of spilling into the next channel.
TEST_F(TexturePixels, SetColorMasksEachChannel) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(2, 2, G::kTextureRGBA, 1, false));
  G::TextureLock lock(&texture, true, true);
  lock.SetColor(0, 0, 2.0f, 0, 0, 0);  // 510: 0xFE, alpha untouched
  EXPECT_EQ(lock.GetPixel(0, 0), 0x00FE0000u);
  lock.SetColor(1, 0, 0, 0, -1.0f, 1);  // -255 keeps 0x01, nothing above blue
  EXPECT_EQ(lock.GetPixel(1, 0), 0xFF000001u);

  NullBackend::Scripted().textureBitsPerPixel = 16;
  G::Texture small;
  ASSERT_TRUE(small.Create(2, 2, G::kTextureRGBA, 1, false));
  G::TextureLock lock16(&small, true, true);
  lock16.SetColor(0, 0, 2.0f, 0, 0, 0);  // 30 keeps 14 on 4 bits
  EXPECT_EQ(lock16.GetPixel(0, 0), 0x0E00u);
  lock16.SetColor(1, 1, 0, 0, 1.5f, 0);  // 22 keeps 6, green untouched
  EXPECT_EQ(lock16.GetPixel(1, 1), 0x0006u);
}

// An 8-bit texture is read as ARGB4444 by the rules, but no access may
// touch the next texel's byte (past the end at the last texel).
TEST_F(TexturePixels, EightBitTexelsTouchOnlyTheirOwnByte) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 1, G::kTextureAlpha, 1, false));
  G::TextureLock lock(&texture, true, true);
  lock.SetPixel(2, 0, 0xFFFF);
  const unsigned char* bytes = NullBackend::TextureMemory(texture.Record());
  EXPECT_EQ(bytes[2], 0xFF);
  EXPECT_EQ(bytes[3], 0x00);
  EXPECT_EQ(lock.GetPixel(2, 0), 0xFFu);
  lock.SetPixel(3, 0, 0x1234);
  EXPECT_EQ(lock.GetPixel(3, 0), 0x34u);
}

TEST_F(TexturePixels, LinearSamplingIsNotThere) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(2, 2, G::kTextureRGBA, 1, false));
  G::TextureLock lock(&texture, true, true);
  lock.SetColor(0, 0, 1, 1, 1, 1);
  LogTail log;
  ExpectColor(lock.SampleLinear(0.5f, 0.5f), 0, 0, 0, 0);
  EXPECT_EQ(log.Text(), "linear sample not implemented yet...\n");
  LogTail outside;
  ExpectColor(lock.SampleLinear(1.5f, 0.5f), 0, 0, 0, 0);
  lock.Unlock();
  ExpectColor(lock.SampleLinear(0.5f, 0.5f), 0, 0, 0, 0);
  EXPECT_EQ(outside.Text(), "");
}

TEST(VertexFormatStride, SumsTheElementSizes) {
  using G::VertexFormat;
  EXPECT_EQ(G::VertexFormatStride(VertexFormat()), 0);
  EXPECT_EQ(G::VertexFormatStride({{G::kFloat3, G::kUsePosition},
                                   {G::kFloat3, G::kUseNormal},
                                   {G::kPackedColor, G::kUseColor},
                                   {G::kFloat2, G::kUseTexCoord}}),
            36);
  EXPECT_EQ(G::VertexFormatStride(G::IMVertexFormat()), 44);
  EXPECT_EQ(G::VertexFormatStride({{G::kFloat1, G::kUseTexCoord}, {G::kFloat4, G::kUseTexCoord}}), 20);
  LogTail log;
  EXPECT_EQ(G::VertexFormatStride({{G::kFloat2, G::kUsePosition}, {static_cast<G::VertexComponentType>(5), G::kUseColor}}),
            8);
  EXPECT_EQ(MaskCallStacks(log.Text()), "Bad type found in vertex format.\n  -call stack:\n\n");
}

}  // namespace
