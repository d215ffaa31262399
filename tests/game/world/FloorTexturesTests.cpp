// Floor textures through the null backend, the floor sets of patch folders,
// and the generated sample installation read end to end.
#include <gtest/gtest.h>

#include <cstring>

#include "FormatTestSupport.h"
#include "game/formats/ColorTables.h"
#include "game/formats/DreamArchive.h"
#include "game/formats/MapGrid.h"
#include "game/formats/PlayerFile.h"
#include "game/service/VantDataManager.h"
#include "game/world/FloorSets.h"
#include "game/world/FloorTextures.h"
#include "game/world/VantRenderer.h"
#include "graphics/Device.h"
#include "graphics/GBMesh.h"
#include "NullBackend.h"
#include "TestSupport.h"

#include "WorldTestSupport.h"

namespace {

class FloorTexturesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(NullBackend::ResetAndStart(false));
    // Floor sets land in the world renderer's slots.
    G::CreateBoneAllocator();
    CopyWorldData();
    ASSERT_TRUE(InitRenderer());
    ResetFolder("patches/default");
    CopyFileTo(FixturePath("shape/patches/default/floors.fsh"), "patches/default/floors.fsh");
    LoadPcxPalette(FixturePath("palette/default.pcx"));
  }
  void TearDown() override {
    ShutdownRenderer();
    G::ClearLoadedModels();
    G::DestroyBoneAllocator();
    if (G::IsInitialized()) G::Shutdown();
    NullBackend::Reset();
    RemoveFolder("patches");
    RemoveFolder("floors_test");
  }
  static std::string PutDreamFile(const std::string& dream, const std::string& name, const std::string& fixture) {
    CopyFileTo(FixturePath(fixture), "floors_test/" + dream + "/" + name);
    return "floors_test\\" + dream + "\\";
  }
};

TEST_F(FloorTexturesTest, OneClampedTexturePerImage) {
  ShapeSet set;
  ASSERT_TRUE(LoadFsh(set, "patches\\default\\floors.fsh"));
  std::vector<G::Texture> textures(2);  // emptied first
  LogTail log;
  ASSERT_TRUE(GenerateFloorTextures(set, textures));
  EXPECT_EQ(log.Text(), "");
  ASSERT_EQ(textures.size(), set.size());
  uint32_t texels[64 * 64];
  for (size_t i = 0; i < set.size(); ++i) {
    const G::TextureRecord* record = textures[i].Record();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->createdWidth, 64);
    EXPECT_EQ(record->createdHeight, 64);
    EXPECT_EQ(record->type, G::kTextureRGBA);
    EXPECT_EQ(record->depth, 1);
    EXPECT_FALSE(NullBackend::TextureWrap(record, 0));
    EXPECT_FALSE(NullBackend::TextureWrap(record, 1));
    EXPECT_TRUE(NullBackend::TextureWrap(record, 2));
    ShapeToFloorTexels(set[i], Palette, texels);
    EXPECT_EQ(std::memcmp(NullBackend::TextureMemory(record), texels, sizeof texels), 0) << i;
  }
  // A plain image gives a plain, opaque tile of its palette colour.
  FshImage plain;
  plain.width = plain.height = 8;
  plain.pixels.assign(64, 7);
  ASSERT_TRUE(GenerateFloorTextures(ShapeSet{plain}, textures));
  ASSERT_EQ(textures.size(), 1u);
  const unsigned char* memory = NullBackend::TextureMemory(textures[0].Record());
  for (int i = 0; i < 64 * 64; ++i) {
    uint32_t texel;
    std::memcpy(&texel, memory + 4 * i, 4);
    ASSERT_EQ(texel >> 24, 0xFFu);
    ASSERT_NEAR(int(texel >> 16 & 0xFF), Palette[7].r, 1);
    ASSERT_NEAR(int(texel >> 8 & 0xFF), Palette[7].g, 1);
    ASSERT_NEAR(int(texel & 0xFF), Palette[7].b, 1);
  }
}

TEST_F(FloorTexturesTest, SixteenBitTexturesGetFourBitsAChannel) {
  NullBackend::Scripted().textureBitsPerPixel = 16;
  // Channels whose top four bits stay the same one below (a blend may
  // truncate a uniform colour by one).
  Palette[7] = PaletteColor{0, 0x12, 0x34, 0x56};
  Palette[8] = PaletteColor{0, 0xFF, 0xF8, 0x0F};
  struct Case {
    unsigned char index;
    unsigned char key;
    uint16_t texel;
  };
  const Case cases[] = {{7, 0, 0xF135}, {8, 0, 0xFFF0}, {7, 7, 0xF000}};  // the last: all key colour
  ShapeSet set;
  for (const Case& c : cases) {
    FshImage image;
    image.width = image.height = 8;
    image.pixels.assign(64, c.index);
    image.keyColor = c.key;
    set.push_back(image);
  }
  std::vector<G::Texture> textures;
  ASSERT_TRUE(GenerateFloorTextures(set, textures));
  ASSERT_EQ(textures.size(), 3u);
  for (int n = 0; n < 3; ++n) {
    const unsigned char* memory = NullBackend::TextureMemory(textures[n].Record());
    for (int i = 0; i < 64 * 64; ++i) {
      uint16_t texel;
      std::memcpy(&texel, memory + 2 * i, 2);
      ASSERT_EQ(texel, cases[n].texel) << n << ": " << i;
    }
  }
}

TEST_F(FloorTexturesTest, FailuresToCreateOrLock) {
  ShapeSet set(2);
  std::vector<G::Texture> textures;
  EXPECT_TRUE(GenerateFloorTextures(ShapeSet(), textures));
  EXPECT_TRUE(textures.empty());

  NullBackend::Scripted().createTextureResult = false;
  LogTail log;
  EXPECT_FALSE(GenerateFloorTextures(set, textures));
  EXPECT_EQ(log.Text(), "Null backend: texture creation refused.\n"
                        "Texture create failed while doing floor tile conversion.\n");
  EXPECT_TRUE(textures.empty());

  NullBackend::Scripted().createTextureResult = true;
  NullBackend::Scripted().lockTextureResult = false;
  LogTail log2;
  EXPECT_FALSE(GenerateFloorTextures(set, textures));
  EXPECT_EQ(log2.Text(), "Lock on newly created texture failed while floor tile conversion.\n");
  EXPECT_TRUE(textures.empty());
}

TEST_F(FloorTexturesTest, PatchFolderFloors) {
  struct Case {
    const char* what;
    std::string folder;
    size_t textures;
    std::string log;  // with FOLDER for the folder
  };
  const Case cases[] = {
      {"patch over the default set", PutDreamFile("a", "floors.fs2", "shape/dream/floors.fs2"), 170,
       "Erp... FOLDERfloors.fs2 has an image thats supposed to replace an image number out of the valid range... "
       "ignoring it.\n"},
      {"own floor set", PutDreamFile("b", "floors.fsh", "shape/thin.fsh"), 4, ""},
      {"no floors of its own", "floors_test\\c\\", 170,
       "Error while trying to loading the floor for patch FOLDER.  Will use default floor.\n"},
      {"truncated floors: the images read whole", PutDreamFile("d", "floors.fsh", "shape/truncated.fsh"),
       FixtureLines("shape/truncated.expect").size(),
       "Warning: EOF hit, but only " + std::to_string(FixtureLines("shape/truncated.expect").size()) +
           " of the 170 images were loaded from FOLDERfloors.fsh.  Will use what we got...\n"},
      {"no image whole: the default floors", PutDreamFile("e", "floors.fsh", "shape/huge.fsh"), 170,
       "Unexpected end of file while reading FOLDERfloors.fsh as FSH data; it holds no usable images.\n"
       "Error while trying to loading the floor for patch FOLDER.  Will use default floor.\n"},
  };
  for (const Case& c : cases) {
    SetFloorTextures({});
    LogTail log;
    LoadPatchFloors(c.folder);
    std::string expected = c.log;
    for (size_t at; (at = expected.find("FOLDER")) != std::string::npos;) expected.replace(at, 6, c.folder);
    EXPECT_EQ(log.Text(), expected) << c.what;
    EXPECT_EQ(FilledFloorSlots(), c.textures) << c.what;
  }
  // The patched images are the patch's.
  LoadPatchFloors(cases[0].folder);
  ShapeSet patched;
  ASSERT_TRUE(LoadShapeFile(patched, cases[0].folder + "floors.fs2"));
  uint32_t texels[64 * 64];
  ShapeToFloorTexels(patched[2], Palette, texels);
  EXPECT_EQ(std::memcmp(NullBackend::TextureMemory(FloorSlotRecords()[2]), texels, sizeof texels), 0);
}

TEST_F(FloorTexturesTest, NoDefaultFloorsEither) {
  RemoveFolder("patches");
  // What the slots held stays.
  const std::vector<G::Texture> held = {PlainTexture(0xFF102030u), PlainTexture(0xFF405060u)};
  SetFloorTextures(held);
  LogTail log;
  EXPECT_FALSE(LoadFloorSet("floors_test\\none\\floors.fsh"));  // silently
  LoadPatchFloors("floors_test\\none\\");
  EXPECT_EQ(log.Text(), "Error while trying to loading the floor for patch floors_test\\none\\.  Will use default floor.\n"
                        "Hrm... default floor failed to load... badness...\n");
  ASSERT_EQ(FilledFloorSlots(), 2u);
  EXPECT_EQ(FloorSlotRecords()[0], held[0].Record());
  EXPECT_EQ(FloorSlotRecords()[1], held[1].Record());
}

// The generated sample installation, read as the program reads it: from its
// own folder structure in the working folder.
TEST_F(FloorTexturesTest, SampleInstallation) {
  const std::string sample = BinaryDir() + "/sample/";
  for (const std::string& name : ListFiles(sample + "patches/default"))
    CopyFileTo(sample + "patches/default/" + name, "patches/default/" + name);
  for (const std::string& name : ListFiles(sample + "data/colors"))
    CopyFileTo(sample + "data/colors/" + name, "data/colors/" + name);
  LogTail log;

  for (const char* player : {"Alice.ini", "Bramble.ini", "Corvin.ini"}) {
    PlayerInfo info;
    EXPECT_TRUE(LoadPlayerIni(sample + player, info)) << player;
  }
  LoadColorTables();
  EXPECT_NE(PartColorTables[kPartVest][0].r + PartColorTables[kPartVest][0].g + PartColorTables[kPartVest][0].b, 0);
  LoadPcxPalette("patches\\default\\dusk.pcx");
  LoadPcxPalette("patches\\default\\default.pcx");

  ShapeSet defaults;
  ASSERT_TRUE(LoadShapeFile(defaults, "patches\\default\\floors.fsh"));
  EXPECT_GE(defaults.size(), 162u);  // floor 161 is drawn around every map

  CopyFileTo(sample + "maps/vinca.map", "floors_test/maps/vinca.map");
  EXPECT_TRUE(LoadMap("floors_test\\maps\\vinca.map"));
  SetFloorTextures({});
  LoadPatchFloors("patches\\default\\");
  EXPECT_EQ(FilledFloorSlots(), defaults.size());

  const std::pair<const char*, size_t> dreams[] = {{"Meadow", defaults.size()}, {"Lantern", 170}};
  for (const auto& dream : dreams) {
    const std::string name = dream.first;
    CopyFileTo(sample + "dreams/" + name + ".dream", "floors_test/qvrx_tmp/" + name + "/" + name + ".dream");
    const std::string dir = "floors_test\\qvrx_tmp\\" + name + "\\";
    ASSERT_TRUE(ExtractDream(dir + name + ".dream")) << name;
    ASSERT_TRUE(LoadMap(dir + "default.map")) << name;
    int w, h;
    GetMapSize(&w, &h);
    EXPECT_GT(w, 0);
    SetFloorTextures({});
    LoadPatchFloors(dir);
    EXPECT_EQ(FilledFloorSlots(), dream.second) << name;
  }
  EXPECT_EQ(log.Text(), "");
  RemoveFolder("data");
}

}  // namespace
