// Points, lines, coloured quads and sprites, as the null backend sees them.
#include <cmath>

#include "GraphicsFixture.h"
#include "graphics/Primitives.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"
#include "graphics/Texture.h"

namespace {

using Primitives = GraphicsTest;
using NullBackend::DrawBlock;

const DrawBlock& OnlyBlock() {
  EXPECT_EQ(NullBackend::DrawnBlocks().size(), 1u);
  return NullBackend::DrawnBlocks().back();
}

void ExpectVertex(const G::IMVertex& v, float x, float y, unsigned color) {
  EXPECT_FLOAT_EQ(v.position[0], x);
  EXPECT_FLOAT_EQ(v.position[1], y);
  EXPECT_EQ(v.color, color);
}

TEST_F(Primitives, TwoDimensionalFormsSwitchDepthTestingOffAndRestoreIt) {
  for (bool depthWas : {true, false}) {
    G::SetRenderState(G::kStateDepthTest, depthWas);
    NullBackend::ClearCalls();
    NullBackend::ClearDrawnBlocks();
    G::DrawPoint2D(3, 4, 0xFF112233);
    EXPECT_EQ(NullBackend::CallText(), std::string("UnbindShader\nUnsetTexture(0)\nSetRenderState(0,0)\nIMBegin(0)\n"
                                                   "IMEnd\nSetRenderState(0,") +
                                           (depthWas ? "1" : "0") + ")\n");
    EXPECT_FALSE(OnlyBlock().depthTest);
    EXPECT_EQ(G::GetRenderState(G::kStateDepthTest), depthWas);
  }
}

TEST_F(Primitives, PointsAndLines) {
  G::SetRenderState(G::kStateDepthTest, true);
  G::DrawLine2D(1, 2, 0xFFFF0000, 5, 6, 0xFF0000FF);
  G::DrawPoint3D(1, 2, 3, 0x80FFFFFF);
  G::DrawLine3D(0, 0, 0, 0xFF000000, 1, 1, 1, 0xFFFFFFFF);
  const auto& blocks = NullBackend::DrawnBlocks();
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].type, G::kPrimitiveLines);
  EXPECT_FALSE(blocks[0].depthTest);
  ExpectVertex(blocks[0].vertices[0], 1, 2, 0xFFFF0000);
  ExpectVertex(blocks[0].vertices[1], 5, 6, 0xFF0000FF);
  // The 3D forms leave depth testing alone.
  EXPECT_EQ(blocks[1].type, G::kPrimitivePoints);
  EXPECT_TRUE(blocks[1].depthTest);
  EXPECT_FLOAT_EQ(blocks[1].vertices[0].position[2], 3);
  EXPECT_EQ(blocks[2].type, G::kPrimitiveLines);
  EXPECT_TRUE(blocks[2].depthTest);
  EXPECT_EQ(blocks[2].vertices[1].color, 0xFFFFFFFFu);
  for (const DrawBlock& block : blocks) {
    EXPECT_EQ(block.texture0, nullptr);
    EXPECT_EQ(block.shader, nullptr);
  }
}

TEST_F(Primitives, ColoredQuadIsAFanAroundItsAverageColour) {
  // One opaque black corner and three opaque blue ones: blue 765 / 4 = 191.
  G::DrawQuadColored(10, 20, 100, 50, 0xFF000000, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF);
  const DrawBlock& block = OnlyBlock();
  EXPECT_EQ(block.type, G::kPrimitiveTriangleFan);
  ASSERT_EQ(block.vertices.size(), 6u);
  ExpectVertex(block.vertices[0], 60, 45, 0xFF0000BF);
  ExpectVertex(block.vertices[1], 10, 20, 0xFF000000);
  ExpectVertex(block.vertices[2], 110, 20, 0xFF0000FF);
  ExpectVertex(block.vertices[3], 110, 70, 0xFF0000FF);  // bottom-right
  ExpectVertex(block.vertices[4], 10, 70, 0xFF0000FF);   // bottom-left
  ExpectVertex(block.vertices[5], 10, 20, 0xFF000000);

  NullBackend::ClearDrawnBlocks();
  G::DrawQuadColored(0, 0, 1, 1, 0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10);
  EXPECT_EQ(OnlyBlock().vertices[0].color, 0x0708090Au);
}

TEST_F(Primitives, SpritesCoverTheTextureWithWhiteOfTheGivenOpacity) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(64, 32, G::kTextureRGBA, 1, false));
  struct Case {
    float alpha;
    unsigned color;
  } cases[] = {{1.0f, 0xFFFFFFFF}, {2.0f, 0xFFFFFFFF}, {0.5f, 0x7FFFFFFF}, {-1.0f, 0x00FFFFFF}, {0.0f, 0x00FFFFFF}};
  for (const Case& c : cases) {
    NullBackend::ClearDrawnBlocks();
    G::DrawSprite(100, 200, texture, c.alpha);
    const DrawBlock& block = OnlyBlock();
    EXPECT_EQ(block.texture0, texture.Record());
    EXPECT_EQ(block.type, G::kPrimitiveTriangleFan);
    ASSERT_EQ(block.vertices.size(), 4u);
    ExpectVertex(block.vertices[0], 100.005f, 200.005f, c.color);
    ExpectVertex(block.vertices[1], 164.005f, 200.005f, c.color);
    ExpectVertex(block.vertices[2], 164.005f, 232.005f, c.color);
    ExpectVertex(block.vertices[3], 100.005f, 232.005f, c.color);
  }
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(OnlyBlock().vertices[i].texCoord[0], uv[i][0]);
    EXPECT_EQ(OnlyBlock().vertices[i].texCoord[1], uv[i][1]);
  }
  EXPECT_FALSE(OnlyBlock().depthTest);
}

TEST_F(Primitives, StretchedSpritesDrawWithoutCullingAndRestoreIt) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(16, 16, G::kTextureRGBA, 1, false));
  G::SetCullMode(G::kCullClockwise);
  G::DrawSpriteStretchedColored(10, 10, 5, 30, texture, 1, 2, 3, 4);
  const DrawBlock& block = OnlyBlock();
  EXPECT_EQ(block.cullMode, G::kCullNone);
  EXPECT_EQ(G::GetCullMode(), G::kCullClockwise);
  ExpectVertex(block.vertices[0], 10.005f, 10.005f, 1);
  ExpectVertex(block.vertices[1], 5.005f, 10.005f, 2);
  ExpectVertex(block.vertices[2], 5.005f, 30.005f, 3);
  ExpectVertex(block.vertices[3], 10.005f, 30.005f, 4);
}

TEST_F(Primitives, RotatedSpritesTurnAboutTheirCentre) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(32, 16, G::kTextureRGBA, 1, false));
  G::DrawSpriteRotated(100, 50, 0, 2, texture, 1);  // no 0.005 offset
  ExpectVertex(OnlyBlock().vertices[0], 68, 34, 0xFFFFFFFF);
  ExpectVertex(OnlyBlock().vertices[2], 132, 66, 0xFFFFFFFF);
  NullBackend::ClearDrawnBlocks();
  // A quarter turn: the top-left offset (-16, -8) becomes (8, -16).
  G::DrawSpriteRotatedColored(100, 50, 1.5707963f, 1, texture, 1, 2, 3, 4);
  const DrawBlock& block = OnlyBlock();
  EXPECT_NEAR(block.vertices[0].position[0], 108, 1e-4);
  EXPECT_NEAR(block.vertices[0].position[1], 34, 1e-4);
  EXPECT_NEAR(block.vertices[2].position[0], 92, 1e-4);
  EXPECT_NEAR(block.vertices[2].position[1], 66, 1e-4);
  EXPECT_EQ(block.vertices[3].color, 4u);
}

// Without a record, or with one of type FREE, every sprite form refuses.
TEST_F(Primitives, BlankTexturesDrawNothing) {
  G::Texture none;
  G::Texture freed;
  ASSERT_TRUE(freed.Create(8, 8, G::kTextureRGBA, 1, false));
  freed.Record()->type = G::kTextureFree;
  const std::string refusal = "Error: Attempt to draw using a blank texture.\n  -call stack:\n\n";
  for (const G::Texture* blank : {&none, &freed}) {
    const std::string what = blank == &none ? "no record" : "type FREE";
    NullBackend::ClearCalls();
    LogTail log;
    G::DrawSprite(0, 0, *blank, 1);
    G::DrawSpriteStretched(0, 0, 4, 4, *blank, 1);
    G::DrawSpriteStretchedColored(0, 0, 4, 4, *blank, 1, 2, 3, 4);
    G::DrawSpriteRotated(0, 0, 1, 1, *blank, 1);
    G::DrawSpriteRotatedColored(0, 0, 1, 1, *blank, 1, 2, 3, 4);
    EXPECT_TRUE(NullBackend::DrawnBlocks().empty()) << what;
    EXPECT_EQ(NullBackend::CallText().find("Texture::Set"), std::string::npos) << what;
    EXPECT_EQ(MaskCallStacks(log.Text()), refusal + refusal + refusal + refusal + refusal) << what;
  }
}

TEST_F(Primitives, RenderTexturesDrawAtTheirSize) {
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(128, 64, false));
  G::SetRenderState(G::kStateDepthTest, true);
  G::DrawRenderTexture(10, 20, target, 0.5f);
  const DrawBlock& block = OnlyBlock();
  EXPECT_EQ(block.renderTexture0, target.Record());
  EXPECT_TRUE(block.depthTest);  // left alone
  ExpectVertex(block.vertices[2], 138.005f, 84.005f, 0x7FFFFFFF);

  NullBackend::ClearDrawnBlocks();
  G::RenderTexture none;
  G::DrawRenderTexture(10, 20, none, 1);
  ExpectVertex(OnlyBlock().vertices[2], 10.005f, 20.005f, 0xFFFFFFFF);
}

}  // namespace
