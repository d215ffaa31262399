// 2D mode, the viewport helpers, the default render states, projecting
// points through the interface's state and applying a resolution.
#include "GraphicsFixture.h"
#include "foundation/Maths.h"
#include "foundation/Utility.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"
#include "graphics/ScreenProjection.h"

namespace {

using TwoDMode = GraphicsTest;

// The projection is in row-vector form: [x y z 1] times the matrix.
Vector4 RowTransform(const Matrix4& m, float x, float y) {
  Vector4 out;
  out.x = x * m[0][0] + y * m[1][0] + m[3][0];
  out.y = x * m[0][1] + y * m[1][1] + m[3][1];
  out.z = x * m[0][2] + y * m[1][2] + m[3][2];
  out.w = x * m[0][3] + y * m[1][3] + m[3][3];
  return out;
}

bool IsIdentity(const Matrix4& m) {
  for (int i = 0; i < 16; ++i)
    if (m.m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  return true;
}

TEST_F(TwoDMode, ScreenPixelsMapOntoClipSpace) {
  struct Case {
    int x, y, width, height;
  } cases[] = {{0, 0, 800, 600}, {40, 300, 700, 250}};
  for (const Case& c : cases) {
    NullBackend::ClearCalls();
    G::Set2DMode(c.x, c.y, c.width, c.height);
    EXPECT_EQ(NullBackend::CallText(), "SetWorldMatrix\nSetViewMatrix\nSetProjectionMatrix\nSetViewport(" +
                                           std::to_string(c.x) + "," + std::to_string(c.y) + "," +
                                           std::to_string(c.width) + "," + std::to_string(c.height) + ")\n");
    EXPECT_TRUE(IsIdentity(G::GetWorldMatrix()));
    EXPECT_TRUE(IsIdentity(G::GetViewMatrix()));
    const Matrix4 p = G::GetProjectionMatrix();
    Vector4 topLeft = RowTransform(p, static_cast<float>(c.x), static_cast<float>(c.y));
    Vector4 bottomRight = RowTransform(p, static_cast<float>(c.x + c.width), static_cast<float>(c.y + c.height));
    EXPECT_FLOAT_EQ(topLeft.x, -1);
    EXPECT_FLOAT_EQ(topLeft.y, 1);
    EXPECT_FLOAT_EQ(bottomRight.x, 1);
    EXPECT_FLOAT_EQ(bottomRight.y, -1);
    EXPECT_FLOAT_EQ(topLeft.w, 1);
    EXPECT_EQ(p[2][2], -1.0f);
    EXPECT_EQ(p[3][3], 1.0f);
  }
}

TEST_F(TwoDMode, ViewportHelpersUseTheSetUpSize) {
  G::Set2DModeFullScreen();
  int x, y, w, h;
  G::GetViewportRect(x, y, w, h);
  EXPECT_EQ(x + y + w * 1000 + h, 800600);
  G::SetViewportRect(5, 6, 7, 8);
  G::GetViewportRect(x, y, w, h);
  EXPECT_EQ(x * 1000 + y * 100 + w * 10 + h, 5678);
  NullBackend::ClearCalls();
  G::SetFullViewport();
  EXPECT_EQ(NullBackend::CallText(), "SetViewport(0,0,800,600)\n");
}

TEST_F(TwoDMode, DefaultRenderStates) {
  G::SetDefaultRenderStates();
  EXPECT_EQ(NullBackend::CallText(),
            "SetRenderState(0,1)\nSetRenderState(1,1)\nSetRenderState(2,1)\nSetRenderState(3,1)\n"
            "SetRenderState(4,0)\nSetRenderState(5,0)\nSetRenderState(6,0)\nSetRenderState(7,1)\n"
            "SetCullMode(0)\nSetAlphaRef(0)\nSetAlphaFunc(3)\nSetDepthFunc(5)\nSetBlendFunc(4,5)\n"
            "SetProjectionMatrix\nSetViewMatrix\nSetWorldMatrix\nSetViewport(0,0,800,600)\n");
  EXPECT_TRUE(IsIdentity(G::GetProjectionMatrix()));
}

TEST_F(TwoDMode, PointsProjectThroughTheCurrentTransforms) {
  Matrix4 view, projection;
  Matrix4::LookAt(view, Vector3(0, 0, -10), Vector3(0, 0, 0), Vector3(0, 1, 0), false, false);
  Matrix4::Perspective(projection, 0.7853982f, 0.75f, 1.0f, 100.0f);
  G::SetViewMatrix(view);
  G::SetProjectionMatrix(projection);
  G::SetViewport(0, 0, 800, 600);
  Vector3 screen;
  ASSERT_TRUE(G::WorldToScreen(screen, Vector3(0, 0, 5)));
  EXPECT_NEAR(screen.x, 400, 1e-3);
  EXPECT_NEAR(screen.y, 300, 1e-3);
  Vector3 nearPoint, farPoint;
  G::ScreenToWorld(nearPoint, 400, 300, 0);
  G::ScreenToWorld(farPoint, 400, 300, 1);
  EXPECT_NEAR(nearPoint.x, 0, 1e-4);
  EXPECT_NEAR(nearPoint.y, 0, 1e-4);
  EXPECT_NEAR(farPoint.x, 0, 1e-4);
  EXPECT_NEAR(farPoint.y, 0, 1e-4);
  EXPECT_LT(nearPoint.z, farPoint.z);
  // On the camera plane there is no screen position.
  EXPECT_FALSE(G::WorldToScreen(screen, Vector3(3, 0, -10)));
}

class Resolution : public GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    ResetResolution();
    g_failedResolutionModes = 0;
  }
  void TearDown() override {
    ResetResolution();
    g_failedResolutionModes = 0;
    GraphicsTest::TearDown();
  }
};

TEST_F(Resolution, ApplyingChangesTheDisplayOnce) {
  G::ApplyResolution();  // index 0 is applied already
  EXPECT_EQ(NullBackend::CallText(), "");
  g_resolutionIndex = 2;
  G::ApplyResolution();
  G::ApplyResolution();
  EXPECT_EQ(NullBackend::CallText(), "SetDisplayMode(1280,1024)\n");
  EXPECT_EQ(g_appliedResolutionIndex, 2);
  EXPECT_EQ(G::GetSetup()->width, 1280);
  for (unsigned i = 0; i < 6; ++i) EXPECT_EQ(G::IsResolutionAvailable(i), i <= 3) << i;
}

TEST_F(Resolution, ARefusedModeIsRememberedAndTheIndexGoesBack) {
  NullBackend::Scripted().displayModeResult = false;
  g_resolutionIndex = 3;
  G::ApplyResolution();
  EXPECT_EQ(g_resolutionIndex, 0);
  EXPECT_EQ(g_appliedResolutionIndex, 0);
  EXPECT_EQ(g_failedResolutionModes, 8u);
  EXPECT_FALSE(G::IsResolutionAvailable(3));
  EXPECT_TRUE(G::IsResolutionAvailable(1));
  // An index outside the table has no bit to set.
  LogTail log;
  g_resolutionIndex = 40;
  G::ApplyResolution();
  EXPECT_EQ(g_resolutionIndex, 0);
  EXPECT_EQ(g_failedResolutionModes, 8u);
  EXPECT_EQ(log.Text(), "bad value passed to CalcResolution.\n");
}

}  // namespace
