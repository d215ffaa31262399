// The state indices, transforms and viewport as the device holds them, and
// what immediate mode, the states and 2D mode draw, read back by pixel.
#include "D3D9TestSupport.h"
#include "DrawingSupport.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"

namespace {

using RenderStateTest = D3D9Test;

DWORD Raw(D3DRENDERSTATETYPE state) {
  DWORD value = 0;
  DXG::g_d3d.device->GetRenderState(state, &value);
  return value;
}

TEST_F(RenderStateTest, OnOffStatesMapToTheDeviceStates) {
  struct Case {
    G::RenderStateIndex index;
    D3DRENDERSTATETYPE state;
    DWORD on, off;
  } cases[] = {
      {G::kStateDepthTest, D3DRS_ZENABLE, 1, 0},
      {G::kStateDepthWrite, D3DRS_ZWRITEENABLE, 1, 0},
      {G::kStateAlphaBlend, D3DRS_ALPHABLENDENABLE, 1, 0},
      {G::kStateAlphaTest, D3DRS_ALPHATESTENABLE, 1, 0},
      {G::kStateStencil, D3DRS_STENCILENABLE, 1, 0},
      {G::kStateLighting, D3DRS_LIGHTING, 1, 0},
      {G::kStateWireframe, D3DRS_FILLMODE, D3DFILL_WIREFRAME, D3DFILL_SOLID},
      {G::kStateColorWrite, D3DRS_COLORWRITEENABLE, 15, 0},
      {G::kStateTwoSidedStencil, D3DRS_TWOSIDEDSTENCILMODE, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(G::SetRenderState(c.index, true), D3D_OK);
    EXPECT_EQ(Raw(c.state), c.on);
    EXPECT_TRUE(G::GetRenderState(c.index));
    G::SetRenderState(c.index, false);
    EXPECT_EQ(Raw(c.state), c.off);
    EXPECT_FALSE(G::GetRenderState(c.index));
  }
  // Read back as on only in the exact on value.
  DXG::g_d3d.device->SetRenderState(D3DRS_FILLMODE, D3DFILL_POINT);
  EXPECT_FALSE(G::GetRenderState(G::kStateWireframe));
  DXG::g_d3d.device->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED);
  EXPECT_FALSE(G::GetRenderState(G::kStateColorWrite));
  DXG::g_d3d.device->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW);
  EXPECT_FALSE(G::GetRenderState(G::kStateDepthTest));
  EXPECT_NE(G::SetRenderState(static_cast<G::RenderStateIndex>(9), true), D3D_OK);
}

TEST_F(RenderStateTest, CompareFunctionsStencilOpsAndBlendFactorsMapBothWays) {
  const DWORD compare[8] = {D3DCMP_NEVER, D3DCMP_ALWAYS,    D3DCMP_EQUAL,   D3DCMP_NOTEQUAL,
                            D3DCMP_LESS,  D3DCMP_LESSEQUAL, D3DCMP_GREATER, D3DCMP_GREATEREQUAL};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    G::CompareFunc func = static_cast<G::CompareFunc>(i);
    G::SetDepthFunc(func);
    EXPECT_EQ(Raw(D3DRS_ZFUNC), compare[i]);
    EXPECT_EQ(G::GetDepthFunc(), func);
    G::SetAlphaFunc(func);
    EXPECT_EQ(Raw(D3DRS_ALPHAFUNC), compare[i]);
    EXPECT_EQ(G::GetAlphaFunc(), func);
    G::SetStencilFunc(func, 5 + i);
    EXPECT_EQ(Raw(D3DRS_STENCILFUNC), compare[i]);
    EXPECT_EQ(Raw(D3DRS_CCW_STENCILFUNC), compare[i]);
    EXPECT_EQ(G::GetStencilFunc(false), func);
    EXPECT_EQ(G::GetStencilFunc(true), func);
    EXPECT_EQ(G::GetStencilRef(false), 5 + i);
  }
  const DWORD ops[8] = {D3DSTENCILOP_KEEP,    D3DSTENCILOP_ZERO,    D3DSTENCILOP_REPLACE, D3DSTENCILOP_INCRSAT,
                        D3DSTENCILOP_INCR,    D3DSTENCILOP_DECRSAT, D3DSTENCILOP_DECR,    D3DSTENCILOP_INVERT};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    G::StencilOp a = static_cast<G::StencilOp>(i), b = static_cast<G::StencilOp>((i + 1) % 8),
                 c = static_cast<G::StencilOp>((i + 2) % 8);
    G::SetStencilOps(false, a, b, c);
    G::SetStencilOps(true, c, a, b);
    EXPECT_EQ(Raw(D3DRS_STENCILFAIL), ops[a]);
    EXPECT_EQ(Raw(D3DRS_STENCILZFAIL), ops[b]);
    EXPECT_EQ(Raw(D3DRS_STENCILPASS), ops[c]);
    EXPECT_EQ(Raw(D3DRS_CCW_STENCILFAIL), ops[c]);
    EXPECT_EQ(Raw(D3DRS_CCW_STENCILZFAIL), ops[a]);
    EXPECT_EQ(Raw(D3DRS_CCW_STENCILPASS), ops[b]);
    EXPECT_EQ(G::GetStencilFail(false), a);
    EXPECT_EQ(G::GetStencilZFail(false), b);
    EXPECT_EQ(G::GetStencilPass(false), c);
    EXPECT_EQ(G::GetStencilFail(true), c);
    EXPECT_EQ(G::GetStencilZFail(true), a);
    EXPECT_EQ(G::GetStencilPass(true), b);
  }
  // Values outside the tables read as the last entry.
  DXG::g_d3d.device->SetRenderState(D3DRS_ZFUNC, 0);
  EXPECT_EQ(G::GetDepthFunc(), G::kCompareGreaterEqual);
  DXG::g_d3d.device->SetRenderState(D3DRS_STENCILPASS, 0);
  EXPECT_EQ(G::GetStencilPass(false), G::kStencilInvert);

  const DWORD blend[12] = {D3DBLEND_ZERO,      D3DBLEND_ONE,          D3DBLEND_SRCCOLOR,   D3DBLEND_INVSRCCOLOR,
                           D3DBLEND_SRCALPHA,  D3DBLEND_INVSRCALPHA,  D3DBLEND_DESTALPHA,  D3DBLEND_INVDESTALPHA,
                           D3DBLEND_DESTCOLOR, D3DBLEND_INVDESTCOLOR, D3DBLEND_SRCALPHASAT, D3DBLEND_SRCALPHASAT};
  const int factors[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 42};
  for (int i = 0; i < 12; ++i) {
    SCOPED_TRACE(factors[i]);
    G::SetBlendFunc(static_cast<G::BlendFactor>(factors[i]), static_cast<G::BlendFactor>(factors[11 - i]));
    EXPECT_EQ(Raw(D3DRS_SRCBLEND), blend[i]);
    EXPECT_EQ(Raw(D3DRS_DESTBLEND), blend[11 - i]);
  }
}

TEST_F(RenderStateTest, CullReverseExchangesTheCulledWindingButNotTheMode) {
  struct Case {
    G::CullMode mode;
    bool reverse;
    DWORD device;
  } cases[] = {
      {G::kCullCounterClockwise, false, D3DCULL_CCW}, {G::kCullClockwise, false, D3DCULL_CW},
      {G::kCullNone, false, D3DCULL_NONE},            {G::kCullCounterClockwise, true, D3DCULL_CW},
      {G::kCullClockwise, true, D3DCULL_CCW},         {G::kCullNone, true, D3DCULL_NONE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.reverse);
    G::SetCullReverse(c.reverse);
    G::SetCullMode(c.mode);
    EXPECT_EQ(Raw(D3DRS_CULLMODE), c.device);
    EXPECT_EQ(G::GetCullMode(), c.mode);
  }
  G::SetCullReverse(false);
  G::SetCullMode(G::kCullClockwise);
  G::SetCullReverse(true);
  EXPECT_EQ(G::GetCullMode(), G::kCullClockwise);
  EXPECT_EQ(Raw(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
}

TEST_F(RenderStateTest, AlphaReferenceAndStencilReference) {
  G::SetAlphaRef(0.5f);
  EXPECT_EQ(Raw(D3DRS_ALPHAREF), 127u);
  EXPECT_FLOAT_EQ(G::GetAlphaRef(), 127.0f / 255.0f);
  G::SetStencilFunc(G::kCompareEqual, 9);
  LogTail log;
  EXPECT_EQ(G::GetStencilRef(true), 1);
  EXPECT_EQ(log.Text(), "stencil ref on back face not a valid thing.\n");
  EXPECT_EQ(G::GetStencilRef(false), 9);
}

TEST_F(RenderStateTest, ViewAndWorldCrossTransposedTheProjectionAsItIs) {
  const Matrix4 m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  struct Case {
    long (*set)(const Matrix4&);
    Matrix4 (*get)();
    D3DTRANSFORMSTATETYPE state;
    bool transposed;
  } cases[] = {
      {&G::SetViewMatrix, &G::GetViewMatrix, D3DTS_VIEW, true},
      {&G::SetWorldMatrix, &G::GetWorldMatrix, D3DTS_WORLDMATRIX(0), true},
      {&G::SetProjectionMatrix, &G::GetProjectionMatrix, D3DTS_PROJECTION, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    c.set(m);
    D3DMATRIX raw;
    DXG::g_d3d.device->GetTransform(c.state, &raw);
    for (int r = 0; r < 4; ++r)
      for (int col = 0; col < 4; ++col) EXPECT_EQ(raw.m[r][col], c.transposed ? m[col][r] : m[r][col]);
    Matrix4 back = c.get();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(back.m[i], m.m[i]);
  }
}

TEST_F(RenderStateTest, ViewportRoundTrip) {
  G::SetViewport(10, 20, 100, 50);
  int x, y, w, h;
  G::GetViewport(x, y, w, h);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 50);
  D3DVIEWPORT9 raw;
  DXG::g_d3d.device->GetViewport(&raw);
  EXPECT_EQ(raw.MinZ, 0.0f);
  EXPECT_EQ(raw.MaxZ, 1.0f);
}

TEST_F(RenderStateTest, WithoutADeviceStatesAreRefusedAndReadAsZero) {
  G::Shutdown();
  EXPECT_NE(G::SetRenderState(G::kStateDepthTest, true), D3D_OK);
  EXPECT_FALSE(G::GetRenderState(G::kStateDepthTest));
  EXPECT_NE(G::SetCullMode(G::kCullNone), D3D_OK);
  EXPECT_NE(G::SetWorldMatrix(Matrix4::Identity()), D3D_OK);
  EXPECT_EQ(G::GetWorldMatrix().m[0], 0.0f);
  EXPECT_NE(G::RenderTris(1, 0), D3D_OK);
  int x = 1, y = 1, width = 1, height = 1;
  G::GetViewport(x, y, width, height);
  EXPECT_EQ(width, 0);
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMPosition2(0, 0);
  G::IMPosition2(1, 0);
  G::IMPosition2(0, 1);
  G::IMEnd();
  EXPECT_TRUE(G::g_immediateVertices.empty());
}

// ---- Drawing ---------------------------------------------------------------

class DrawTest : public D3D9Test {
 protected:
  void SetUp() override {
    D3D9Test::SetUp();
    BeginClearedFrame(0xFF000000);
    G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
    G::UnsetTexture(0);
    G::UnbindShader();
    G::SetCullMode(G::kCullNone);
  }
};

TEST_F(DrawTest, ImmediateModeDrawsEachPrimitiveType) {
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor(0xFFFF0000);
  G::IMPosition2(10, 10);
  G::IMPosition2(60, 10);
  G::IMPosition2(10, 60);
  G::IMEnd();
  DrawQuad(100, 10, 150, 60, 0xFF00FF00);
  G::IMBegin(G::kPrimitiveLines);
  G::IMColor3(0, 0, 1);
  G::IMPosition2(10, 100);
  G::IMPosition2(200, 100);
  G::IMEnd();
  G::IMBegin(G::kPrimitivePoints);
  G::IMColor4(1, 1, 1, 1);
  G::IMPosition2(250, 150);
  G::IMEnd();
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 15, 15, 0xFF0000));
  EXPECT_TRUE(PixelIs(image, 55, 55, 0x000000)) << "the other half of the triangle's box";
  EXPECT_TRUE(PixelIs(image, 125, 35, 0x00FF00));
  EXPECT_TRUE(PixelIs(image, 100, 100, 0x0000FF));
  EXPECT_TRUE(PixelIs(image, 100, 102, 0x000000));
  EXPECT_TRUE(PixelIs(image, 250, 150, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(image, 252, 152, 0x000000));
}

TEST_F(DrawTest, IncompletePrimitivesAreLeftOut) {
  // Seven vertices of a triangle list: two triangles, the seventh ignored.
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor(0xFFFFFFFF);
  const float xs[3] = {10, 110, 210};
  for (float x : xs) {
    G::IMPosition2(x, 10);
    G::IMPosition2(x + 80, 10);
    if (x < 200) G::IMPosition2(x, 90);
  }
  G::IMEnd();
  // A fan of two vertices draws nothing.
  G::IMBegin(G::kPrimitiveTriangleFan);
  G::IMPosition2(10, 150);
  G::IMPosition2(100, 150);
  G::IMEnd();
  LogTail log;
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 20, 20, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(image, 120, 20, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(image, 220, 12, 0x000000));
  EXPECT_EQ(log.Text(), "");
}

TEST_F(DrawTest, ImmediateModeMisuseIsLogged) {
  {
    LogTail log;
    G::IMEnd();
    EXPECT_EQ(log.Text(), "IMEnd used, but am not within a begin/end block.\n");
  }
  {
    LogTail log;
    G::IMBegin(static_cast<G::PrimitiveType>(4));
    EXPECT_EQ(MaskCallStacks(log.Text()), "bad primType passed ts IMBegin...\n  -call stack:\n\n");
  }
  // A second IMBegin inside a block keeps the first block and its type.
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor(0xFF00FFFF);
  G::IMPosition2(10, 10);
  G::IMPosition2(90, 10);
  {
    LogTail log;
    G::IMBegin(G::kPrimitivePoints);
    EXPECT_EQ(MaskCallStacks(log.Text()), "IMBegin used... but already inside a begin/end block.\n  -call stack:\n\n");
  }
  G::IMPosition2(10, 90);
  G::IMEnd();
  {
    LogTail log;
    G::IMBegin(G::kPrimitiveTriangles);
    G::IMColor4(1.5f, 0, 0, 1);
    G::IMPosition4(1, 2, 3, 4);
    EXPECT_EQ(G::g_immediateVertices.back().color, 0xFF7E0000u) << "382 wraps to its low 8 bits";
    EXPECT_EQ(G::g_immediateVertices.back().position[2], 3.0f);
    G::IMEnd();
    EXPECT_EQ(MaskCallStacks(log.Text()),
              "Invalid float range for a color: 1.5\n  -call stack:\n\n"
              "Warning: IMPosition4 not correctly implemented correctly for D3D yet.\n");
  }
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 20, 20, 0x00FFFF));
}

TEST_F(DrawTest, AttributesFollowTheCallsAndIMBeginResetsThem) {
  G::IMNormal(1, 2, 3);
  G::IMTexCoord4(5, 6, 7, 8);
  G::IMBegin(G::kPrimitivePoints);
  G::IMPosition2(1, 1);
  const G::IMVertex& reset = G::g_immediateVertices.back();
  EXPECT_EQ(reset.color, 0xFFFFFFFFu);
  EXPECT_EQ(reset.normal[2], 0.0f);
  EXPECT_EQ(reset.texCoord[3], 0.0f);
  G::IMTexCoord4(5, 6, 7, 8);
  G::IMTexCoord2(1, 2);
  G::IMPosition2(1, 1);
  EXPECT_EQ(G::g_immediateVertices.back().texCoord[2], 7.0f);
  G::IMTexCoord1(9);
  G::IMPosition2(1, 1);
  EXPECT_EQ(G::g_immediateVertices.back().texCoord[1], 0.0f);
  const float uvw[3] = {1, 2, 3};
  G::IMTexCoord3(uvw);
  G::IMColor3(0, 1, 0);
  G::IMPosition2(1, 1);
  EXPECT_EQ(G::g_immediateVertices.back().texCoord[3], 1.0f);
  EXPECT_EQ(G::g_immediateVertices.back().color, 0xFF00FF00u);
  G::IMEnd();
  EXPECT_TRUE(G::g_immediateVertices.empty());
}

TEST_F(DrawTest, AlphaTestAndBlending) {
  // Defaults: alpha test "not equal 0", blending source alpha over the rest.
  DrawQuad(0, 0, 320, 240, 0xFF0000FF);
  DrawQuad(10, 10, 60, 60, 0x00FF0000);
  DrawQuad(70, 10, 120, 60, 0x80FF0000);
  G::SetAlphaFunc(G::kCompareGreater);
  G::SetAlphaRef(0.5f);
  DrawQuad(130, 10, 180, 60, 0x70FFFFFF);
  DrawQuad(190, 10, 240, 60, 0x90FFFFFF);
  G::SetBlendFunc(G::kBlendOne, G::kBlendOne);
  G::SetRenderState(G::kStateAlphaTest, false);
  DrawQuad(250, 10, 300, 60, 0x0000FF00);
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 30, 30, 0x0000FF)) << "alpha 0 is tested away";
  EXPECT_TRUE(PixelIs(image, 90, 30, 0x80007F));
  EXPECT_TRUE(PixelIs(image, 150, 30, 0x0000FF)) << "0x70 is not above 127";
  EXPECT_TRUE(PixelIs(image, 210, 30, 0x9090FF));
  EXPECT_TRUE(PixelIs(image, 270, 30, 0x00FFFF)) << "added";
}

TEST_F(DrawTest, DepthTestAndDepthWrite) {
  // 2D mode maps z to -z: depths are given as negative z.
  DrawQuad(10, 10, 100, 100, 0xFFFF0000, -0.25f);
  DrawQuad(50, 50, 150, 150, 0xFF00FF00, -0.75f);
  G::SetRenderState(G::kStateDepthWrite, false);
  DrawQuad(160, 10, 250, 100, 0xFFFF0000, -0.25f);
  DrawQuad(200, 50, 300, 150, 0xFF00FF00, -0.75f);
  G::SetRenderState(G::kStateDepthTest, false);
  DrawQuad(10, 160, 100, 230, 0xFF0000FF, -0.25f);
  DrawQuad(10, 170, 100, 230, 0xFFFFFFFF, -0.75f);
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 75, 75, 0xFF0000)) << "the farther quad stays behind";
  EXPECT_TRUE(PixelIs(image, 225, 75, 0x00FF00)) << "no depth written";
  EXPECT_TRUE(PixelIs(image, 50, 200, 0xFFFFFF)) << "no depth test";
}

TEST_F(DrawTest, CullModesWithCullReverse) {
  // Clockwise on screen, then counter-clockwise, in each row.
  auto triangles = [](float y) {
    G::IMBegin(G::kPrimitiveTriangles);
    G::IMColor(0xFFFFFFFF);
    G::IMPosition2(10, y);
    G::IMPosition2(50, y);
    G::IMPosition2(10, y + 30);
    G::IMPosition2(60, y);
    G::IMPosition2(60, y + 30);
    G::IMPosition2(100, y);
    G::IMEnd();
  };
  struct Case {
    G::CullMode mode;
    bool reverse;
    bool clockwiseShown, counterShown;
  } cases[] = {
      {G::kCullCounterClockwise, false, true, false}, {G::kCullClockwise, false, false, true},
      {G::kCullNone, false, true, true},              {G::kCullCounterClockwise, true, false, true},
      {G::kCullClockwise, true, true, false},
  };
  float y = 5;
  for (const Case& c : cases) {
    G::SetCullReverse(c.reverse);
    G::SetCullMode(c.mode);
    triangles(y);
    y += 40;
  }
  G::SetCullReverse(false);
  Image image = FinishFrame();
  y = 5;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.reverse);
    EXPECT_TRUE(PixelIs(image, 15, static_cast<int>(y) + 5, c.clockwiseShown ? 0xFFFFFF : 0));
    EXPECT_TRUE(PixelIs(image, 62, static_cast<int>(y) + 5, c.counterShown ? 0xFFFFFF : 0));
    y += 40;
  }
}

TEST_F(DrawTest, WireframeAndColourWrite) {
  // A list, not a fan: Wine fills fans whatever the fill mode.
  G::SetRenderState(G::kStateWireframe, true);
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor(0xFFFFFF00);
  G::IMPosition2(20, 20);
  G::IMPosition2(100, 20);
  G::IMPosition2(20, 100);
  G::IMEnd();
  G::SetRenderState(G::kStateWireframe, false);
  G::SetRenderState(G::kStateColorWrite, false);
  DrawQuad(150, 20, 250, 100, 0xFFFFFFFF);
  G::SetRenderState(G::kStateColorWrite, true);
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 40, 40, 0x000000)) << "no fill";
  EXPECT_TRUE(PixelIs(image, 60, 20, 0xFFFF00)) << "the top edge";
  EXPECT_TRUE(PixelIs(image, 200, 60, 0x000000)) << "no colour written";
}

TEST_F(DrawTest, TwoDModeMapsScreenPixelsAndClipsToItsRectangle) {
  DrawQuad(0, 0, 320, 240, 0xFF808080);
  G::Set2DMode(100, 50, 80, 60);
  DrawQuad(0, 0, 320, 240, 0xFFFF0000);
  DrawQuad(100, 50, 110, 60, 0xFF00FF00);
  DrawQuad(170, 100, 180, 110, 0xFF0000FF);
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 0, 0, 0x808080));
  EXPECT_TRUE(PixelIs(image, 319, 239, 0x808080));
  EXPECT_TRUE(PixelIs(image, 99, 49, 0x808080));
  EXPECT_TRUE(PixelIs(image, 100, 50, 0x00FF00)) << "the rectangle's top-left pixel";
  EXPECT_TRUE(PixelIs(image, 179, 109, 0x0000FF)) << "its bottom-right pixel";
  EXPECT_TRUE(PixelIs(image, 140, 80, 0xFF0000));
  EXPECT_TRUE(PixelIs(image, 180, 110, 0x808080));
  EXPECT_TRUE(PixelIs(image, 100, 110, 0x808080));
}

}  // namespace
