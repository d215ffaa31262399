// The program's own world data read as the program reads it (images decoded
// by the platform's codec): the portal and wall images, the item list and
// every model it names, texture swaps; and the renderer's start-up globals.
#include <algorithm>

#include "game/formats/MapGrid.h"
#include "game/world/VantRenderObjects.h"
#include "graphics/LoadedImage.h"
#include "StartupTrace.h"
#include "WorldFixture.h"

namespace {

class WorldDataTest : public WorldTest {
 protected:
  static void SetUpTestSuite() { G::InitImageLoader(); }
  static void TearDownTestSuite() { G::ShutdownImageLoader(); }

  // A renderer started from nothing: no loaded models, no caches.
  static std::string RestartFresh() {
    ShutdownRenderer();
    G::ClearLoadedModels();
    RemoveModelCaches();
    LogTail log;
    EXPECT_TRUE(InitRenderer());
    return log.Text();
  }

  static std::string ModelName(const G::Model& model) { return model.Record() ? model.Record()->name : ""; }
};

TEST_F(WorldDataTest, TheProgramsOwnDataLoadsWithoutAComplaint) {
  EXPECT_EQ(RestartFresh(), "");
  ASSERT_NE(DreamTexture->Record(), nullptr);
  EXPECT_EQ(DreamTexture->Record()->width, 64);
  EXPECT_TRUE(NullBackend::TextureWrap(DreamTexture->Record(), 0));   // round the ring
  EXPECT_FALSE(NullBackend::TextureWrap(DreamTexture->Record(), 1));  // not up it
  ASSERT_NE(WallRendererPtr->texture.Record(), nullptr);
  EXPECT_EQ(WallRendererPtr->texture.Record()->height, 64);

  // Numbers 1..49 (all the sample maps use) have models of their own, 50
  // only the placeholder.
  const std::vector<G::Model>& models = RenderObjectsPtr->Models();
  ASSERT_EQ(models.size(), 51u);
  const char* const kinds[] = {"tree", "bush", "rock", "crate", "crate", "lamp", "table"};
  for (int n = 1; n <= 49; ++n)
    EXPECT_EQ(ModelName(models[n]), std::string("data\\items\\") + kinds[(n - 1) % 7] + ".mbm") << n;
  EXPECT_EQ(ModelName(models[50]), "data\\items\\placeholder.mbm");
  // The dark crates wear their swapped image.
  const std::vector<G::TexturePair>& pairs = models[5].GetRootBone()->mesh.texturePairs;
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].TextureB.Record()->name, "data\\items\\crate_dark.png");
  EXPECT_TRUE(models[4].GetRootBone()->mesh.texturePairs.empty());
  // Every model carries its image, so none is drawn with whatever was bound
  // before it (nor complained about every frame).
  LoadBlankMap(10, 10, 0);
  for (int n = 1; n <= 50; ++n) SetMapObject(n % 30 + 5, n / 30 + 5, n);
  LogTail drawing;
  ASSERT_TRUE(NullBackend::BufferDraws().empty());
  RenderObjectsPtr->SetWindow(0, 40, 0, 40);
  RenderObjectsPtr->Render();
  EXPECT_EQ(drawing.Text(), "");
  size_t draws = 0;
  for (const NullBackend::BufferDraw& draw : NullBackend::BufferDraws()) {
    ++draws;
    EXPECT_NE(draw.texture0, nullptr) << draw.call;
  }
  EXPECT_EQ(draws, 50u);

  // The caches written by the first load serve the second.
  EXPECT_TRUE(FileExists("gen\\data\\items\\tree.bmbm"));
  ShutdownRenderer();
  G::ClearLoadedModels();
  LogTail again;
  ASSERT_TRUE(InitRenderer());
  EXPECT_EQ(again.Text(), "");
  EXPECT_EQ(ModelName(RenderObjectsPtr->Models()[1]), "data\\items\\tree.mbm");
}

TEST_F(WorldDataTest, TextureSwapsOfTheItemList) {
  WriteFileText("data\\items\\items.txt",
                "3\n"
                "1 crate.mbm crate.png crate_dark.png\n"
                "2 crate.mbm nothing.png crate_dark.png\n"
                "3 crate.mbm crate.png missing.png crate.png crate.png\n");
  LogTail log;
  VANT::RenderObjects objects;
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Warning: Texture replacement operation failed, in loading an item: items.txt, line 2, name: "
            "nothing.png\n"
            "Failed to load image: data\\items\\missing.png\n"
            "  -call stack:\n"
            "\n"
            "Warning: Texture replacement failed to load, in loading an item: items.txt, line 3, name: "
            "data\\items\\missing.png\n");
  LoadBlankMap(10, 10, 0);
  SetMapObject(5, 5, 1);
  SetMapObject(6, 5, 2);
  SetMapObject(7, 5, 3);
  objects.SetWindow(0, 10, 0, 10);
  const size_t earlier = NullBackend::BufferDraws().size();
  objects.Render();
  std::vector<std::string> images;
  for (size_t i = earlier; i < NullBackend::BufferDraws().size(); ++i) {
    const G::TextureRecord* texture = NullBackend::BufferDraws()[i].texture0;
    images.push_back(texture ? texture->name : "(none)");
  }
  EXPECT_EQ(images, (std::vector<std::string>{"data\\items\\crate_dark.png", "data\\items\\crate.png",
                                               "data\\items\\crate.png"}));
}

// ---- Start-up ----------------------------------------------------------------

// Run only as the child below, where the trace records the start-up.
TEST(WorldStartup, DISABLED_ChildRunDoesNothing) {}

TEST(WorldStartup, CameraGlobalsAreBuiltInTheirRows) {
  ExpectTableOrder(TraceStartupInChild("WorldStartup.DISABLED_ChildRunDoesNothing"), {21, 22, 23});
}

}  // namespace
