// Render textures: plain and cube targets drawn into, then sampled back on
// the back buffer; the completeness retries through a scripted status; the
// viewport inside a target; and a driver without framebuffer objects.
#include <GL/gl.h>
#include <GL/glext.h>

#include <deque>

#include "DrawingSupport.h"
#include "GLTestSupport.h"
#include "backend_gl/GLExtensions.h"
#include "foundation/Maths.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Primitives.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"

namespace {

class RenderTextureTest : public GL2DTest {};

G::RenderTargetDesc WholeTarget(int face = 0) {
  G::RenderTargetDesc desc;
  desc.setProjection = false;
  desc.face = face;
  return desc;
}

TEST_F(RenderTextureTest, APlainTargetIsDrawnIntoAndSampled) {
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(128, 64, false));
  EXPECT_EQ(target.Record()->width, 128);
  EXPECT_FALSE(target.Record()->cube);
  EXPECT_TRUE(target.Record()->ownDepth);
  LogTail errors;
  ASSERT_TRUE(target.BeginRender(WholeTarget()));
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 128);
  EXPECT_EQ(viewport[3], 64);
  G::Clear(0xFFFF0000u, true, true, false, 0);
  // 2D mode inside the target: its viewport is turned by the target's
  // height, not the window's, so the left half of the top rows is green.
  G::Set2DMode(0, 0, 64, 32);
  int x = -1, y = -1, width = -1, height = -1;
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(height, 32);
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[1], 32);
  DrawQuad(0, 0, 64, 32, 0xFF00FF00u);
  target.EndRender();
  EXPECT_EQ(errors.Text(), "");

  // Back on the window; the window's viewport turns by its own height.
  G::Set2DMode(0, 0, 800, 600);
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[1], 0);
  EXPECT_EQ(viewport[3], 600);
  G::DrawRenderTexture(100, 100, target, 1.0f);
  // OpenGL keeps the target's rows bottom first: drawn as a sprite (first
  // texture row at the top) the green quarter shows at the sprite's bottom.
  EXPECT_EQ(Rgb(ReadPixel(120, 160)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(200, 160)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(120, 110)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(100 + 140, 110)), 0x000000u);
}

TEST_F(RenderTextureTest, ACubeTargetHoldsOneClearColourPerFace) {
  G::RenderTexture cube;
  ASSERT_TRUE(cube.Create(32, 32, true));
  const unsigned colours[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};
  for (int face = 0; face < 6; ++face) {
    G::RenderTargetDesc desc = WholeTarget(face);
    desc.setProjection = true;
    ASSERT_TRUE(cube.BeginRender(desc));
    G::Clear(colours[face], true, true, false, 0);
  }
  // A cube face is drawn with the winding reversed.
  G::SetCullMode(G::kCullCounterClockwise);
  GLint frontFace = 0;
  glGetIntegerv(GL_FRONT_FACE, &frontFace);
  EXPECT_EQ(frontFace, GL_CCW);
  Matrix4 expected;
  Matrix4::Perspective(expected, 3.14159265358979f / 2, 1.0f, 1.0f, 100.0f);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(G::GetProjectionMatrix().m[i], expected.m[i]) << i;
  cube.EndRender();
  glGetIntegerv(GL_FRONT_FACE, &frontFace);
  EXPECT_EQ(frontFace, GL_CW);

  // Callers number the faces +X, -X, +Y, -Y, -Z, +Z.
  const float directions[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, -1}, {0, 0, 1}};
  G::Set2DMode(0, 0, 800, 600);
  cube.Set(0);
  for (int face = 0; face < 6; ++face) {
    G::IMBegin(G::kPrimitiveTriangleFan);
    G::IMTexCoord3(directions[face][0], directions[face][1], directions[face][2]);
    const float x = 50.0f + 60 * face;
    G::IMPosition2(x, 50);
    G::IMPosition2(x + 20, 50);
    G::IMPosition2(x + 20, 70);
    G::IMPosition2(x, 70);
    G::IMEnd();
  }
  for (int face = 0; face < 6; ++face) EXPECT_EQ(Rgb(ReadPixel(60 + 60 * face, 60)), Rgb(colours[face])) << face;
}

TEST_F(RenderTextureTest, SettingATargetBeingDrawnIntoBindsNothing) {
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(64, 64, false));
  G::RenderTargetDesc desc = WholeTarget();
  const Viewport quarter = {0, 0, 32, 32};
  desc.viewport = &quarter;
  desc.setProjection = true;
  desc.nearPlane = 2;
  desc.farPlane = 50;
  ASSERT_TRUE(target.BeginRender(desc));
  Matrix4 expected;
  Matrix4::Perspective(expected, 3.14159265358979f / 4, 1.0f, 2.0f, 50.0f);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(G::GetProjectionMatrix().m[i], expected.m[i]) << i;
  GLint before = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &before);
  LogTail errors;
  target.Set(0);
  EXPECT_EQ(errors.Text(), "Can't Set() a texture that is being rendered to.\n");
  GLint after = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &after);
  EXPECT_EQ(after, before);
  target.EndRender();
  target.Set(0);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &after);
  EXPECT_NE(after, 0);

  // A cube must be square; an empty handle begins nothing and binds nothing.
  G::RenderTexture cube;
  LogTail square;
  EXPECT_FALSE(cube.Create(256, 128, true));
  EXPECT_EQ(square.Text(), "RenderTexture::Create: Cube maps must have the same width as height.\n");
  EXPECT_EQ(cube.Record(), nullptr);
  EXPECT_FALSE(cube.BeginRender(WholeTarget()));
  cube.Set(0);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

// ---- Completeness, scripted --------------------------------------------------------------
std::deque<GLenum> s_statuses;
GLenum APIENTRY ScriptedStatus(GLenum target) {
  const GLenum real =
      reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC>(DriverEntryPoint("glCheckFramebufferStatusEXT"))(target);
  if (s_statuses.empty()) return real;
  const GLenum status = s_statuses.front();
  s_statuses.pop_front();
  return status;
}

class ScriptedCompletenessTest : public RenderTextureTest {
 protected:
  void SetUp() override {
    RenderTextureTest::SetUp();
    ReplaceEntryPoint("glCheckFramebufferStatusEXT", reinterpret_cast<void*>(&ScriptedStatus));
    G::Setup setup = WindowedSetup();
    setup.stencil = true;
    Restart(setup, true);
  }
};

TEST_F(ScriptedCompletenessTest, A16BitDepthRetryThatWorks) {
  s_statuses = {GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT};
  G::RenderTexture target;
  LogTail errors;
  ASSERT_TRUE(target.Create(64, 64, false));
  EXPECT_EQ(errors.Text(),
            "erp: RenderTexture's framebuffer is not complete.\n  -incomplete attachment.\n"
            "  -trying again with 16bpp depth buffer...\n");
  EXPECT_TRUE(target.Record()->ownDepth);
}

TEST_F(ScriptedCompletenessTest, GivingUpWithAndWithoutStencil) {
  s_statuses = {GL_FRAMEBUFFER_UNSUPPORTED_EXT, GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT};
  G::RenderTexture target;
  LogTail errors;
  EXPECT_FALSE(target.Create(64, 64, false, false));
  EXPECT_EQ(errors.Text(),
            "erp: RenderTexture's framebuffer is not complete.\n  -not supported.\n"
            "  -trying again with 16bpp depth buffer...\n"
            "erp: RenderTexture's framebuffer is not complete.\n  -dimensions problem.\n"
            "  -giving up on render-to-texture creation.\n");
  EXPECT_EQ(target.Record(), nullptr);
  EXPECT_FALSE(target.BeginRender(WholeTarget()));

  s_statuses = {GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT, GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT,
                0x8CD8 /* duplicate attachment */};
  LogTail withStencil;
  EXPECT_FALSE(target.Create(64, 64, false, true));
  EXPECT_EQ(withStencil.Text(),
            "erp: RenderTexture's framebuffer is not complete.\n  -format error.\n"
            "  -trying again with 16bpp depth buffer...\n"
            "erp: RenderTexture's framebuffer is not complete.\n  -missing attachment.\n"
            "  -trying again with no stencil buffer...\n"
            "erp: RenderTexture's framebuffer is not complete.\n  -duplicate attachment.\n"
            "  -giving up on render-to-texture creation.\n");
  EXPECT_EQ(target.Record(), nullptr);

  // The remaining status texts.
  struct Case {
    GLenum status;
    const char* text;
  } cases[] = {{GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT, "  -draw buffer... something.\n"},
               {GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT, "  -read buffer error\n"},
               {0x1234, "  -This error is impossible.\n"}};
  for (const Case& c : cases) {
    s_statuses = {c.status, c.status};
    LogTail text;
    EXPECT_FALSE(target.Create(64, 64, false));
    const std::string expected = std::string("erp: RenderTexture's framebuffer is not complete.\n") + c.text;
    EXPECT_EQ(text.Text().substr(0, expected.size()), expected);
  }
}

TEST_F(ScriptedCompletenessTest, ATargetMadeWithoutStencilKeepsClearOffTheStencil) {
  s_statuses = {GL_FRAMEBUFFER_UNSUPPORTED_EXT, GL_FRAMEBUFFER_UNSUPPORTED_EXT};
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(64, 64, false, true));
  EXPECT_FALSE(target.Record()->ownDepth);
  ASSERT_TRUE(G::HasStencilBuffer());
  GLubyte stencil = 0;
  G::Clear(0xFF000000u, true, true, true, 7);
  target.Set(0);
  G::Clear(0xFF000000u, true, true, true, 2);
  glReadPixels(5, 5, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
  EXPECT_EQ(stencil, 7);
  ASSERT_TRUE(target.BeginRender(WholeTarget()));
  target.EndRender();
  G::Clear(0xFF000000u, true, true, true, 2);
  glReadPixels(5, 5, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
  EXPECT_EQ(stencil, 2);
}

TEST_F(ScriptedCompletenessTest, ACubeLetGoWhileDrawnIntoEndsTheDrawing) {
  // A target whose binding keeps clears off the stencil, as a cube face's
  // drawing does until it ends.
  s_statuses = {GL_FRAMEBUFFER_UNSUPPORTED_EXT, GL_FRAMEBUFFER_UNSUPPORTED_EXT};
  G::RenderTexture sampled;
  ASSERT_TRUE(sampled.Create(64, 64, false, true));
  ASSERT_FALSE(sampled.Record()->ownDepth);
  sampled.Set(0);
  G::SetCullMode(G::kCullCounterClockwise);
  GLint frontFace = 0;
  {
    G::RenderTexture cube;
    ASSERT_TRUE(cube.Create(32, 32, true));
    ASSERT_TRUE(cube.BeginRender(WholeTarget(2)));
    glGetIntegerv(GL_FRONT_FACE, &frontFace);
    ASSERT_EQ(frontFace, GL_CCW);
  }
  // As after EndRender: the window is drawn into with its own winding, and
  // its stencil is cleared again.
  GLint framebuffer = -1;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
  EXPECT_EQ(framebuffer, 0);
  glGetIntegerv(GL_FRONT_FACE, &frontFace);
  EXPECT_EQ(frontFace, GL_CW);
  EXPECT_EQ(G::GetCullMode(), G::kCullCounterClockwise);
  G::Set2DMode(0, 0, 800, 600);
  G::Clear(0xFF0000FFu, true, true, true, 4);
  GLubyte stencil = 0;
  glReadPixels(5, 5, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
  EXPECT_EQ(stencil, 4);
  EXPECT_EQ(Rgb(ReadPixel(400, 300)), 0x0000FFu);
}

TEST_F(RenderTextureTest, WithoutFramebufferObjectsNothingIsMade) {
  FakeExtensions("GL_ARB_vertex_buffer_object GL_ARB_multitexture GL_ARB_texture_cube_map");
  ASSERT_TRUE(InitExtensions());
  G::RenderTexture target;
  LogTail errors;
  EXPECT_FALSE(target.Create(64, 64, false));
  EXPECT_EQ(target.Record(), nullptr);
  EXPECT_FALSE(target.BeginRender(WholeTarget()));
  target.Set(0);
  target.EndRender();
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(RenderTextureTest, CubeFaceViews) {
  const Vector3 eye(1, 2, 3);
  struct Case {
    Vector3 direction, up;
    bool flipUp, flipRight;
  } cases[] = {
      {Vector3(1, 0, 0), Vector3(0, 1, 0), true, false},   {Vector3(-1, 0, 0), Vector3(0, -1, 0), true, true},
      {Vector3(0, 1, 0), Vector3(0, 0, 1), true, true},    {Vector3(0, -1, 0), Vector3(0, 0, -1), true, true},
      {Vector3(0, 0, -1), Vector3(0, 1, 0), true, false},  {Vector3(0, 0, 1), Vector3(0, 1, 0), true, false},
  };
  for (int face = 0; face < 6; ++face) {
    Matrix4 expected;
    Matrix4::LookAt(expected, eye, eye + cases[face].direction, cases[face].up, cases[face].flipUp,
                    cases[face].flipRight);
    const Matrix4 view = G::CubeFaceViewMatrix(face, eye);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(view.m[i], expected.m[i]) << face << " " << i;
  }
  const Matrix4 none = G::CubeFaceViewMatrix(6, eye);
  for (float value : none.m) EXPECT_EQ(value, 0.0f);
}

}  // namespace
