// Model textures read from real image files (the image codec is Windows'),
// on the first parse and again by name from the binary cache.
#include <cstdio>

#include "ImageFiles.h"
#include "ModelFixture.h"
#include "foundation/Utility.h"
#include "graphics/LoadedImage.h"

namespace {

class ModelImages : public ModelTest {
 protected:
  static void SetUpTestSuite() { G::InitImageLoader(); }
  static void TearDownTestSuite() { G::ShutdownImageLoader(); }
};

int ImageLoads(const std::string& name) {
  int count = 0;
  for (const std::string& call : NullBackend::Calls()) count += call.rfind("Texture::LoadImageFile(" + name, 0) == 0;
  return count;
}

TEST_F(ModelImages, TexturesComeFromTheModelsFolderAndAgainFromTheCache) {
  CreateDirectoryPath("models\\images\\");
  WriteBmp24("models\\images\\brick.bmp", 4, 4, std::vector<unsigned>(16, 0xFF804020));
  WriteBmp24("models\\images\\brick_norm.bmp", 4, 4, std::vector<unsigned>(16, 0xFF8080FF));
  const std::string path = "models\\images\\wall.mbm";
  WriteFileText(path, "RandomID { 0.5 }\nMesh { Name { m } Chunk { TextureB { 0 brick.bmp 0 }\n"
                      "Vertices { PNC 1  0 0 0  0 0 1  1 1 1 1 } Indices { 3 0 0 0 } } }\n"
                      "Bone { Name { wall } Mesh { m } }\n");
  std::remove(G::ModelCachePath(path).c_str());
  for (int load = 0; load < 2; ++load) {  // parsed, then from the cache
    NullBackend::ClearCalls();
    LogTail errors;
    {
      G::Model model;
      ASSERT_TRUE(model.Load(path, true, false, true)) << load;
      EXPECT_EQ(errors.Text(), "") << load;
      EXPECT_EQ(ImageLoads("models\\images\\brick.bmp,0,1,0"), 1) << load;
      G::Chunk& chunk = model.GetRootBone()->mesh.Record()->chunks[0];
      ASSERT_NE(chunk.TextureB.Record(), nullptr) << load;
      EXPECT_EQ(chunk.TextureB.Record()->name, "models\\images\\brick.bmp");
      EXPECT_FALSE(chunk.TextureB.Record()->mipmaps);
      EXPECT_EQ(NullBackend::TextureMemory(chunk.TextureB.Record())[0], 0x20);
      G::ReloadNormalMaps();
      ASSERT_NE(chunk.TextureC.Record(), nullptr) << load;
      EXPECT_EQ(chunk.TextureC.Record()->name, "models\\images\\brick_norm.bmp");
      G::UnloadNormalMaps();
      EXPECT_EQ(chunk.TextureC.Record(), nullptr);
      G::ClearLoadedModels();
    }
    EXPECT_EQ(G::FindSharedTexture("models\\images\\brick.bmp"), nullptr) << load;
  }
}

}  // namespace
