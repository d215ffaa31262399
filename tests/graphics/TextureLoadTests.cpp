// Loading textures from files: sharing by name, the steps before the
// backend decodes, and volume textures from .t3d lists.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "GraphicsFixture.h"
#include "ImageFiles.h"
#include "foundation/Utility.h"
#include "graphics/LoadedImage.h"
#include "graphics/Texture.h"

namespace {

class TextureLoad : public GraphicsTest {
 protected:
  static void SetUpTestSuite() {
    G::InitImageLoader();
    CreateDirectoryPath("textures\\");
    CreateDirectoryPath("volume\\");
  }
  static void TearDownTestSuite() { G::ShutdownImageLoader(); }

  static std::vector<unsigned> Solid(unsigned colour, int count) { return std::vector<unsigned>(count, colour); }
};

int Loads() {
  int count = 0;
  for (const std::string& call : NullBackend::Calls()) count += call.rfind("Texture::LoadImageFile", 0) == 0;
  return count;
}

TEST_F(TextureLoad, NamesDifferingOnlyInCaseShareOneRecord) {
  WriteBmp24("textures\\Wall.bmp", 4, 4, Solid(0xFF336699, 16));
  G::Texture first, second;
  ASSERT_TRUE(first.Load("textures\\Wall.bmp", G::kTextureFileFormat, false, false));
  ASSERT_TRUE(second.Load("TEXTURES\\wall.BMP", G::kTextureFileFormat, false, false));
  EXPECT_EQ(first.Record(), second.Record());
  EXPECT_EQ(first.Record()->refCount, 2);
  EXPECT_EQ(Loads(), 1);
  // The same name again on one handle: nothing reloaded.
  EXPECT_TRUE(first.Load("textures\\wall.bmp", G::kTextureRGBA, true, true));
  EXPECT_EQ(Loads(), 1);
  EXPECT_EQ(first.Record()->refCount, 2);
  EXPECT_EQ(first.Record()->name, "textures\\Wall.bmp");
  EXPECT_EQ(first.Record()->type, G::kTextureRGB);
}

TEST_F(TextureLoad, ANewNameReleasesTheHeldRecord) {
  WriteBmp24("textures\\a.bmp", 4, 4, Solid(0xFF000001, 16));
  WriteBmp24("textures\\b.bmp", 4, 4, Solid(0xFF000002, 16));
  G::Texture texture;
  ASSERT_TRUE(texture.Load("textures\\a.bmp", G::kTextureFileFormat, false, false));
  ASSERT_TRUE(texture.Load("textures\\b.bmp", G::kTextureFileFormat, false, false));
  EXPECT_EQ(G::FindSharedTexture("textures\\a.bmp"), nullptr);
  EXPECT_EQ(G::g_textureRecords.size(), 1u);
}

TEST_F(TextureLoad, TypeFreeIsRefused) {
  G::Texture texture;
  LogTail log;
  EXPECT_FALSE(texture.Load("textures\\a.bmp", G::kTextureFree, false, false));
  EXPECT_EQ(texture.Record(), nullptr);
  EXPECT_EQ(MaskCallStacks(log.Text()), "Error: attempt to load texture of type FREE\n  -call stack:\n\n");
}

TEST_F(TextureLoad, ColourKeyedLoadsClearOpaqueBlackAndClamp) {
  WriteBmp24("textures\\keyed.bmp", 2, 2, {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFF010000});
  G::Texture texture;
  ASSERT_TRUE(texture.LoadCC("textures\\keyed.bmp"));
  EXPECT_EQ(texture.Record()->type, G::kTextureRGBA);
  unsigned texels[4];
  std::memcpy(texels, NullBackend::TextureMemory(texture.Record()), sizeof texels);
  EXPECT_EQ(texels[0], 0u);
  EXPECT_EQ(texels[1], 0xFFFFFFFFu);
  EXPECT_EQ(texels[2], 0u);
  EXPECT_EQ(texels[3], 0xFF010000u);
  EXPECT_FALSE(NullBackend::TextureWrap(texture.Record(), 0));
  EXPECT_FALSE(NullBackend::TextureWrap(texture.Record(), 1));
  EXPECT_TRUE(NullBackend::TextureWrap(texture.Record(), 2));
}

// The search for a loaded texture and the load of a new one are one step
// under the graphics lock: a second thread that asks for the same new file
// while the first is loading it waits, then shares what the first made.
struct LoadRace {
  std::mutex mutex;
  std::condition_variable changed;
  int loads = 0;
  G::Texture* second = nullptr;
  bool secondLoaded = false;
  std::thread secondThread;
};
LoadRace* s_race;

// Runs in the loading thread when a decode begins: the first one starts the
// second thread and gives it a second to begin a load of its own.
void RaceAtDecode(const std::string& call) {
  if (call.rfind("Texture::LoadImageFile", 0) != 0) return;
  std::unique_lock<std::mutex> hold(s_race->mutex);
  if (++s_race->loads > 1) {
    s_race->changed.notify_all();
    return;
  }
  s_race->secondThread = std::thread([] {
    bool loaded = s_race->second->Load("textures\\race.bmp", G::kTextureFileFormat, false, false);
    std::lock_guard<std::mutex> done(s_race->mutex);
    s_race->secondLoaded = loaded;
  });
  s_race->changed.wait_for(hold, std::chrono::seconds(1), [] { return s_race->loads > 1; });
}

TEST_F(TextureLoad, TwoThreadsLoadingOneNewNameMakeOneRecord) {
  WriteBmp24("textures\\race.bmp", 4, 4, Solid(0xFF102030, 16));
  G::Texture first, second;
  LoadRace race;
  race.second = &second;
  s_race = &race;
  NullBackend::Scripted().observer = RaceAtDecode;
  const bool firstLoaded = first.Load("textures\\race.bmp", G::kTextureFileFormat, false, false);
  if (race.secondThread.joinable()) race.secondThread.join();
  NullBackend::Scripted().observer = nullptr;
  s_race = nullptr;
  EXPECT_TRUE(firstLoaded);
  EXPECT_TRUE(race.secondLoaded);
  EXPECT_EQ(race.loads, 1);
  EXPECT_EQ(Loads(), 1);
  ASSERT_NE(first.Record(), nullptr);
  EXPECT_EQ(first.Record(), second.Record());
  EXPECT_EQ(first.Record()->refCount, 2);
  EXPECT_EQ(G::g_textureRecords.size(), 1u);
}

// ---- Volume textures -------------------------------------------------------

const unsigned kSliceColours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF};

TEST_F(TextureLoad, AListMakesAVolumeWithSlicesInListOrder) {
  for (int i = 0; i < 4; ++i)
    WritePngRgba("volume\\slice" + std::to_string(i) + ".png", 8, 4, Solid(kSliceColours[i], 32));
  // The list names its slices relative to its own folder: a file of the
  // same name in the working folder must not be taken.
  WritePngRgba("slice0.png", 8, 4, Solid(0xFF123456, 32));
  WriteFileText("volume\\stack.t3d", "slice0.png\nslice1.png\nslice2.png\nslice3.png\n\nignored.png\n");

  G::Texture texture;
  LogTail log;
  ASSERT_TRUE(texture.Load("volume\\stack.t3d", G::kTextureFileFormat, false, false));
  EXPECT_EQ(log.Text(), "");
  const G::TextureRecord* r = texture.Record();
  EXPECT_EQ(r->type, G::kTextureRGBA);
  EXPECT_EQ(r->width * 100 + r->height * 10 + r->depth, 844);
  EXPECT_EQ(r->name, "volume\\stack.t3d");
  const unsigned* texels = reinterpret_cast<const unsigned*>(NullBackend::TextureMemory(r));
  for (int slice = 0; slice < 4; ++slice)
    for (int i = 0; i < 32; ++i) ASSERT_EQ(texels[slice * 32 + i], kSliceColours[slice]) << slice << " " << i;

  // Shared by name like any other texture.
  G::Texture again;
  ASSERT_TRUE(again.Load("VOLUME\\stack.t3d", G::kTextureFileFormat, false, false));
  EXPECT_EQ(again.Record(), r);
}

TEST_F(TextureLoad, PaletteSlicesMakeASingleChannelVolume) {
  for (int i = 0; i < 2; ++i)
    WriteBmp8("volume\\p" + std::to_string(i) + ".bmp", 4, 4, {0xFF000000, 0xFFFFFFFF},
              std::vector<unsigned char>(16, static_cast<unsigned char>(i)));
  WriteFileText("volume\\palette.t3d", "p0.bmp\np1.bmp\n");
  G::Texture texture;
  ASSERT_TRUE(texture.Load("volume\\palette.t3d", G::kTextureFileFormat, false, false));
  EXPECT_EQ(texture.Record()->type, G::kTextureAlpha);
  const unsigned char* bytes = NullBackend::TextureMemory(texture.Record());
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[15], 0);
  EXPECT_EQ(bytes[16], 1);
  EXPECT_EQ(bytes[31], 1);
}

TEST_F(TextureLoad, ThreeSlicesBreakThePowerOfTwoDepthRule) {
  for (int i = 0; i < 3; ++i) WritePngRgba("volume\\t" + std::to_string(i) + ".png", 4, 4, Solid(0xFF000000, 16));
  WriteFileText("volume\\three.t3d", "t0.png\nt1.png\nt2.png\n");
  G::Texture texture;
  LogTail log;
  EXPECT_FALSE(texture.Load("volume\\three.t3d", G::kTextureFileFormat, false, false));
  EXPECT_EQ(texture.Record(), nullptr);
  EXPECT_EQ(MaskCallStacks(log.Text()), "Cannot create texture:\n  -dimensions must be powers of 2\n  -call stack:\n\n");
}

TEST_F(TextureLoad, SlicesMustAgreeInSizeAndKind) {
  WritePngRgba("volume\\big.png", 8, 8, Solid(0xFF000000, 64));
  WritePngRgba("volume\\narrow.png", 4, 8, Solid(0xFF000000, 32));
  WriteBmp8("volume\\indexed.bmp", 8, 8, {0xFF000000}, std::vector<unsigned char>(64, 0));
  WriteFileText("volume\\sizes.t3d", "big.png\nnarrow.png\n");
  WriteFileText("volume\\kinds.t3d", "big.png\nindexed.bmp\n");
  G::Texture texture;
  LogTail log;
  EXPECT_FALSE(texture.Load("volume\\sizes.t3d", G::kTextureFileFormat, false, false));
  EXPECT_FALSE(texture.Load("volume\\kinds.t3d", G::kTextureFileFormat, false, false));
  EXPECT_EQ(log.Text(),
            "Error loading 3d texture(volume\\sizes.t3d)... dimensions of all files must be the same.\n"
            "  - volume\\narrow.png doesn't match the first layer in the list.\n"
            "Error loading 3d texture(volume\\kinds.t3d)... format of all files must be the same.\n"
            "  - volume\\indexed.bmp doesn't match the first layer in the list.\n");
  EXPECT_TRUE(G::g_textureRecords.empty());
}

TEST_F(TextureLoad, EmptyAndBrokenLists) {
  WriteFileText("volume\\empty.t3d", "");
  WriteFileText("volume\\holes.t3d", "nothing.png\n");
  G::Texture texture;
  LogTail log;
  EXPECT_FALSE(texture.Load("volume\\empty.t3d", G::kTextureFileFormat, false, false));
  EXPECT_FALSE(texture.Load("volume\\holes.t3d", G::kTextureFileFormat, false, false));
  EXPECT_FALSE(texture.LoadCC("volume\\empty.t3d"));
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "There was a problem loading 3D texture file: volume\\empty.t3d\n  -no textures listed?\n"
            "  -call stack:\n\n"
            "Failed to load image: volume\\nothing.png\n  -call stack:\n\n"
            "A layer of 3D texture \"volume\\holes.t3d\" failed to load... 3d texture load failed.\n"
            "Color key not supported on 3d textures.\n");
}

// A load that fails after the texture was made gives the record back
// instead of leaving an unnamed, empty volume in the handle.
TEST_F(TextureLoad, AFailedLockReleasesTheNewVolume) {
  WritePngRgba("volume\\l0.png", 4, 4, Solid(0xFF000000, 16));
  WriteFileText("volume\\locked.t3d", "l0.png\nl0.png\n");
  NullBackend::Scripted().lockTextureResult = false;
  G::Texture texture;
  LogTail log;
  EXPECT_FALSE(texture.Load("volume\\locked.t3d", G::kTextureFileFormat, false, false));
  EXPECT_EQ(texture.Record(), nullptr);
  EXPECT_TRUE(G::g_textureRecords.empty());
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Unable to lock 3d texture to load it... not good to have this happen obviously.\n  -call stack:\n\n");
}

// A device that makes 16-bit texels gets the slices converted, never four
// bytes a texel written into two-byte rows.
TEST_F(TextureLoad, SixteenBitVolumesGetConvertedTexels) {
  WritePngRgba("volume\\w0.png", 4, 2, Solid(0xFFFF8000, 8));
  WritePngRgba("volume\\w1.png", 4, 2, Solid(0x800000FF, 8));
  WriteFileText("volume\\wide.t3d", "w0.png\nw1.png\n");
  NullBackend::Scripted().textureBitsPerPixel = 16;
  G::Texture texture;
  ASSERT_TRUE(texture.Load("volume\\wide.t3d", G::kTextureFileFormat, false, false));
  const unsigned short* texels = reinterpret_cast<const unsigned short*>(NullBackend::TextureMemory(texture.Record()));
  EXPECT_EQ(texels[0], 0xFF80);
  EXPECT_EQ(texels[7], 0xFF80);
  EXPECT_EQ(texels[8], 0x800F);
  EXPECT_EQ(texels[15], 0x800F);
}

// A lock of a texel size the slices cannot be written as is refused before
// anything is written: rows of four-byte texels would run past its end.
TEST_F(TextureLoad, VolumesOfATexelSizeTheSlicesCannotFillAreRefused) {
  WritePngRgba("volume\\o0.png", 4, 2, Solid(0xFFFF8000, 8));
  WriteFileText("volume\\odd.t3d", "o0.png\no0.png\n");
  for (int bits : {64, 24, 8}) {
    SCOPED_TRACE(bits);
    NullBackend::Scripted().textureBitsPerPixel = bits;
    G::Texture texture;
    LogTail log;
    EXPECT_FALSE(texture.Load("volume\\odd.t3d", G::kTextureFileFormat, false, false));
    EXPECT_EQ(texture.Record(), nullptr);
    EXPECT_TRUE(G::g_textureRecords.empty());
    EXPECT_EQ(MaskCallStacks(log.Text()), "Error loading 3d texture(volume\\odd.t3d)... can't fill a texture of " +
                                              std::to_string(bits) + " bits per pixel.\n  -call stack:\n\n");
  }
}

}  // namespace
