// Render-to-texture targets on Direct3D 9, drawn into before the frame
// begins (D3DX's own scene cannot open inside the device's), then shown as
// sprites or read face by face.
#include <cmath>

#include "D3D9TestSupport.h"
#include "DrawingSupport.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Primitives.h"
#include "graphics/RenderTexture.h"

namespace {

class RenderTextureTest : public D3D9Test {
 protected:
  static IDirect3DBaseTexture9* Bound(DWORD stage) {
    IDirect3DBaseTexture9* bound = nullptr;
    DXG::g_d3d.device->GetTexture(stage, &bound);
    IDirect3DBaseTexture9* compared = bound;  // only compared
    DXG::ReleaseCom(bound);
    return compared;
  }
};

TEST_F(RenderTextureTest, APlainTargetIsDrawnIntoAndShownAsASprite) {
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(64, 32, false));
  const G::RenderTextureRecord* record = target.Record();
  EXPECT_EQ(record->width, 64);
  EXPECT_FALSE(record->cube);
  EXPECT_NE(record->api->renderToSurface, nullptr);
  EXPECT_NE(record->api->texture, nullptr);

  G::RenderTargetDesc desc;
  ASSERT_TRUE(target.BeginRender(desc));
  int x, y, width, height;
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 32);
  G::Clear(0xFF0000FF, true, true, false, 0);
  G::Set2DMode(0, 0, 64, 32);
  G::UnsetTexture(0);
  G::SetCullMode(G::kCullNone);
  DrawQuad(0, 0, 32, 32, 0xFFFF0000);
  target.EndRender();

  BeginClearedFrame(0xFF000000);
  G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
  G::DrawRenderTexture(100, 50, target, 1.0f);
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 110, 60, 0xFF0000));
  EXPECT_TRUE(PixelIs(image, 150, 75, 0x0000FF));
  EXPECT_TRUE(PixelIs(image, 170, 60, 0x000000)) << "64 pixels wide";
  EXPECT_TRUE(PixelIs(image, 110, 85, 0x000000)) << "32 pixels high";
  EXPECT_TRUE(DXG::g_d3d.renderTextureBound);
}

TEST_F(RenderTextureTest, CubeFacesLandOnTheirAxes) {
  G::RenderTexture cube;
  ASSERT_TRUE(cube.Create(32, 32, true));
  ASSERT_NE(cube.Record()->api->renderToEnvMap, nullptr);
  const unsigned colors[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
  for (int face = 0; face < 6; ++face) {
    G::RenderTargetDesc desc;
    desc.face = face;
    ASSERT_TRUE(cube.BeginRender(desc)) << face;
    G::Clear(colors[face], true, true, false, 0);
  }
  cube.EndRender();
  // Callers number -Z before +Z; the device the other way round.
  const D3DCUBEMAP_FACES deviceFace[6] = {D3DCUBEMAP_FACE_POSITIVE_X, D3DCUBEMAP_FACE_NEGATIVE_X,
                                          D3DCUBEMAP_FACE_POSITIVE_Y, D3DCUBEMAP_FACE_NEGATIVE_Y,
                                          D3DCUBEMAP_FACE_NEGATIVE_Z, D3DCUBEMAP_FACE_POSITIVE_Z};
  for (int face = 0; face < 6; ++face) {
    SCOPED_TRACE(face);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(cube.Record()->api->cube->GetCubeMapSurface(deviceFace[face], 0, &surface), D3D_OK);
    Image image = ReadSurface(surface);
    surface->Release();
    EXPECT_TRUE(PixelIs(image, 16, 16, colors[face]));
  }
}

TEST_F(RenderTextureTest, TheDescriptionSetsViewportAndProjection) {
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(64, 64, false));
  Viewport rect = {8, 16, 32, 16};
  G::RenderTargetDesc desc;
  desc.setProjection = true;
  desc.nearPlane = 2;
  desc.farPlane = 50;
  desc.viewport = &rect;
  ASSERT_TRUE(target.BeginRender(desc));
  int x, y, width, height;
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(x, 8);
  EXPECT_EQ(y, 16);
  EXPECT_EQ(width, 32);
  EXPECT_EQ(height, 16);
  Matrix4 expected;
  Matrix4::Perspective(expected, 0.7853982f, 0.5f, 2, 50);
  Matrix4 projection = G::GetProjectionMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(projection.m[i], expected.m[i]) << i;
  target.EndRender();
  // The back buffer's viewport is back: nothing after is clipped to the
  // target's rectangle.
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(width, kBackBufferWidth);
  EXPECT_EQ(height, kBackBufferHeight);

  G::RenderTexture cube;
  ASSERT_TRUE(cube.Create(32, 32, true));
  G::RenderTargetDesc cubeDesc;
  cubeDesc.setProjection = true;
  cubeDesc.face = 3;
  ASSERT_TRUE(cube.BeginRender(cubeDesc));
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(width, 32);
  Matrix4::Perspective(expected, 1.5707964f, 1.0f, 1, 100);
  projection = G::GetProjectionMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(projection.m[i], expected.m[i]) << i;
  cube.EndRender();
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(width, kBackBufferWidth);
}

TEST_F(RenderTextureTest, SettingATargetWhileDrawingIntoItIsRefused) {
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(32, 32, false));
  G::Texture other;
  ASSERT_TRUE(other.Create(8, 8, G::kTextureRGB, 1, false));
  other.Set(1);
  ASSERT_TRUE(target.BeginRender(G::RenderTargetDesc()));
  LogTail log;
  target.Set(1);
  EXPECT_EQ(log.Text(), "Can't Set() a texture that is being rendered to.\n");
  target.EndRender();
  EXPECT_EQ(Bound(1), other.Record()->api->texture);
  target.Set(1);
  EXPECT_EQ(Bound(1), target.Record()->api->texture);

  G::RenderTexture empty;
  empty.Set(1);
  EXPECT_EQ(Bound(1), nullptr);
  EXPECT_FALSE(empty.BeginRender(G::RenderTargetDesc()));
}

TEST_F(RenderTextureTest, ATargetLetsGoOfItsStageWhenReleased) {
  {
    G::RenderTexture target;
    ASSERT_TRUE(target.Create(32, 32, false));
    target.Set(0);
    ASSERT_NE(Bound(0), nullptr);
  }
  EXPECT_EQ(Bound(0), nullptr);
}

TEST_F(RenderTextureTest, RefusedTargetsAreLoggedAndLeaveTheHandleEmpty) {
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(32, 32, false));
  {
    LogTail log;
    EXPECT_FALSE(target.Create(256, 128, true));
    EXPECT_EQ(log.Text(), "RenderTexture::Create: Cube maps must have the same width as height.\n");
    EXPECT_EQ(target.Record(), nullptr);
  }
  struct Case {
    bool cube;
    const char* call;
    std::vector<long> refused;  // the arguments refused
    const char* log;
    bool made;
  } cases[] = {
      {false, "D3DXCreateRenderToSurface", {D3DFMT_D24X8},
       "RenderTexture::Create (plain) - failed with 24bpp z buffer... trying 16bpp...\n", true},
      {true, "D3DXCreateRenderToEnvMap", {D3DFMT_D24X8},
       "RenderTexture::Create (cube) - failed with 24bpp z buffer... trying 16bpp...\n", true},
      {false, "D3DXCreateRenderToSurface", {D3DFMT_D24X8, D3DFMT_D16},
       "RenderTexture::Create (plain) - failed with 24bpp z buffer... trying 16bpp...\n"
       "RenderTexture - D3DXCreateRenderToSurface failed.\n",
       false},
      {true, "D3DXCreateRenderToEnvMap", {D3DFMT_D24X8, D3DFMT_D16},
       "RenderTexture::Create (cube) - failed with 24bpp z buffer... trying 16bpp...\n"
       "RenderTexture - D3DXCreateRenderToEnvMap failed.\n",
       false},
      {false, "CreateTexture", {D3DFMT_X8R8G8B8}, "RenderTexture - CreateTexture failed.\n", false},
      {true, "CreateCubeTexture", {D3DFMT_X8R8G8B8}, "RenderTexture - CreateCubeTexture failed.\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    ResultHookScope hook([&](const std::string& call, long argument, long* result) {
      if (call != c.call) return false;
      for (long refused : c.refused)
        if (argument == refused) {
          *result = D3DERR_NOTAVAILABLE;
          return true;
        }
      return false;
    });
    G::RenderTexture made;
    LogTail log;
    EXPECT_EQ(made.Create(32, 32, c.cube), c.made);
    EXPECT_EQ(log.Text(), c.log);
    EXPECT_EQ(made.Record() != nullptr, c.made);
    if (c.made) {
      // Drawn into with its 16-bit depth buffer.
      G::RenderTargetDesc desc;
      ASSERT_TRUE(made.BeginRender(desc));
      EXPECT_TRUE(G::Clear(0xFF00FF00, true, true, false, 0));
      made.EndRender();
    }
  }
}

TEST_F(RenderTextureTest, TargetsOutsideTheDevicesLife) {
  G::Shutdown();
  LogTail log;
  G::RenderTexture early;
  EXPECT_EQ(log.Text(), "Panic! RenderTexture object made, but Graphics not Init'd yet.\n");
  EXPECT_FALSE(early.Create(32, 32, false));
  EXPECT_EQ(early.Record(), nullptr);
}

// A target made before Shutdown has no device to be bound to afterwards:
// setting it does nothing, as the other calls do then.
TEST_F(RenderTextureTest, SettingATargetAfterShutdownDoesNothing) {
  for (bool cube : {false, true}) {
    SCOPED_TRACE(cube);
    ASSERT_TRUE(Restart(DefaultSetup()));
    G::RenderTexture* target = new G::RenderTexture;
    ASSERT_TRUE(target->Create(32, 32, cube));
    G::Shutdown();
    LogTail log;
    target->Set(0);
    EXPECT_EQ(log.Text(), "");
    EXPECT_FALSE(DXG::g_d3d.renderTextureBound);
    delete target;
  }
}

// The stencil is left alone while a target is bound as a texture: its
// depth buffer is not the device's.
TEST_F(RenderTextureTest, ClearLeavesTheStencilWhileATargetIsBound) {
  G::Setup setup = DefaultSetup();
  setup.stencil = true;
  ASSERT_TRUE(Restart(setup));
  ASSERT_TRUE(G::HasStencilBuffer());
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(32, 32, false));

  auto drawWhereStencilIsOne = [&](unsigned color) {
    G::SetRenderState(G::kStateStencil, true);
    G::SetStencilFunc(G::kCompareEqual, 1);
    G::SetStencilOps(false, G::kStencilKeep, G::kStencilKeep, G::kStencilKeep);
    G::UnsetTexture(0);
    DrawQuad(0, 0, 320, 240, color);
    G::SetRenderState(G::kStateStencil, false);
  };
  ASSERT_TRUE(DXG::BeginFrame(0, false, true));
  G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
  G::SetCullMode(G::kCullNone);
  ASSERT_TRUE(G::Clear(0xFF000000, true, true, true, 1));
  target.Set(0);
  ASSERT_TRUE(G::Clear(0xFF000000, true, true, true, 0));
  drawWhereStencilIsOne(0xFFFF0000);
  EXPECT_TRUE(PixelIs(FinishFrame(), 160, 120, 0xFF0000)) << "the stencil kept its 1";

  G::RenderTargetDesc desc;
  ASSERT_TRUE(target.BeginRender(desc));
  target.EndRender();
  ASSERT_TRUE(DXG::BeginFrame(0, false, true));
  G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
  ASSERT_TRUE(G::Clear(0xFF000000, true, true, true, 0));
  drawWhereStencilIsOne(0xFF00FF00);
  EXPECT_TRUE(PixelIs(FinishFrame(), 160, 120, 0x000000)) << "cleared to 0 once the target was done";
}

TEST(CubeFaceViewMatrix, LooksAlongEachAxisWithTheDeviceUpVectors) {
  const Vector3 eye(1, 2, 3);
  struct Case {
    int face;
    float rows[3][4];
  } cases[] = {
      {0, {{0, 0, -1, 3}, {0, 1, 0, -2}, {1, 0, 0, -1}}},
      {1, {{0, 0, 1, -3}, {0, 1, 0, -2}, {-1, 0, 0, 1}}},
      {2, {{1, 0, 0, -1}, {0, 0, -1, 3}, {0, 1, 0, -2}}},
      {3, {{1, 0, 0, -1}, {0, 0, 1, -3}, {0, -1, 0, 2}}},
      {4, {{-1, 0, 0, 1}, {0, 1, 0, -2}, {0, 0, -1, 3}}},
      {5, {{1, 0, 0, -1}, {0, 1, 0, -2}, {0, 0, 1, -3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.face);
    Matrix4 view = G::CubeFaceViewMatrix(c.face, eye);
    for (int r = 0; r < 3; ++r)
      for (int col = 0; col < 4; ++col) EXPECT_NEAR(view[r][col], c.rows[r][col], 1e-6f) << r << "," << col;
    EXPECT_EQ(view[3][3], 1.0f);
  }
  Matrix4 outside = G::CubeFaceViewMatrix(6, eye);
  for (float value : outside.m) EXPECT_EQ(value, 0.0f);
}

}  // namespace

namespace {

// One scene of most of the backend, saved as scene.png in the working
// folder for a person to look at.
TEST_F(RenderTextureTest, ACompositeSceneIsSavedAsAPicture) {
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(64, 64, false));
  ASSERT_TRUE(target.BeginRender(G::RenderTargetDesc()));
  G::Clear(0xFF203040, true, true, false, 0);
  G::Set2DMode(0, 0, 64, 64);
  G::SetCullMode(G::kCullNone);
  G::UnsetTexture(0);
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor(0xFFFF8000);
  G::IMPosition2(32, 4);
  G::IMColor(0xFF00FF80);
  G::IMPosition2(60, 60);
  G::IMColor(0xFF8000FF);
  G::IMPosition2(4, 60);
  G::IMEnd();
  target.EndRender();

  G::Texture checker;
  ASSERT_TRUE(checker.Create(8, 8, G::kTextureRGBA, 1, false));
  {
    G::TextureLock lock(&checker, false, true);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) lock.SetPixel(x, y, ((x + y) & 1) ? 0xFFFFFFFF : 0xFF303030);
  }
  checker.SetFilter(G::kFilterPoint);

  BeginClearedFrame(0xFF101828);
  // A turned, lit-looking quad in perspective.
  Matrix4 projection, view;
  Matrix4::Perspective(projection, 0.7853982f, 240.0f / 320.0f, 1, 100);
  Matrix4::LookAt(view, Vector3(0, 3, -8), Vector3(0, 0, 0), Vector3(0, 1, 0), false, false);
  G::SetProjectionMatrix(projection);
  G::SetViewMatrix(view);
  G::SetWorldMatrix(Matrix4::Identity());
  G::SetCullMode(G::kCullNone);
  G::UnsetTexture(0);
  G::IMBegin(G::kPrimitiveTriangleFan);
  G::IMColor(0xFF4060C0);
  G::IMPosition3(-3, 0, -3);
  G::IMColor(0xFF40C060);
  G::IMPosition3(3, 0, -3);
  G::IMColor(0xFFC0C040);
  G::IMPosition3(3, 0, 3);
  G::IMColor(0xFFC04040);
  G::IMPosition3(-3, 0, 3);
  G::IMEnd();
  G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
  G::DrawRenderTexture(240, 16, target, 1.0f);
  G::DrawSpriteStretched(16, 16, 80, 80, checker, 1.0f);
  G::DrawLine2D(16, 200, 0xFFFFFFFF, 304, 200, 0xFFFF0000);
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 20, 20, 0x303030));
  EXPECT_TRUE(PixelIs(image, 28, 20, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(image, 242, 18, 0x203040));
  EXPECT_TRUE(PixelIs(image, 5, 5, 0x101828));
  EXPECT_FALSE(Near(image.At(160, 150), 0x101828)) << "the floor quad";
  EXPECT_TRUE(PixelIs(image, 300, 230, 0x101828));
  DeleteFileA("scene.png");
  EXPECT_TRUE(SaveBackBuffer("scene.png"));
  EXPECT_TRUE(FileExists("scene.png"));
  DXG::EndFrame1();
}

}  // namespace
