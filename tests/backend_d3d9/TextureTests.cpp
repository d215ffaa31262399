// Textures on Direct3D 9: image files through D3DX, created 2D, volume and
// cube textures, binding states, locks, and the texts of every refusal;
// drawn as sprites and read back by pixel.
#include <cstring>

#include "D3D9TestSupport.h"
#include "DrawingSupport.h"
#include "graphics/DeviceCallbacks.h"
#include "ImageFiles.h"
#include "graphics/LoadedImage.h"
#include "graphics/Primitives.h"
#include "graphics/Texture.h"

namespace {

// Quadrants: red, green / blue, white.
std::vector<unsigned> Quadrants(int width, int height) {
  std::vector<unsigned> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool right = x >= width / 2, bottom = y >= height / 2;
      pixels[static_cast<size_t>(y) * width + x] =
          bottom ? (right ? 0xFFFFFFFF : 0xFF0000FF) : (right ? 0xFF00FF00 : 0xFFFF0000);
    }
  return pixels;
}

std::vector<unsigned> Plain(int width, int height, unsigned color) {
  return std::vector<unsigned>(static_cast<size_t>(width) * height, color);
}

class TextureTest : public D3D9Test {
 protected:
  static UINT Levels(const G::Texture& texture) {
    const G::STex_API_Data* api = texture.Record()->api;
    if (api->texture) return api->texture->GetLevelCount();
    if (api->cube) return api->cube->GetLevelCount();
    return api->volume->GetLevelCount();
  }
  static D3DFORMAT Format(const G::Texture& texture) {
    D3DSURFACE_DESC desc = {};
    texture.Record()->api->texture->GetLevelDesc(0, &desc);
    return desc.Format;
  }
  void BeginSpriteFrame() {
    BeginClearedFrame(0xFF000000);
    G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
  }
  // Draws the texture as a sprite, point filtered, and ends the frame.
  Image FinishWithSprite(G::Texture& texture, float x, float y) {
    texture.SetFilter(G::kFilterPoint);
    G::DrawSprite(x, y, texture, 1.0f);
    return FinishFrame();
  }
};

TEST_F(TextureTest, ALoadedImageDrawsAsASpriteAtItsSize) {
  WriteBmp24("quadrants.bmp", 16, 16, Quadrants(16, 16));
  G::Texture texture;
  ASSERT_TRUE(texture.Load("quadrants.bmp", G::kTextureRGBA, false, false));
  const G::TextureRecord* record = texture.Record();
  EXPECT_EQ(record->name, "quadrants.bmp");
  EXPECT_EQ(record->width, 16);
  EXPECT_EQ(record->createdWidth, 16);
  EXPECT_EQ(record->depth, 1);
  EXPECT_EQ(record->type, G::kTextureRGB) << "from the file's 24-bit format";
  EXPECT_EQ(record->api->format, D3DFMT_R8G8B8);
  EXPECT_EQ(Format(texture), D3DFMT_A8R8G8B8);
  EXPECT_TRUE(record->api->wrapU && record->api->wrapV && record->api->wrapW);
  EXPECT_EQ(record->api->filter, G::kFilterLinear);

  BeginSpriteFrame();
  Image image = FinishWithSprite(texture, 100, 100);
  EXPECT_TRUE(PixelIs(image, 102, 102, 0xFF0000));
  EXPECT_TRUE(PixelIs(image, 113, 102, 0x00FF00));
  EXPECT_TRUE(PixelIs(image, 102, 113, 0x0000FF));
  EXPECT_TRUE(PixelIs(image, 113, 113, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(image, 118, 118, 0x000000));
}

TEST_F(TextureTest, TexturesAreSharedByNameWhateverTheCase) {
  WriteBmp24("shared.bmp", 8, 8, Plain(8, 8, 0xFF123456));
  G::Texture first, second;
  ASSERT_TRUE(first.Load("shared.bmp", G::kTextureRGB, false, false));
  G::TextureRecord* record = first.Record();
  ASSERT_TRUE(second.Load("SHARED.BMP", G::kTextureRGB, false, false));
  EXPECT_EQ(second.Record(), record);
  EXPECT_EQ(record->refCount, 2);
  ASSERT_TRUE(first.Load("shared.bmp", G::kTextureRGB, false, false));
  EXPECT_EQ(first.Record(), record);
  EXPECT_EQ(record->refCount, 2);
}

TEST_F(TextureTest, RefusedImagesAreLoggedAndLeaveTheHandleEmpty) {
  WriteBmp24("odd.bmp", 12, 8, Plain(12, 8, 0xFFFFFFFF));
  WriteBmp24("really_bmp.DDS", 8, 8, Plain(8, 8, 0xFFFFFFFF));
  struct Case {
    const char* name;
    G::TextureType type;
    std::string log;
  } cases[] = {
      {"missing.bmp", G::kTextureRGB, "Failed to load image \"missing.bmp\"\n  -call stack:\n\n"},
      {"odd.bmp", G::kTextureRGB,
       "Unable to load image \"odd.bmp\"\n  -dimensions must be powers of 2\n  -call stack:\n\n"},
      {"really_bmp.DDS", G::kTextureRGB,
       "Error: .dds file(really_bmp.DDS) being loaded.  This format is depreciated for compatability reasons. "
       "Failing.\n"},
      {"odd.bmp", G::kTextureFree, "Error: attempt to load texture of type FREE\n  -call stack:\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    G::Texture texture;
    LogTail log;
    EXPECT_FALSE(texture.Load(c.name, c.type, false, false));
    EXPECT_EQ(MaskCallStacks(log.Text()), c.log);
    EXPECT_EQ(texture.Record(), nullptr);
  }
}

TEST_F(TextureTest, LoadFailuresNameTheirReason) {
  WriteBmp24("fine.bmp", 8, 8, Plain(8, 8, 0xFFFFFFFF));
  struct Case {
    long result;
    const char* detail;
  } cases[] = {
      {D3DERR_OUTOFVIDEOMEMORY, "  -graphics device out of memory\n"},
      {D3DERR_NOTAVAILABLE, "  -graphics device doesn't support requested type\n"},
      {D3DXERR_INVALIDDATA, "  -file contains invalid data\n"},
      {E_FAIL, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.detail);
    ResultHookScope hook([&](const std::string& call, long, long* result) {
      if (call != "D3DXCreateTextureFromFileExA") return false;
      *result = c.result;
      return true;
    });
    G::Texture texture;
    LogTail log;
    EXPECT_FALSE(texture.Load("fine.bmp", G::kTextureRGB, false, false));
    EXPECT_EQ(MaskCallStacks(log.Text()),
              std::string("Failed to load image \"fine.bmp\"\n") + c.detail + "  -call stack:\n\n");
    EXPECT_EQ(texture.Record(), nullptr);
  }
}

TEST_F(TextureTest, AspectRatiosAboveEightAreWarnedAbout) {
  WriteBmp24("wide.bmp", 512, 32, Plain(512, 32, 0xFFFFFFFF));
  WriteBmp24("eight.bmp", 256, 32, Plain(256, 32, 0xFFFFFFFF));
  G::Texture wide, eight;
  {
    LogTail log;
    EXPECT_TRUE(wide.Load("wide.bmp", G::kTextureRGB, false, false));
    EXPECT_EQ(MaskCallStacks(log.Text()),
              "warning: image \"wide.bmp\" loaded successfully, but aspect ratio is greater than 8\n"
              "  -aspect ratio more than 8 not recommended for best compatability with older hardware\n"
              "  -call stack:\n\n");
  }
  LogTail log;
  EXPECT_TRUE(eight.Load("eight.bmp", G::kTextureRGB, false, false));
  EXPECT_EQ(log.Text(), "");
}

TEST_F(TextureTest, MipmapsStopAtEightTexelsOnTheSmallerSide) {
  struct Case {
    int width, height;
    bool mipmaps;
    UINT levels;
  } cases[] = {{256, 32, true, 3}, {4, 4, true, 1}, {8, 8, true, 1}, {64, 64, true, 4}, {256, 32, false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.mipmaps);
    std::string name = "mip" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".bmp";
    WriteBmp24(name, c.width, c.height, Plain(c.width, c.height, 0xFF808080));
    G::Texture texture;
    ASSERT_TRUE(texture.Load(name, G::kTextureRGB, c.mipmaps, c.mipmaps));
    EXPECT_EQ(Levels(texture), c.levels);
    EXPECT_EQ(texture.Record()->mipmaps, c.mipmaps);
  }
}

TEST_F(TextureTest, TheTypeChoosesTheTexelFormat) {
  WriteBmp24("rgb.bmp", 8, 8, Plain(8, 8, 0xFF808080));
  struct Case {
    G::TextureType type;
    D3DFORMAT format;
  } cases[] = {{G::kTextureFileFormat, D3DFMT_X8R8G8B8},
               {G::kTextureAlpha, D3DFMT_A8},
               {G::kTextureRGB, D3DFMT_X8R8G8B8},
               {G::kTextureRGBA, D3DFMT_A8R8G8B8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    G::Texture texture;
    ASSERT_TRUE(texture.Load("rgb.bmp", c.type, false, false));
    EXPECT_EQ(Format(texture), c.format);
  }
}

// Texts whose call stack follows a heading: the heading, then nothing but
// stack lines up to the closing "\n".
void ExpectMessageWithStack(const std::string& text, const std::string& head) {
  ASSERT_EQ(text.substr(0, head.size()), head) << text;
  EXPECT_EQ(MaskCallStacks(text.substr(head.size())), "\n") << text;
}

// A 16-bit greyscale (L16) image in the DDS layout, which D3DX recognises
// by its contents whatever the file is called.
void WriteGrey16Image(const std::string& path, int width, int height, unsigned short level) {
  std::string out = "DDS ";
  auto put32 = [&out](unsigned v) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
  };
  put32(124);                        // header size
  put32(0x1 | 0x2 | 0x4 | 0x1000);   // caps, height, width, pixel format
  put32(static_cast<unsigned>(height));
  put32(static_cast<unsigned>(width));
  put32(static_cast<unsigned>(width) * 2);  // pitch
  put32(0);                          // depth
  put32(0);                          // mipmap count
  for (int i = 0; i < 11; ++i) put32(0);
  put32(32);                         // pixel format size
  put32(0x20000);                    // luminance
  put32(0);                          // no four-character code
  put32(16);                         // bits
  put32(0xFFFF);                     // luminance mask
  put32(0);
  put32(0);
  put32(0);                          // no alpha
  put32(0x1000);                     // a texture
  for (int i = 0; i < 4; ++i) put32(0);
  for (int i = 0; i < width * height; ++i) {
    out += static_cast<char>(level & 0xFF);
    out += static_cast<char>(level >> 8);
  }
  WriteFileBytes(path, out);
}

// The file's format decides the type; a format outside the known ones is
// logged and counts as RGBA. A type without a texel format is logged and
// loads in the file's own format.
TEST_F(TextureTest, FormatsAndTypesWithoutAMatchAreLogged) {
  WriteGrey16Image("grey16.img", 8, 8, 0x8000);
  {
    G::Texture texture;
    LogTail log;
    ASSERT_TRUE(texture.Load("grey16.img", G::kTextureRGBA, false, false));
    ExpectMessageWithStack(log.Text(), "Internal DXG Error: unable to deduce texture type from d3d format\n  -stack:");
    EXPECT_EQ(texture.Record()->type, G::kTextureRGBA);
    EXPECT_EQ(texture.Record()->api->format, D3DFMT_L16);
  }
  WriteBmp24("rgb.bmp", 8, 8, Plain(8, 8, 0xFF808080));
  G::Texture texture;
  LogTail log;
  EXPECT_TRUE(texture.Load("rgb.bmp", G::kTextureCube, false, false));
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Internal DXG error: Unable to find compatible format in CalcFormatFromType.\n  -call stack:\n\n");
  EXPECT_EQ(texture.Record()->type, G::kTextureRGB);
}

// With 16-bit colour, loading asks the device; creating does not.
TEST_F(TextureTest, SixteenBitColourFallsBackWhereTheDeviceRefuses) {
  FakeDirect3D fake;
  fake.script().refusedTextureFormats = {D3DFMT_R5G6B5};
  ResultHookScope hook([](const std::string& call, long, long* result) {
    if (call != "DesktopBitsPerPixel") return false;
    *result = 16;
    return true;
  });
  ASSERT_TRUE(Restart(DefaultSetup()));
  ASSERT_FALSE(G::Is32BitColor());
  EXPECT_EQ(DXG::CalcFormatFromType(G::kTextureRGB), D3DFMT_X1R5G5B5);
  EXPECT_EQ(DXG::CalcFormatFromType(G::kTextureRGBA), D3DFMT_A4R4G4B4);
  fake.script().refusedTextureFormats = {D3DFMT_A4R4G4B4};
  EXPECT_EQ(DXG::CalcFormatFromType(G::kTextureRGBA), D3DFMT_A1R5G5B5);
  EXPECT_EQ(DXG::CalcFormatFromType(G::kTextureRGB), D3DFMT_R5G6B5);

  ResultHookScope recorder([](const std::string&, long, long*) { return false; });
  G::Texture created;
  EXPECT_TRUE(created.Create(8, 8, G::kTextureRGB, 1, false));
  EXPECT_EQ(recorder.Asked().front(), "CreateTexture(" + std::to_string(D3DFMT_R5G6B5) + ")");
  EXPECT_EQ(created.Record()->api->format, D3DFMT_R5G6B5);
}

TEST_F(TextureTest, ColourKeyedImagesLetTheBackgroundThroughAndClamp) {
  std::vector<unsigned> pixels = Plain(8, 8, 0xFF000000);
  for (int y = 0; y < 8; ++y)
    for (int x = 4; x < 8; ++x) pixels[y * 8 + x] = 0xFFFFFFFF;
  WriteBmp24("keyed.bmp", 8, 8, pixels);
  G::Texture texture;
  ASSERT_TRUE(texture.LoadCC("keyed.bmp"));
  const G::STex_API_Data* api = texture.Record()->api;
  EXPECT_FALSE(api->wrapU);
  EXPECT_FALSE(api->wrapV);
  EXPECT_TRUE(api->wrapW);

  BeginSpriteFrame();
  DrawQuad(0, 0, 320, 240, 0xFFFF0000);
  Image image = FinishWithSprite(texture, 50, 50);
  EXPECT_TRUE(PixelIs(image, 51, 52, 0xFF0000)) << "black is transparent";
  EXPECT_TRUE(PixelIs(image, 56, 52, 0xFFFFFF));
}

TEST_F(TextureTest, VolumeListsLoadAsVolumeTextures) {
  G::InitImageLoader();
  WriteBmp24("slice0.bmp", 8, 8, Plain(8, 8, 0xFFFF0000));
  WriteBmp24("slice1.bmp", 8, 8, Plain(8, 8, 0xFF00FF00));
  WriteFileText("volume.t3d", "slice0.bmp\nslice1.bmp\n");
  G::Texture texture;
  LogTail log;
  ASSERT_TRUE(texture.Load("volume.t3d", G::kTextureRGBA, true, false));
  EXPECT_EQ(log.Text(), "warning: 3D textures can't be mipmapped, but was requested (no plans to implement).\n");
  const G::TextureRecord* record = texture.Record();
  EXPECT_EQ(record->depth, 2);
  EXPECT_EQ(record->name, "volume.t3d");
  ASSERT_NE(record->api->volume, nullptr);
  {
    G::TextureLock lock(&texture, true, false);
    unsigned char* bits = nullptr;
    int rowPitch = 0, slicePitch = 0, bitsPerPixel = 0, width = 0, height = 0, depth = 0;
    ASSERT_TRUE(lock.GetInfo(reinterpret_cast<void**>(&bits), &rowPitch, &slicePitch, &bitsPerPixel, &width,
                             &height, &depth));
    EXPECT_EQ(bitsPerPixel, 32);
    EXPECT_EQ(depth, 2);
    EXPECT_GE(slicePitch, rowPitch * 8);
    unsigned texel;
    std::memcpy(&texel, bits + slicePitch + 3 * rowPitch + 12, 4);
    EXPECT_EQ(texel & 0xFFFFFF, 0x00FF00u);
  }
  // Bound with its W address mode.
  texture.SetWrap(true, true, false);
  texture.Set(0);
  DWORD w = 0;
  DXG::g_d3d.device->GetSamplerState(0, D3DSAMP_ADDRESSW, &w);
  EXPECT_EQ(w, static_cast<DWORD>(D3DTADDRESS_CLAMP));
  G::ShutdownImageLoader();
}

TEST_F(TextureTest, CreatedTexturesOfEachKind) {
  G::Texture cube, plain, volume;
  ASSERT_TRUE(cube.Create(64, 64, G::kTextureCube, 1, false));
  ASSERT_NE(cube.Record()->api->cube, nullptr);
  EXPECT_EQ(Levels(cube), 7u) << "a full mip chain";
  EXPECT_EQ(cube.Record()->name, "");

  ASSERT_TRUE(plain.Create(64, 32, G::kTextureRGB, 1, true));
  EXPECT_EQ(Levels(plain), 1u);
  EXPECT_TRUE(plain.Record()->mipmaps);
  EXPECT_EQ(plain.Record()->createdHeight, 32);
  EXPECT_EQ(Format(plain), D3DFMT_X8R8G8B8);

  LogTail log;
  ASSERT_TRUE(volume.Create(8, 8, G::kTextureRGBA, 4, true));
  EXPECT_EQ(log.Text(), "warning: 3D textures can't be mipmapped, but was requested (no plans to implement).\n");
  EXPECT_FALSE(volume.Record()->mipmaps);
  EXPECT_EQ(volume.Record()->depth, 4);
  ASSERT_NE(volume.Record()->api->volume, nullptr);
}

TEST_F(TextureTest, RefusedCreationsAreLogged) {
  struct Case {
    int width, height;
    G::TextureType type;
    int depth;
    std::string log;
  } cases[] = {
      {64, 32, G::kTextureCube, 1, "Cube maps can't have non-square sides...\n"},
      {64, 64, G::kTextureCube, 2, "Cube Maps can't be 3D...\n"},
      {24, 32, G::kTextureRGB, 1, "Cannot create texture:\n  -dimensions must be powers of 2\n  -call stack:\n\n"},
      {32, 32, G::kTextureFileFormat, 1, "unsupported or unimplemented format in (DirectX)Texture::Create.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    G::Texture texture;
    LogTail log;
    EXPECT_FALSE(texture.Create(c.width, c.height, c.type, c.depth, false));
    EXPECT_EQ(MaskCallStacks(log.Text()), c.log);
    EXPECT_EQ(texture.Record(), nullptr);
  }
  // Without volume textures a volume is refused without a word.
  DXG::g_d3d.volumeTextures = false;
  G::Texture volume;
  LogTail log;
  EXPECT_FALSE(volume.Create(8, 8, G::kTextureRGBA, 2, false));
  DXG::g_d3d.volumeTextures = true;
  EXPECT_EQ(log.Text(), "");
}

TEST_F(TextureTest, DeviceRefusalsOnCreateAreLogged) {
  struct Case {
    const char* call;
    int width, height;
    G::TextureType type;
    int depth;
    const char* log;
  } cases[] = {
      {"CreateTexture", 8, 8, G::kTextureRGB, 1, "pD3DDev->CreateTexture failed.\n  -call stack: "},
      {"CreateCubeTexture", 8, 8, G::kTextureCube, 1, "pD3DDev->CreateCubeTexture failed.\n  -call stack: "},
      {"CreateVolumeTexture", 8, 8, G::kTextureRGB, 2, "pD3DDev->CreateVolumeTexture failed.\n  -call stack: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    ResultHookScope hook([&](const std::string& call, long, long* result) {
      if (call != c.call) return false;
      *result = D3DERR_OUTOFVIDEOMEMORY;
      return true;
    });
    G::Texture texture;
    LogTail log;
    EXPECT_FALSE(texture.Create(c.width, c.height, c.type, c.depth, false));
    EXPECT_EQ(log.Text().rfind(c.log, 0), 0u) << log.Text();
    EXPECT_EQ(texture.Record(), nullptr);
  }
}

TEST_F(TextureTest, SetAppliesTheFilterAndWrapStates) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(8, 8, G::kTextureRGBA, 1, false));
  IDirect3DDevice9* device = DXG::g_d3d.device;
  auto sampler = [&](D3DSAMPLERSTATETYPE state) {
    DWORD value = 0;
    device->GetSamplerState(2, state, &value);
    return value;
  };
  texture.SetFilter(G::kFilterNone);
  EXPECT_EQ(sampler(D3DSAMP_MINFILTER), static_cast<DWORD>(D3DTEXF_POINT)) << "applied at Set only";
  const DWORD filters[5] = {D3DTEXF_NONE, D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC, D3DTEXF_ANISOTROPIC};
  for (int filter = 0; filter < 5; ++filter) {
    SCOPED_TRACE(filter);
    texture.SetFilter(static_cast<G::TextureFilter>(filter));
    texture.Set(2);
    EXPECT_EQ(sampler(D3DSAMP_MINFILTER), filters[filter]);
    EXPECT_EQ(sampler(D3DSAMP_MAGFILTER), filters[filter]);
  }
  texture.SetWrap(false, true, false);
  texture.Set(2);
  EXPECT_EQ(sampler(D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_CLAMP));
  EXPECT_EQ(sampler(D3DSAMP_ADDRESSV), static_cast<DWORD>(D3DTADDRESS_WRAP));
  IDirect3DBaseTexture9* bound = nullptr;
  device->GetTexture(2, &bound);
  EXPECT_EQ(bound, texture.Record()->api->texture);
  DXG::ReleaseCom(bound);

  G::Texture empty;
  LogTail log;
  empty.Set(2);
  EXPECT_EQ(MaskCallStacks(log.Text()), "Set called on a non-loaded texture.\n  -call stack:\n\n");
  device->GetTexture(2, &bound);
  EXPECT_EQ(bound, nullptr);
  DXG::ReleaseCom(bound);
  empty.SetWrap(false, false, false);
  empty.SetFilter(G::kFilterNone);
}

TEST_F(TextureTest, LockedPixelsDrawAsASprite) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(16, 8, G::kTextureRGBA, 1, false));
  {
    G::TextureLock lock(&texture, false, true);
    void* bits = nullptr;
    int rowPitch = 0, slicePitch = 0, bitsPerPixel = 0, width = 0, height = 0, depth = 0;
    ASSERT_TRUE(lock.GetInfo(&bits, &rowPitch, &slicePitch, &bitsPerPixel, &width, &height, &depth));
    EXPECT_EQ(bitsPerPixel, 32);
    EXPECT_GE(rowPitch, 64);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 8);
    EXPECT_EQ(depth, 1);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x) lock.SetPixel(x, y, x < 8 ? 0xFFFFFF00 : 0xFF00FFFF);
  }
  {
    G::TextureLock lock(&texture, true, false);
    EXPECT_EQ(lock.GetPixel(3, 3), 0xFFFFFF00u);
    EXPECT_EQ(lock.GetPixel(12, 3), 0xFF00FFFFu);
    EXPECT_FALSE(lock.GetFace(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  }
  BeginSpriteFrame();
  Image image = FinishWithSprite(texture, 20, 30);
  EXPECT_TRUE(PixelIs(image, 22, 33, 0xFFFF00));
  EXPECT_TRUE(PixelIs(image, 33, 33, 0x00FFFF));
  EXPECT_TRUE(PixelIs(image, 37, 33, 0x000000));
}

TEST_F(TextureTest, CubeLocksHandOutSixFaces) {
  G::Texture cube;
  ASSERT_TRUE(cube.Create(8, 8, G::kTextureCube, 1, false));
  G::TextureLock lock(&cube, false, true);
  EXPECT_FALSE(lock.GetInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  for (int face = 0; face < 6; ++face) {
    SCOPED_TRACE(face);
    void* bits = nullptr;
    int rowPitch = 0, bitsPerPixel = 0, width = 0, height = 0;
    ASSERT_TRUE(lock.GetFace(face, &bits, &rowPitch, nullptr, &bitsPerPixel, &width, &height));
    EXPECT_NE(bits, nullptr);
    EXPECT_GE(rowPitch, 32);
    EXPECT_EQ(bitsPerPixel, 32);
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 8);
  }
  EXPECT_FALSE(lock.GetFace(6, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  lock.Unlock();
  EXPECT_FALSE(lock.GetFace(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(TextureTest, LocksOfMissingTexturesAreEmpty) {
  G::Texture empty;
  LogTail log;
  G::TextureLock lock(&empty, true, true);
  EXPECT_FALSE(lock.GetInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(MaskCallStacks(log.Text()), "Error... attempt to lock a non-existant texture.\n  -call stack:\n\n");
}

// A loaded texture's recorded format is its file's; its texels may be wider.
TEST_F(TextureTest, LocksOfLoadedTexturesGiveTheTexelSize) {
  WriteBmp24("widened.bmp", 8, 8, Plain(8, 8, 0xFF204060));
  G::Texture texture;
  ASSERT_TRUE(texture.Load("widened.bmp", G::kTextureRGBA, false, false));
  ASSERT_EQ(texture.Record()->api->format, D3DFMT_R8G8B8);
  G::TextureLock lock(&texture, true, false);
  int bitsPerPixel = 0;
  ASSERT_TRUE(lock.GetInfo(nullptr, nullptr, nullptr, &bitsPerPixel, nullptr, nullptr, nullptr));
  EXPECT_EQ(bitsPerPixel, 32);
  EXPECT_EQ(lock.GetPixel(5, 5), 0xFF204060u);
}

TEST_F(TextureTest, TexturesOutsideTheDevicesLifeAreLogged) {
  G::Shutdown();
  {
    LogTail log;
    G::Texture early;
    EXPECT_EQ(MaskCallStacks(log.Text()), "Bad: texture created, but graphics is not inited.\n  -call stack:\n\n");
    LogTail load;
    EXPECT_FALSE(early.Load("not_there.bmp", G::kTextureRGB, false, false));
    EXPECT_EQ(MaskCallStacks(load.Text()),
              "Error: DXG::Texture::Load used when graphics foundation is not initialized.\n  -call stack:\n\n"
              "Failed to load image \"not_there.bmp\"\n  -call stack:\n\n");
  }
  ASSERT_TRUE(Restart(DefaultSetup()));
  G::Texture* global = new G::Texture;
  ASSERT_TRUE(global->Create(8, 8, G::kTextureRGB, 1, false));
  G::Texture* empty = new G::Texture;
  G::Shutdown();

  LogTail log;
  ExpectGlobalsFaultOnDelete(global);
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Bad: texture being destructed, but graphics is not inited.\n"
            "  -AND it still thinks it has d3d resources.\n  -call stack:\n\n"
            "Error: DXG::Texture::Load used when graphics foundation is not initialized.\n  -call stack:\n\n");
  LogTail emptyLog;
  EXPECT_NO_THROW(delete empty);
  EXPECT_EQ(MaskCallStacks(emptyLog.Text()), "Bad: texture being destructed, but graphics is not inited.\n  -call stack:\n\n");
}

}  // namespace
