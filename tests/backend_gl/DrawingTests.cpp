// Clears, the viewport and 2D mode, render states, transforms and immediate
// mode, drawn on the back buffer and read back before the present.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdlib>

#include "DrawingSupport.h"
#include "GLTestSupport.h"
#include "backend_gl/GLExtensions.h"
#include "foundation/Maths.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"

namespace {

class DrawingTest : public GL2DTest {};

// The same triangle clockwise or anticlockwise on screen.
void Triangle(bool clockwise, float x, unsigned color) {
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor(color);
  G::IMPosition2(x, 100);
  if (clockwise) {
    G::IMPosition2(x + 100, 100);
    G::IMPosition2(x, 200);
  } else {
    G::IMPosition2(x, 200);
    G::IMPosition2(x + 100, 100);
  }
  G::IMEnd();
}

// Immediate mode writes its stack right after "  -call stack: " on the
// same line: that line is cut back to the heading.
std::string MaskInlineStacks(const std::string& text) {
  const std::string heading = "  -call stack: ";
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(pos, end - pos);
    if (line.compare(0, heading.size(), heading) == 0 && line != heading + "\n") line = heading + "\n";
    out += line;
    pos = end;
  }
  return MaskCallStacks(out);
}

bool Near(unsigned a, unsigned b, int tolerance = 2) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > tolerance) return false;
  }
  return true;
}

TEST_F(DrawingTest, ClearColoursArePackedAsAlphaRedGreenBlue) {
  struct Case {
    unsigned packed;
    unsigned rgb;
  } cases[] = {{0xFFFF0000u, 0xFF0000u}, {0xFF00FF00u, 0x00FF00u}, {0xFF0000FFu, 0x0000FFu}, {0xFF123456u, 0x123456u}};
  for (const Case& c : cases) {
    G::Clear(c.packed, true, true, false, 0);
    EXPECT_EQ(Rgb(ReadPixel(0, 0)), c.rgb) << std::hex << c.packed;
    EXPECT_EQ(Rgb(ReadPixel(799, 599)), c.rgb) << std::hex << c.packed;
  }
  // Depth only: the colour stays.
  G::Clear(0xFF00FF00u, false, true, false, 0);
  EXPECT_EQ(Rgb(ReadPixel(400, 300)), 0x123456u);
}

TEST_F(DrawingTest, ImmediateModeDrawsEachPrimitiveType) {
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor(0xFFFF0000u);
  G::IMPosition2(100, 100);
  G::IMPosition2(300, 100);
  G::IMPosition2(100, 300);
  G::IMEnd();
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(260, 260)), 0x000000u);

  // Float colours, each fan in one colour; and a colour per vertex,
  // interpolated between them.
  G::IMBegin(G::kPrimitiveTriangleFan);
  G::IMColor3(0, 1, 0);
  G::IMPosition2(400, 100);
  G::IMPosition2(500, 100);
  G::IMPosition2(500, 200);
  G::IMPosition2(400, 200);
  G::IMEnd();
  const float blue[4] = {0, 0, 1, 1};
  G::IMBegin(G::kPrimitiveTriangleFan);
  G::IMColor4(blue);
  G::IMPosition2(600, 100);
  G::IMPosition2(700, 100);
  G::IMPosition2(700, 200);
  G::IMPosition2(600, 200);
  G::IMEnd();
  EXPECT_EQ(Rgb(ReadPixel(450, 150)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(650, 150)), 0x0000FFu);
  G::IMBegin(G::kPrimitiveLines);
  G::IMColor(0xFFFF0000u);
  G::IMPosition2(100, 450.5f);
  G::IMColor(0xFF0000FFu);
  G::IMPosition2(301, 450.5f);
  G::IMEnd();
  EXPECT_TRUE(Near(Rgb(ReadPixel(200, 450)), 0x7F0080u, 3)) << std::hex << ReadPixel(200, 450);

  // Points and lines land on the pixels they name.
  G::IMBegin(G::kPrimitivePoints);
  G::IMColor(0xFFFFFF00u);
  G::IMPosition2(600.5f, 50.5f);
  G::IMEnd();
  EXPECT_EQ(Rgb(ReadPixel(600, 50)), 0xFFFF00u);
  G::IMBegin(G::kPrimitiveLines);
  G::IMColor(0xFF00FFFFu);
  G::IMPosition2(600, 400.5f);
  G::IMPosition2(700, 400.5f);
  G::IMEnd();
  EXPECT_EQ(Rgb(ReadPixel(650, 400)), 0x00FFFFu);
  EXPECT_EQ(Rgb(ReadPixel(650, 402)), 0x000000u);

  // A w coordinate reaches OpenGL: (x, y, z, 2) is the point (x/2, y/2).
  G::IMBegin(G::kPrimitivePoints);
  G::IMColor(0xFFFF00FFu);
  G::IMPosition4(201, 1001, 0, 2);
  G::IMEnd();
  EXPECT_EQ(Rgb(ReadPixel(100, 500)), 0xFF00FFu);
}

TEST_F(DrawingTest, ImmediateModeMisuseIsLogged) {
  LogTail errors;
  G::IMBegin(G::kPrimitivePoints);
  G::IMBegin(G::kPrimitivePoints);
  G::IMColor(0xFFFFFFFFu);
  G::IMPosition2(10.5f, 10.5f);
  G::IMEnd();
  G::IMEnd();
  EXPECT_EQ(MaskInlineStacks(errors.Text()),
            "IMBegin used.. but already inside a begin/end block.\n  -call stack: \n\n"
            "IMEnd called, but no matching IMBegin...\n  -call stack: \n\n");

  // A bad type is drawn as points.
  LogTail badType;
  G::IMBegin(static_cast<G::PrimitiveType>(7));
  G::IMColor(0xFF00FF00u);
  G::IMPosition2(20.5f, 20.5f);
  G::IMPosition2(30.5f, 20.5f);
  G::IMEnd();
  EXPECT_EQ(MaskCallStacks(badType.Text()), "Invalid primitive type given to IMBegin.\n  -call stack:\n\n");
  EXPECT_EQ(Rgb(ReadPixel(20, 20)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(25, 20)), 0x000000u);
  EXPECT_EQ(Rgb(ReadPixel(30, 20)), 0x00FF00u);

  // Out-of-range float colours are logged and used.
  LogTail range;
  G::IMBegin(G::kPrimitivePoints);
  G::IMColor4(2.0f, 0, 0, 1);
  G::IMPosition2(40.5f, 40.5f);
  G::IMEnd();
  EXPECT_EQ(MaskCallStacks(range.Text()), "Invalid float range for a color: 2\n  -call stack:\n\n");
  EXPECT_EQ(Rgb(ReadPixel(40, 40)), 0xFF0000u);
}

TEST_F(DrawingTest, TwoDModeCornersAndViewports) {
  G::IMBegin(G::kPrimitivePoints);
  G::IMColor(0xFFFF0000u);
  G::IMPosition2(0.5f, 0.5f);
  G::IMColor(0xFF00FF00u);
  G::IMPosition2(799.5f, 599.5f);
  G::IMEnd();
  EXPECT_EQ(Rgb(ReadPixel(0, 0)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(799, 599)), 0x00FF00u);

  // The interface's viewport has a top-left origin: OpenGL's y is turned.
  G::SetViewport(0, 0, 400, 300);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[1], 300);
  int x = -1, y = -1, width = -1, height = -1;
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(width, 400);
  EXPECT_EQ(height, 300);

  // 2D mode on the bottom-right quarter: its own corner is the origin.
  G::Clear(0xFF000000u, true, true, false, 0);
  G::Set2DMode(400, 300, 400, 300);
  DrawQuad(400, 300, 800, 600, 0xFF0000FFu);
  EXPECT_EQ(Rgb(ReadPixel(401, 301)), 0x0000FFu);
  EXPECT_EQ(Rgb(ReadPixel(798, 598)), 0x0000FFu);
  EXPECT_EQ(Rgb(ReadPixel(398, 298)), 0x000000u);
  EXPECT_EQ(Rgb(ReadPixel(600, 200)), 0x000000u);
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(x, 400);
  EXPECT_EQ(y, 300);
  // The viewport clips: a quad over the whole screen fills the quarter only.
  DrawQuad(0, 0, 800, 600, 0xFFFF0000u, -0.5f);
  EXPECT_EQ(Rgb(ReadPixel(200, 450)), 0x000000u);
}

TEST_F(DrawingTest, AlphaTestAndBlending) {
  // The defaults: alpha test "not equal 0", blending source alpha over
  // inverse source alpha.
  EXPECT_TRUE(G::GetRenderState(G::kStateAlphaTest));
  EXPECT_EQ(G::GetAlphaFunc(), G::kCompareNotEqual);
  EXPECT_EQ(G::GetAlphaRef(), 0.0f);
  DrawQuad(0, 0, 800, 600, 0xFF0000FFu);
  DrawQuad(100, 100, 200, 200, 0x80FF0000u);
  EXPECT_TRUE(Near(Rgb(ReadPixel(150, 150)), 0x80007Fu)) << std::hex << ReadPixel(150, 150);

  // Blending off: the alpha test alone keeps transparent texels out.
  G::SetRenderState(G::kStateAlphaBlend, false);
  EXPECT_FALSE(G::GetRenderState(G::kStateAlphaBlend));
  DrawQuad(300, 100, 400, 200, 0x00FF0000u);
  EXPECT_EQ(Rgb(ReadPixel(350, 150)), 0x0000FFu);
  G::SetAlphaFunc(G::kCompareAlways);
  DrawQuad(300, 100, 400, 200, 0x00FF0000u);
  EXPECT_EQ(Rgb(ReadPixel(350, 150)), 0xFF0000u);

  // A reference: "greater than 0.5" passes 0xC0 and stops 0x40.
  G::SetAlphaRef(0.5f);
  G::SetAlphaFunc(G::kCompareGreater);
  EXPECT_EQ(G::GetAlphaFunc(), G::kCompareGreater);
  EXPECT_FLOAT_EQ(G::GetAlphaRef(), 0.5f);
  DrawQuad(500, 100, 600, 200, 0x4000FF00u);
  DrawQuad(600, 100, 700, 200, 0xC000FF00u);
  EXPECT_EQ(Rgb(ReadPixel(550, 150)), 0x0000FFu);
  EXPECT_EQ(Rgb(ReadPixel(650, 150)), 0x00FF00u);
  G::SetRenderState(G::kStateAlphaTest, false);
  DrawQuad(500, 100, 600, 200, 0x4000FF00u);
  EXPECT_EQ(Rgb(ReadPixel(550, 150)), 0x00FF00u);

  // Additive blending.
  G::SetRenderState(G::kStateAlphaBlend, true);
  G::SetBlendFunc(G::kBlendOne, G::kBlendOne);
  DrawQuad(100, 300, 200, 400, 0xFFFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(150, 350)), 0xFF00FFu);
}

TEST_F(DrawingTest, DepthTestAndDepthWrites) {
  EXPECT_TRUE(G::GetRenderState(G::kStateDepthTest));
  EXPECT_TRUE(G::GetRenderState(G::kStateDepthWrite));
  EXPECT_EQ(G::GetDepthFunc(), G::kCompareLessEqual);
  // 2D mode maps z to depth (1 - z) / 2: larger z is nearer.
  DrawQuad(100, 100, 300, 300, 0xFF00FF00u, 0.5f);
  DrawQuad(200, 200, 400, 400, 0xFFFF0000u, -0.5f);
  EXPECT_EQ(Rgb(ReadPixel(250, 250)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(350, 350)), 0xFF0000u);

  G::SetDepthFunc(G::kCompareAlways);
  EXPECT_EQ(G::GetDepthFunc(), G::kCompareAlways);
  DrawQuad(200, 200, 400, 400, 0xFF0000FFu, -0.5f);
  EXPECT_EQ(Rgb(ReadPixel(250, 250)), 0x0000FFu);

  // Without depth writes a far quad leaves no mark in the depth buffer.
  G::SetDepthFunc(G::kCompareLessEqual);
  G::Clear(0xFF000000u, true, true, false, 0);
  G::SetRenderState(G::kStateDepthWrite, false);
  EXPECT_FALSE(G::GetRenderState(G::kStateDepthWrite));
  DrawQuad(100, 100, 300, 300, 0xFF00FF00u, 0.9f);
  G::SetRenderState(G::kStateDepthWrite, true);
  DrawQuad(100, 100, 300, 300, 0xFFFF0000u, 0.0f);
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0xFF0000u);

  // Depth test off.
  G::SetRenderState(G::kStateDepthTest, false);
  EXPECT_FALSE(G::GetRenderState(G::kStateDepthTest));
  DrawQuad(100, 100, 300, 300, 0xFF0000FFu, -0.9f);
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0x0000FFu);
  // Clear turns depth testing and writing on again.
  G::SetRenderState(G::kStateDepthWrite, false);
  G::Clear(0xFF000000u, true, true, false, 0);
  EXPECT_TRUE(G::GetRenderState(G::kStateDepthTest));
  EXPECT_TRUE(G::GetRenderState(G::kStateDepthWrite));
}

TEST_F(DrawingTest, CullModesHonourTheReverseFlag) {
  struct Case {
    G::CullMode mode;
    bool reverse;
    bool clockwiseDrawn, anticlockwiseDrawn;
    GLint frontFace;
  } cases[] = {
      {G::kCullCounterClockwise, false, true, false, GL_CW},
      {G::kCullClockwise, false, false, true, GL_CCW},
      {G::kCullNone, false, true, true, 0},
      {G::kCullCounterClockwise, true, false, true, GL_CCW},
      {G::kCullClockwise, true, true, false, GL_CW},
      {G::kCullNone, true, true, true, 0},
  };
  for (const Case& c : cases) {
    G::SetCullReverse(false);
    G::SetCullMode(c.mode);
    G::SetCullReverse(c.reverse);
    EXPECT_EQ(G::GetCullMode(), c.mode);
    if (c.frontFace) {
      GLint frontFace = 0;
      glGetIntegerv(GL_FRONT_FACE, &frontFace);
      EXPECT_EQ(frontFace, c.frontFace) << c.mode << c.reverse;
    }
    G::Clear(0xFF000000u, true, true, false, 0);
    Triangle(true, 100, 0xFFFF0000u);
    Triangle(false, 300, 0xFF00FF00u);
    EXPECT_EQ(Rgb(ReadPixel(120, 120)), c.clockwiseDrawn ? 0xFF0000u : 0u) << c.mode << c.reverse;
    EXPECT_EQ(Rgb(ReadPixel(320, 120)), c.anticlockwiseDrawn ? 0x00FF00u : 0u) << c.mode << c.reverse;
  }
  // Turning the flag back restores the front winding.
  G::SetCullReverse(false);
  G::SetCullMode(G::kCullCounterClockwise);
  G::SetCullReverse(true);
  G::SetCullReverse(false);
  GLint frontFace = 0;
  glGetIntegerv(GL_FRONT_FACE, &frontFace);
  EXPECT_EQ(frontFace, GL_CW);
  EXPECT_EQ(G::GetCullMode(), G::kCullCounterClockwise);
}

TEST_F(DrawingTest, WireframeAndColourWrites) {
  G::SetRenderState(G::kStateWireframe, true);
  EXPECT_TRUE(G::GetRenderState(G::kStateWireframe));
  DrawQuad(100, 100, 300, 300, 0xFFFF0000u);
  // Inside a triangle of the fan, away from its edges (the diagonal too).
  EXPECT_EQ(Rgb(ReadPixel(250, 150)), 0x000000u);
  EXPECT_EQ(Rgb(ReadPixel(250, 100)), 0xFF0000u);
  G::SetRenderState(G::kStateWireframe, false);
  EXPECT_FALSE(G::GetRenderState(G::kStateWireframe));
  DrawQuad(100, 100, 300, 300, 0xFFFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(250, 150)), 0xFF0000u);

  G::SetRenderState(G::kStateColorWrite, false);
  EXPECT_FALSE(G::GetRenderState(G::kStateColorWrite));
  GLboolean mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
  glGetBooleanv(GL_COLOR_WRITEMASK, mask);
  EXPECT_TRUE(!mask[0] && !mask[1] && !mask[2] && !mask[3]);
  DrawQuad(400, 100, 500, 200, 0xFF00FF00u, 0.5f);
  EXPECT_EQ(Rgb(ReadPixel(450, 150)), 0x000000u);
  G::SetRenderState(G::kStateColorWrite, true);
  EXPECT_TRUE(G::GetRenderState(G::kStateColorWrite));
  // The invisible quad still wrote depth.
  DrawQuad(400, 100, 500, 200, 0xFF0000FFu, 0.0f);
  EXPECT_EQ(Rgb(ReadPixel(450, 150)), 0x000000u);
}

TEST_F(DrawingTest, StatesReadBackFromOpenGL) {
  for (G::RenderStateIndex state : {G::kStateLighting, G::kStateStencil, G::kStateAlphaTest}) {
    G::SetRenderState(state, true);
    EXPECT_TRUE(G::GetRenderState(state)) << state;
    G::SetRenderState(state, false);
    EXPECT_FALSE(G::GetRenderState(state)) << state;
  }
  for (int f = 0; f < 8; ++f) {
    G::SetDepthFunc(static_cast<G::CompareFunc>(f));
    EXPECT_EQ(G::GetDepthFunc(), f);
    G::SetAlphaFunc(static_cast<G::CompareFunc>(f));
    EXPECT_EQ(G::GetAlphaFunc(), f);
    G::SetStencilFunc(static_cast<G::CompareFunc>(f), f + 1);
    EXPECT_EQ(G::GetStencilFunc(false), f);
  }
  for (int op = 0; op < 8; ++op) {
    const auto fail = static_cast<G::StencilOp>(op), zfail = static_cast<G::StencilOp>((op + 1) % 8),
               pass = static_cast<G::StencilOp>((op + 2) % 8);
    G::SetStencilOps(false, fail, zfail, pass);
    EXPECT_EQ(G::GetStencilFail(false), fail);
    EXPECT_EQ(G::GetStencilZFail(false), zfail);
    EXPECT_EQ(G::GetStencilPass(false), pass);
  }
  // Blend factors by their table.
  const GLint expected[][2] = {{GL_ZERO, GL_ONE}, {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR},
                               {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}, {GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA},
                               {GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR}};
  for (int i = 0; i < 5; ++i) {
    G::SetBlendFunc(static_cast<G::BlendFactor>(2 * i), static_cast<G::BlendFactor>(2 * i + 1));
    GLint source = 0, destination = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    EXPECT_EQ(source, expected[i][0]);
    EXPECT_EQ(destination, expected[i][1]);
  }
  G::SetBlendFunc(static_cast<G::BlendFactor>(10), static_cast<G::BlendFactor>(25));
  GLint source = 0;
  glGetIntegerv(GL_BLEND_SRC, &source);
  EXPECT_EQ(source, GL_SRC_ALPHA_SATURATE);
}

TEST_F(DrawingTest, TwoSidedStencilOnTheAtiPath) {
  // Mesa lists both extensions: the ATI one is used, the EXT state is
  // neither set nor read.
  ASSERT_TRUE(GLCapabilities.atiSeparateStencil);
  G::SetRenderState(G::kStateTwoSidedStencil, true);
  EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST_TWO_SIDE_EXT));
  G::SetRenderState(G::kStateTwoSidedStencil, false);
  EXPECT_TRUE(G::GetRenderState(G::kStateTwoSidedStencil));
  G::SetStencilOps(true, G::kStencilZero, G::kStencilInvert, G::kStencilReplace);
  G::SetStencilOps(false, G::kStencilKeep, G::kStencilKeep, G::kStencilIncrementWrap);
  GLint backFail = 0, backPass = 0;
  glGetIntegerv(GL_STENCIL_BACK_FAIL_ATI, &backFail);
  glGetIntegerv(GL_STENCIL_BACK_PASS_DEPTH_PASS_ATI, &backPass);
  EXPECT_EQ(backFail, GL_ZERO);
  EXPECT_EQ(backPass, GL_REPLACE);
  EXPECT_EQ(G::GetStencilPass(false), G::kStencilIncrementWrap);
}

TEST_F(DrawingTest, TwoSidedStencilOnTheExtPath) {
  // The reference reads back only as far as the stencil bits go.
  G::Setup setup = WindowedSetup();
  setup.stencil = true;
  Restart(setup, true);
  FakeExtensions("GL_ARB_vertex_buffer_object GL_ARB_multitexture GL_EXT_stencil_two_side GL_EXT_stencil_wrap");
  ASSERT_TRUE(InitExtensions());
  G::SetRenderState(G::kStateTwoSidedStencil, true);
  EXPECT_TRUE(glIsEnabled(GL_STENCIL_TEST_TWO_SIDE_EXT));
  EXPECT_TRUE(G::GetRenderState(G::kStateTwoSidedStencil));
  G::SetStencilOps(true, G::kStencilZero, G::kStencilInvert, G::kStencilReplace);
  G::SetStencilOps(false, G::kStencilKeep, G::kStencilDecrementWrap, G::kStencilIncrementSaturate);
  EXPECT_EQ(G::GetStencilFail(true), G::kStencilZero);
  EXPECT_EQ(G::GetStencilZFail(true), G::kStencilInvert);
  EXPECT_EQ(G::GetStencilPass(true), G::kStencilReplace);
  EXPECT_EQ(G::GetStencilZFail(false), G::kStencilDecrementWrap);
  EXPECT_EQ(G::GetStencilPass(false), G::kStencilIncrementSaturate);
  // One function and reference for both faces.
  G::SetStencilFunc(G::kCompareEqual, 3);
  EXPECT_EQ(G::GetStencilRef(true), 3);
  EXPECT_EQ(G::GetStencilFunc(true), G::kCompareEqual);
  EXPECT_EQ(G::GetStencilRef(false), 3);
  G::SetRenderState(G::kStateTwoSidedStencil, false);
  EXPECT_FALSE(G::GetRenderState(G::kStateTwoSidedStencil));
}

TEST_F(DrawingTest, StencilMasksWhatIsDrawn) {
  G::Setup setup = WindowedSetup();
  setup.stencil = true;
  Restart(setup, true);
  ASSERT_TRUE(G::HasStencilBuffer());
  G::Set2DMode(0, 0, 800, 600);
  G::Clear(0xFF000000u, true, true, true, 0);
  for (int reference = 0; reference < 4; ++reference) {
    G::SetStencilFunc(G::kCompareLess, reference);
    EXPECT_EQ(G::GetStencilRef(false), reference);
  }
  G::SetRenderState(G::kStateStencil, true);
  G::SetStencilFunc(G::kCompareAlways, 1);
  G::SetStencilOps(false, G::kStencilKeep, G::kStencilKeep, G::kStencilReplace);
  G::SetRenderState(G::kStateColorWrite, false);
  DrawQuad(100, 100, 200, 200, 0xFFFFFFFFu);
  G::SetRenderState(G::kStateColorWrite, true);
  G::SetStencilFunc(G::kCompareEqual, 1);
  G::SetStencilOps(false, G::kStencilKeep, G::kStencilKeep, G::kStencilKeep);
  G::SetRenderState(G::kStateDepthTest, false);
  DrawQuad(0, 0, 800, 600, 0xFFFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(250, 250)), 0x000000u);
  // Clearing the stencil to 1 opens the whole screen.
  G::Clear(0xFF000000u, true, true, true, 1);
  G::SetRenderState(G::kStateDepthTest, false);
  DrawQuad(0, 0, 800, 600, 0xFF00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(250, 250)), 0x00FF00u);
}

TEST_F(DrawingTest, TransformsLoadViewThenWorld) {
  const Matrix4 world(1, 0, 0, 2, 0, 2, 0, 3, 0, 0, 1, 4, 0, 0, 0, 1);
  Matrix4 view;
  Matrix4::LookAt(view, Vector3(1, 2, -5), Vector3(0, 0, 0), Vector3(0, 1, 0), false, false);
  float first[16], second[16];
  G::SetWorldMatrix(world);
  G::SetViewMatrix(view);
  glGetFloatv(GL_MODELVIEW_MATRIX, first);
  G::SetWorldMatrix(Matrix4::Identity());
  G::SetViewMatrix(view);
  G::SetWorldMatrix(world);
  glGetFloatv(GL_MODELVIEW_MATRIX, second);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(first[i], second[i]) << i;
  // OpenGL holds view x world for column vectors.
  Matrix4 product;
  Matrix4::Multiply(product, view, world);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(first[4 * c + r], product.m[4 * r + c], 1e-5f) << r << c;
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(G::GetViewMatrix().m[i], view.m[i]);
    EXPECT_EQ(G::GetWorldMatrix().m[i], world.m[i]);
  }
  Matrix4 projection;
  Matrix4::Perspective(projection, 3.14159265f / 4, 0.75f, 1, 100);
  G::SetProjectionMatrix(projection);
  float loaded[16];
  glGetFloatv(GL_PROJECTION_MATRIX, loaded);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(loaded[i], projection.m[i]);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(G::GetProjectionMatrix().m[i], projection.m[i]);
}

TEST_F(DrawingTest, APerspectiveSceneLandsWhereTheCameraLooks) {
  // Left-handed: from (0, 0, -5) looking at the origin, +x is right and +y up.
  Matrix4 view, projection;
  Matrix4::LookAt(view, Vector3(0, 0, -5), Vector3(0, 0, 0), Vector3(0, 1, 0), false, false);
  Matrix4::Perspective(projection, 3.14159265f / 4, 600.0f / 800.0f, 1, 100);
  G::SetViewport(0, 0, 800, 600);
  G::SetProjectionMatrix(projection);
  G::SetViewMatrix(view);
  G::SetWorldMatrix(Matrix4::Identity());
  G::SetCullMode(G::kCullNone);
  auto square = [](float cx, float cy, unsigned color) {
    G::IMBegin(G::kPrimitiveTriangleFan);
    G::IMColor(color);
    G::IMPosition3(cx - 0.2f, cy - 0.2f, 0);
    G::IMPosition3(cx + 0.2f, cy - 0.2f, 0);
    G::IMPosition3(cx + 0.2f, cy + 0.2f, 0);
    G::IMPosition3(cx - 0.2f, cy + 0.2f, 0);
    G::IMEnd();
  };
  square(1, 0, 0xFFFF0000u);
  square(0, 1, 0xFF00FF00u);
  // tan(pi/8) x 5 = 2.07 world units from the centre to the top edge.
  const float half = 5 * std::tan(3.14159265f / 8);
  const int right = static_cast<int>(400 + 300 * (1 / half));
  const int up = static_cast<int>(300 - 300 * (1 / half));
  EXPECT_EQ(Rgb(ReadPixel(right, 300)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(800 - right, 300)), 0x000000u);
  EXPECT_EQ(Rgb(ReadPixel(400, up)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(400, 600 - up)), 0x000000u);
}

}  // namespace
