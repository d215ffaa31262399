// Textures: made and written through locks, loaded from image files of each
// pixel layout the codec reports, volume and cube textures, wrap and filter
// states, and their messages; each drawn and read back.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "GLTestSupport.h"
#include "ImageFiles.h"
#include "backend_gl/GLExtensions.h"
#include "foundation/Utility.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/LoadedImage.h"
#include "graphics/Primitives.h"
#include "graphics/RenderState.h"
#include "graphics/Texture.h"

namespace {

class TextureTest : public GL2DTest {
 protected:
  static void SetUpTestSuite() { G::InitImageLoader(); }
  static void TearDownTestSuite() { G::ShutdownImageLoader(); }
};

// Fills a 32-bit texture from texels given top row first.
void Fill(G::Texture& texture, const std::vector<unsigned>& texels) {
  G::TextureLock lock(&texture, false, true);
  void* bits = nullptr;
  int rowPitch = 0, width = 0, height = 0, bitsPerPixel = 0;
  ASSERT_TRUE(lock.GetInfo(&bits, &rowPitch, nullptr, &bitsPerPixel, &width, &height, nullptr));
  ASSERT_EQ(bitsPerPixel, 32);
  ASSERT_EQ(texels.size(), static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    std::memcpy(static_cast<unsigned char*>(bits) + y * rowPitch, &texels[static_cast<size_t>(y) * width], width * 4);
}

// The texture over the square (x, y)-(x + size, y + size) with coordinates
// 0..repeat, drawn as the sprites draw (clockwise from the top-left).
void TexturedSquare(const G::Texture& texture, float x, float y, float size, float repeat = 1) {
  texture.Set(0);
  G::IMBegin(G::kPrimitiveTriangleFan);
  G::IMTexCoord2(0, 0);
  G::IMPosition2(x, y);
  G::IMTexCoord2(repeat, 0);
  G::IMPosition2(x + size, y);
  G::IMTexCoord2(repeat, repeat);
  G::IMPosition2(x + size, y + size);
  G::IMTexCoord2(0, repeat);
  G::IMPosition2(x, y + size);
  G::IMEnd();
}

// A small square drawn with one three-component texture coordinate.
void SampleAt(float x, float y, float u, float v, float w) {
  G::IMBegin(G::kPrimitiveTriangleFan);
  G::IMTexCoord3(u, v, w);
  G::IMPosition2(x, y);
  G::IMPosition2(x + 20, y);
  G::IMPosition2(x + 20, y + 20);
  G::IMPosition2(x, y + 20);
  G::IMEnd();
}

TEST_F(TextureTest, ALockedTextureDrawsUprightInItsColours) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(2, 2, G::kTextureRGBA, 1, false));
  const G::TextureRecord* record = texture.Record();
  EXPECT_EQ(record->type, G::kTextureRGBA);
  EXPECT_EQ(record->createdWidth, 2);
  EXPECT_EQ(record->depth, 1);
  EXPECT_EQ(record->name, "");
  Fill(texture, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu});
  texture.SetFilter(G::kFilterPoint);
  G::DrawSpriteStretched(100, 100, 500, 500, texture, 1.0f);
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(450, 150)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(150, 450)), 0x0000FFu);
  EXPECT_EQ(Rgb(ReadPixel(450, 450)), 0xFFFFFFu);

  // Pixel access through a lock reads what the copy holds.
  G::TextureLock lock(&texture, true, false);
  EXPECT_EQ(lock.GetPixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(lock.GetPixel(2, 0), 0u);
}

TEST_F(TextureTest, AlphaAndRgbTexturesKeepTheirKind) {
  // A single-channel texture: one byte a texel, white tinted by coverage.
  G::Texture alpha;
  ASSERT_TRUE(alpha.Create(2, 1, G::kTextureAlpha, 1, false));
  {
    G::TextureLock lock(&alpha, false, true);
    void* bits = nullptr;
    int rowPitch = 0, bitsPerPixel = 0;
    ASSERT_TRUE(lock.GetInfo(&bits, &rowPitch, nullptr, &bitsPerPixel, nullptr, nullptr, nullptr));
    EXPECT_EQ(bitsPerPixel, 8);
    EXPECT_EQ(rowPitch, 2);
    static_cast<unsigned char*>(bits)[0] = 0xFF;
    static_cast<unsigned char*>(bits)[1] = 0x80;
  }
  alpha.SetFilter(G::kFilterPoint);
  G::DrawSpriteStretched(100, 100, 300, 200, alpha, 1.0f);
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0xFFFFFFu);
  const unsigned half = Rgb(ReadPixel(250, 150));
  EXPECT_TRUE(half >= 0x7E7E7Eu && half <= 0x818181u) << std::hex << half;

  // An RGB texture has no alpha: a zero alpha byte still draws opaque.
  G::Texture rgb;
  ASSERT_TRUE(rgb.Create(1, 1, G::kTextureRGB, 1, false));
  Fill(rgb, {0x00FF0000u});
  G::DrawSpriteStretched(400, 100, 500, 200, rgb, 1.0f);
  EXPECT_EQ(Rgb(ReadPixel(450, 150)), 0xFF0000u);
}

TEST_F(TextureTest, WrapAndFilterChangeThisTextureOnly) {
  G::Texture a, b;
  ASSERT_TRUE(a.Create(2, 1, G::kTextureRGBA, 1, false));
  ASSERT_TRUE(b.Create(2, 1, G::kTextureRGBA, 1, false));
  Fill(a, {0xFFFF0000u, 0xFF00FF00u});
  Fill(b, {0xFFFF0000u, 0xFF00FF00u});
  a.SetFilter(G::kFilterPoint);
  a.Set(0);
  // b is not bound: its states must still land on b, and a stays bound.
  b.SetWrap(false, false, true);
  b.SetFilter(G::kFilterNone);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);

  // a repeats: coordinates 0..2 show red, green, red, green.
  TexturedSquare(a, 0, 0, 400, 2);
  EXPECT_EQ(Rgb(ReadPixel(50, 50)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(150, 50)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(250, 50)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(350, 50)), 0x00FF00u);
  GLint afterDraw = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &afterDraw);
  EXPECT_EQ(afterDraw, bound);
  // b clamps: past the edge its last texel.
  G::Clear(0xFF000000u, true, true, false, 0);
  TexturedSquare(b, 0, 0, 400, 2);
  EXPECT_EQ(Rgb(ReadPixel(50, 50)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(250, 50)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(350, 50)), 0x00FF00u);

  // Linear filtering blends neighbours; point filtering does not.
  G::Clear(0xFF000000u, true, true, false, 0);
  a.SetFilter(G::kFilterLinear);
  a.SetWrap(false, false, false);
  TexturedSquare(a, 0, 0, 400);
  const unsigned middle = Rgb(ReadPixel(200, 100));
  EXPECT_TRUE((middle >> 16) > 0x60 && ((middle >> 8) & 0xFF) > 0x60) << std::hex << middle;
  a.SetFilter(G::kFilterPoint);
  TexturedSquare(a, 0, 0, 400);
  EXPECT_EQ(Rgb(ReadPixel(195, 100)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(205, 100)), 0x00FF00u);
}

TEST_F(TextureTest, GeneratedMipmapsAverageMinifiedTextures) {
  G::Texture checker;
  ASSERT_TRUE(checker.Create(64, 64, G::kTextureRGBA, 1, true));
  EXPECT_TRUE(checker.Record()->mipmaps);
  std::vector<unsigned> texels(64 * 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) texels[y * 64 + x] = (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
  Fill(checker, texels);
  TexturedSquare(checker, 100, 100, 8);
  const unsigned grey = Rgb(ReadPixel(104, 104));
  EXPECT_TRUE(grey >= 0x707070u && grey <= 0x909090u) << std::hex << grey;
}

// Level `level` of the texture bound on stage 0, as 0xAARRGGBB words.
std::vector<unsigned> LevelTexels(int level, int count) {
  std::vector<unsigned> texels(count);
  glGetTexImage(GL_TEXTURE_2D, level, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
  return texels;
}

GLint BoundParameter(GLenum parameter) {
  GLint value = -1;
  glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
  return value;
}

TEST_F(TextureTest, EachUploadMakesTheSmallerLevelsAsRoundedAveragesWithoutTheDriver) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 2, G::kTextureRGBA, 1, true));
  texture.Set(0);
  // The driver renders nothing; before the first upload level 0 is the only
  // level, so the texture is complete.
  EXPECT_EQ(BoundParameter(GL_GENERATE_MIPMAP_SGIS), GL_FALSE);
  EXPECT_EQ(BoundParameter(GL_TEXTURE_MAX_LEVEL), 0);

  // Sums of 2 x 2 texels, rounded: red 1+0+3+4 gives 2, green 0+0+2+0 gives
  // 1 (a half, up), alpha 0+0+0+2 gives 1, blue 1+0+0+0 gives 0.
  Fill(texture, {0xFF010000u, 0xFF000000u, 0x00FF0101u, 0x00000000u,   // row 0
                 0xFF030200u, 0xFF040000u, 0x00000001u, 0x02FF0001u});  // row 1
  texture.Set(0);
  EXPECT_EQ(BoundParameter(GL_TEXTURE_MAX_LEVEL), 2);
  EXPECT_EQ(LevelTexels(1, 2), (std::vector<unsigned>{0xFF020100u, 0x01800001u}));
  // A side of 1: its two samples are the same texel.
  EXPECT_EQ(LevelTexels(2, 1), (std::vector<unsigned>{0x80410101u}));

  // Written again, the levels follow.
  Fill(texture, std::vector<unsigned>(8, 0xFF204060u));
  texture.Set(0);
  EXPECT_EQ(LevelTexels(1, 2), (std::vector<unsigned>(2, 0xFF204060u)));
  EXPECT_EQ(LevelTexels(2, 1), (std::vector<unsigned>(1, 0xFF204060u)));

  // Single-channel texels likewise: 1+2+3+5 = 11 gives 3.
  G::Texture alpha;
  ASSERT_TRUE(alpha.Create(2, 2, G::kTextureAlpha, 1, true));
  {
    G::TextureLock lock(&alpha, false, true);
    void* bits = nullptr;
    ASSERT_TRUE(lock.GetInfo(&bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    const unsigned char texels[4] = {1, 2, 3, 5};
    std::memcpy(bits, texels, 4);
  }
  alpha.Set(0);
  unsigned char level1 = 0;
  glGetTexImage(GL_TEXTURE_2D, 1, GL_ALPHA, GL_UNSIGNED_BYTE, &level1);
  EXPECT_EQ(level1, 3);
}

TEST_F(TextureTest, CubeTexturesUploadTheFacesHandedOut) {
  G::Texture cube;
  ASSERT_TRUE(cube.Create(4, 4, G::kTextureCube, 1, true));
  EXPECT_FALSE(cube.Record()->mipmaps);
  const unsigned colours[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};
  {
    G::TextureLock lock(&cube, false, true);
    for (int face = 0; face < 6; ++face) {
      void* bits = nullptr;
      int width = 0, height = 0;
      ASSERT_TRUE(lock.GetFace(face, &bits, nullptr, nullptr, nullptr, &width, &height));
      for (int i = 0; i < width * height; ++i) static_cast<unsigned*>(bits)[i] = colours[face];
    }
    EXPECT_FALSE(lock.GetFace(6, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  }
  cube.Set(0);
  // OpenGL's face order: +X, -X, +Y, -Y, +Z, -Z.
  const float directions[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (int face = 0; face < 6; ++face) SampleAt(50.0f + 50 * face, 50, directions[face][0], directions[face][1], directions[face][2]);
  for (int face = 0; face < 6; ++face) EXPECT_EQ(Rgb(ReadPixel(60 + 50 * face, 60)), Rgb(colours[face])) << face;

  // Only the faces handed out go up again.
  {
    G::TextureLock lock(&cube, false, true);
    void* bits = nullptr;
    ASSERT_TRUE(lock.GetFace(2, &bits, nullptr, nullptr, nullptr, nullptr, nullptr));
    for (int i = 0; i < 16; ++i) static_cast<unsigned*>(bits)[i] = 0xFFFFFFFFu;
    // Face 0 is changed in the copy without being handed out.
    void* all = nullptr;
    ASSERT_TRUE(lock.GetInfo(&all, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    for (int i = 0; i < 16; ++i) static_cast<unsigned*>(all)[i] = 0xFF000000u;
  }
  cube.Set(0);
  SampleAt(100, 200, 0, 1, 0);
  SampleAt(200, 200, 1, 0, 0);
  EXPECT_EQ(Rgb(ReadPixel(110, 210)), 0xFFFFFFu);
  EXPECT_EQ(Rgb(ReadPixel(210, 210)), 0xFF0000u);
}

TEST_F(TextureTest, VolumeTexturesSampleTheirSlices) {
  G::Texture volume;
  ASSERT_TRUE(volume.Create(2, 2, G::kTextureRGBA, 4, false));
  const unsigned colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
  {
    G::TextureLock lock(&volume, false, true);
    void* bits = nullptr;
    int slicePitch = 0, depth = 0;
    ASSERT_TRUE(lock.GetInfo(&bits, nullptr, &slicePitch, nullptr, nullptr, nullptr, &depth));
    ASSERT_EQ(depth, 4);
    ASSERT_EQ(slicePitch, 16);
    for (int slice = 0; slice < 4; ++slice)
      for (int i = 0; i < 4; ++i) static_cast<unsigned*>(bits)[slice * 4 + i] = colours[slice];
  }
  volume.SetFilter(G::kFilterPoint);
  volume.Set(0);
  for (int slice = 0; slice < 4; ++slice) SampleAt(50.0f + 50 * slice, 50, 0.5f, 0.5f, (slice + 0.5f) / 4);
  for (int slice = 0; slice < 4; ++slice) EXPECT_EQ(Rgb(ReadPixel(60 + 50 * slice, 60)), Rgb(colours[slice])) << slice;
  // Another kind of texture on the stage turns the volume target off.
  G::Texture flat;
  ASSERT_TRUE(flat.Create(1, 1, G::kTextureRGBA, 1, false));
  flat.Set(0);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_3D));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  G::UnsetTexture(0);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(TextureTest, EveryKindButSingleChannelHasFourByteTexels) {
  // The file's own format, made empty, is locked as 32-bit texels like any
  // other: its copy must hold them all.
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 4, G::kTextureFileFormat, 1, false));
  LogTail errors;
  std::vector<unsigned> texels(16, 0xFF00FF00u);
  texels[0] = 0xFFFF0000u;
  Fill(texture, texels);
  texture.SetFilter(G::kFilterPoint);
  G::DrawSpriteStretched(100, 100, 500, 500, texture, 1.0f);
  EXPECT_EQ(Rgb(ReadPixel(110, 110)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(480, 480)), 0x00FF00u);
  texture.SRFree();
  EXPECT_EQ(errors.Text(), "");
  // A 2D texture has one face.
  ASSERT_TRUE(texture.Create(4, 4, G::kTextureRGBA, 1, false));
  G::TextureLock lock(&texture, false, true);
  EXPECT_TRUE(lock.GetFace(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(lock.GetFace(1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(TextureTest, RefusedCreationsSayWhy) {
  G::Texture texture;
  struct Case {
    int width, height;
    G::TextureType type;
    int depth;
    const char* log;
  } cases[] = {
      {64, 32, G::kTextureCube, 1, "Cube maps can't have non-square sides...\n"},
      {64, 64, G::kTextureCube, 2, "You can't make 3D mip maps...\n"},
      {100, 64, G::kTextureRGBA, 1, "Cannot create texture:\n  -dimensions must be powers of 2\n  -call stack:\n\n"},
      {64, 64, G::kTextureRGBA, 3, "Cannot create texture:\n  -dimensions must be powers of 2\n  -call stack:\n\n"},
  };
  for (const Case& c : cases) {
    LogTail errors;
    EXPECT_FALSE(texture.Create(c.width, c.height, c.type, c.depth, false)) << c.log;
    EXPECT_EQ(MaskCallStacks(errors.Text()), c.log);
    EXPECT_EQ(texture.Record(), nullptr);
  }
  // A mipmapped volume: warned, made without mipmaps.
  LogTail warning;
  ASSERT_TRUE(texture.Create(64, 64, G::kTextureRGBA, 8, true));
  EXPECT_EQ(warning.Text(), "warning: 3D textures can't be mipmapped, but was requested (no plans to implement).\n");
  EXPECT_FALSE(texture.Record()->mipmaps);

  // A driver without cube maps or volume textures.
  FakeExtensions("GL_ARB_vertex_buffer_object GL_ARB_multitexture");
  ASSERT_TRUE(InitExtensions());
  LogTail noCubes;
  EXPECT_FALSE(texture.Create(64, 64, G::kTextureCube, 1, false));
  EXPECT_EQ(noCubes.Text(), "Cube Maps not supported on this video card.\n");
  LogTail noVolumes;
  EXPECT_FALSE(texture.Create(64, 64, G::kTextureRGBA, 4, false));
  EXPECT_EQ(noVolumes.Text(), "");
}

TEST_F(TextureTest, EmptyHandlesAreReportedAndUnlockNothing) {
  G::Texture empty;
  LogTail errors;
  empty.Set(0);
  empty.SetWrap(true, true, true);
  empty.SetFilter(G::kFilterLinear);
  {
    G::TextureLock lock(&empty, false, true);
    EXPECT_FALSE(lock.GetInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(lock.GetFace(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    lock.Unlock();
    lock.Unlock();
  }
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Attempt to Set a texture that dosen't exist.\n  -call stack:\n\n"
            "SetWrapFilter cannot execute: texture not created?\n  -call stack:\n\n"
            "SetWrapFilter cannot execute: texture not created?\n  -call stack:\n\n"
            "Warning: attempt to lock a non-allocated texture.\n  -call stack:\n\n");
  // A lock that did take hold unlocks once.
  LogTail quiet;
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 4, G::kTextureRGBA, 1, false));
  G::TextureLock lock(&texture, false, true);
  EXPECT_TRUE(lock.GetInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  lock.Unlock();
  EXPECT_FALSE(lock.GetInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  lock.Unlock();
  EXPECT_EQ(quiet.Text(), "");
}

// ---- Image files ---------------------------------------------------------------------

std::vector<unsigned> Quadrants() {
  // 4 x 4: red, green / blue, white quarters; the alpha byte is kept.
  std::vector<unsigned> pixels(16);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      pixels[y * 4 + x] = y < 2 ? (x < 2 ? 0xFFFF0000u : 0xFF00FF00u) : (x < 2 ? 0xFF0000FFu : 0xFF000000u);
  return pixels;
}

void ExpectQuadrants(bool blackShown) {
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(450, 150)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(150, 450)), 0x0000FFu);
  EXPECT_EQ(Rgb(ReadPixel(450, 450)), blackShown ? 0x000000u : 0x808080u);
}

TEST_F(TextureTest, ImagesOfEachPixelLayoutLoad) {
  WriteBmp24("quarters24.bmp", 4, 4, Quadrants());
  WriteBmp32("quarters32.bmp", 4, 4, Quadrants());
  WriteBmp16("quarters16.bmp", 4, 4, Quadrants());
  WritePngRgba("quarters.png", 4, 4, Quadrants());
  struct Case {
    const char* file;
    G::TextureType type;
    const char* log;
  } cases[] = {
      {"quarters24.bmp", G::kTextureRGB, ""},
      {"quarters32.bmp", G::kTextureRGB, ""},
      {"quarters16.bmp", G::kTextureRGBA,
       "LoadedImage.Load warning: Exact pixel format not matched for purposes of channel count for: quarters16.bmp\n"},
      {"quarters.png", G::kTextureRGBA, ""},
  };
  for (const Case& c : cases) {
    G::Clear(0xFF808080u, true, true, false, 0);
    LogTail errors;
    G::Texture texture;
    ASSERT_TRUE(texture.Load(c.file, G::kTextureFileFormat, false, false)) << c.file;
    EXPECT_EQ(errors.Text(), c.log);
    EXPECT_EQ(texture.Record()->type, c.type) << c.file;
    EXPECT_EQ(texture.Record()->name, c.file);
    EXPECT_EQ(texture.Record()->width, 4);
    texture.SetFilter(G::kFilterPoint);
    G::DrawSpriteStretched(100, 100, 500, 500, texture, 1.0f);
    ExpectQuadrants(true);
  }
}

TEST_F(TextureTest, TheColourKeyMakesOpaqueBlackTransparent) {
  WriteBmp24("keyed.bmp", 4, 4, Quadrants());
  G::Clear(0xFF808080u, true, true, false, 0);
  G::Texture keyed;
  ASSERT_TRUE(keyed.LoadCC("keyed.bmp"));
  EXPECT_EQ(keyed.Record()->type, G::kTextureRGBA);
  keyed.SetFilter(G::kFilterPoint);
  G::DrawSpriteStretched(100, 100, 500, 500, keyed, 1.0f);
  ExpectQuadrants(false);
  // LoadCC clamps U and V: coordinates past 1 show the edge texels.
  G::Clear(0xFF808080u, true, true, false, 0);
  TexturedSquare(keyed, 0, 0, 400, 2);
  EXPECT_EQ(Rgb(ReadPixel(350, 50)), 0x00FF00u);
}

TEST_F(TextureTest, PaletteImagesBecomeSingleChannelTextures) {
  WriteBmp8("palette.bmp", 2, 2, {0xFF000000u, 0xFFFFFFFFu, 0xFF808080u}, {1, 0, 2, 1});
  G::Texture texture;
  LogTail errors;
  ASSERT_TRUE(texture.LoadCC("palette.bmp"));
  EXPECT_EQ(errors.Text(), "8bpp images can't have a color key applied... ignoring it on: palette.bmp\n");
  EXPECT_EQ(texture.Record()->type, G::kTextureAlpha);
  {
    G::TextureLock lock(&texture, true, false);
    void* bits = nullptr;
    ASSERT_TRUE(lock.GetInfo(&bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    // The raw indices, as coverage.
    const unsigned char* texels = static_cast<const unsigned char*>(bits);
    EXPECT_EQ(texels[0], 1);
    EXPECT_EQ(texels[1], 0);
    EXPECT_EQ(texels[2], 2);
  }
}

TEST_F(TextureTest, ImagesThatCannotBeTexturesAreRefused) {
  std::vector<unsigned> wide(6 * 4, 0xFFFFFFFFu);
  WriteBmp24("wide.bmp", 6, 4, wide);
  G::Texture texture;
  LogTail errors;
  EXPECT_FALSE(texture.Load("wide.bmp", G::kTextureFileFormat, false, false));
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Unable to load image \"wide.bmp\"\n  -dimensions must be powers of 2\n  -call stack:\n\n");
  EXPECT_EQ(texture.Record(), nullptr);
  LogTail missing;
  EXPECT_FALSE(texture.Load("no such file.png", G::kTextureFileFormat, false, false));
  EXPECT_EQ(MaskCallStacks(missing.Text()), "Failed to load image: no such file.png\n  -call stack:\n\n");
}

TEST_F(TextureTest, VolumeTexturesLoadFromAListOfSlices) {
  ASSERT_TRUE(CreateDirectoryPath("volume\\"));
  const unsigned colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
  std::string list;
  for (int slice = 0; slice < 4; ++slice) {
    const std::string name = "slice" + std::to_string(slice) + ".png";
    WritePngRgba("volume\\" + name, 2, 2, std::vector<unsigned>(4, colours[slice]));
    list += name + "\n";
  }
  WriteFileText("volume\\slices.t3d", list);
  G::Texture volume;
  ASSERT_TRUE(volume.Load("volume\\slices.t3d", G::kTextureFileFormat, false, false));
  EXPECT_EQ(volume.Record()->depth, 4);
  EXPECT_EQ(volume.Record()->type, G::kTextureRGBA);
  EXPECT_EQ(volume.Record()->name, "volume\\slices.t3d");
  volume.SetFilter(G::kFilterPoint);
  volume.Set(0);
  for (int slice = 0; slice < 4; ++slice) SampleAt(50.0f + 50 * slice, 50, 0.5f, 0.5f, (slice + 0.5f) / 4);
  for (int slice = 0; slice < 4; ++slice) EXPECT_EQ(Rgb(ReadPixel(60 + 50 * slice, 60)), Rgb(colours[slice])) << slice;
}

}  // namespace
