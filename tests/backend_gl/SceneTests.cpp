// A whole frame through the shared code on the OpenGL backend: a gradient,
// a lit cube from buffers through the item shader, a sprite and a text,
// checked by pixel and saved as scene.png for a person to look at.
#include <cmath>
#include <cstring>

#include "GLTestSupport.h"
#include "ImageFiles.h"
#include "foundation/Maths.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Font.h"
#include "graphics/LoadedImage.h"
#include "graphics/Primitives.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"
#include "graphics/Text.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace {

struct LitVertex {
  float position[3];
  float normal[3];
  unsigned color;
};

// A unit cube, four vertices a face (so each face has its own normal),
// faces wound clockwise seen from outside.
void MakeCube(G::VertexBuffer& vertices, G::IndexBuffer& indices) {
  const G::VertexFormat format = {
      {G::kFloat3, G::kUsePosition}, {G::kFloat3, G::kUseNormal}, {G::kPackedColor, G::kUseColor}};
  ASSERT_TRUE(vertices.Create(24, format, sizeof(LitVertex), false, true));
  ASSERT_TRUE(indices.Create(36, false, true));
  const float normals[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  const unsigned colours[6] = {0xFFE04040u, 0xFF40E040u, 0xFF4040E0u, 0xFFE0E040u, 0xFF40E0E0u, 0xFFE040E0u};
  G::VertexBufferLock vertexLock(vertices, false);
  G::IndexBufferLock indexLock(indices, false);
  void* vertexData = nullptr;
  void* indexData = nullptr;
  ASSERT_TRUE(vertexLock.GetData(&vertexData));
  ASSERT_TRUE(indexLock.GetData(&indexData));
  LitVertex* v = static_cast<LitVertex*>(vertexData);
  unsigned short* index = static_cast<unsigned short*>(indexData);
  for (int face = 0; face < 6; ++face) {
    const Vector3 n(normals[face][0], normals[face][1], normals[face][2]);
    // Two axes across the face; the corners go round so that the face is
    // clockwise on screen when seen from outside (the front winding of the
    // default cull mode).
    const Vector3 helper = std::abs(n.y) > 0.5f ? Vector3(1, 0, 0) : Vector3(0, 1, 0);
    const Vector3 u = Vector3::Cross(helper, n);
    const Vector3 w = Vector3::Cross(n, u);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int c = 0; c < 4; ++c) {
      const Vector3 p = n * 0.5f + u * (corners[c][0] * 0.5f) + w * (corners[c][1] * 0.5f);
      LitVertex& out = v[face * 4 + c];
      out.position[0] = p.x;
      out.position[1] = p.y;
      out.position[2] = p.z;
      std::memcpy(out.normal, normals[face], sizeof out.normal);
      out.color = colours[face];
    }
    const unsigned short base = static_cast<unsigned short>(face * 4);
    const unsigned short quad[6] = {base, static_cast<unsigned short>(base + 1), static_cast<unsigned short>(base + 2),
                                    base, static_cast<unsigned short>(base + 2), static_cast<unsigned short>(base + 3)};
    std::memcpy(index + face * 6, quad, sizeof quad);
  }
}

class SceneTest : public GLTest {
 protected:
  static void SetUpTestSuite() { G::InitImageLoader(); }
  static void TearDownTestSuite() { G::ShutdownImageLoader(); }
};

TEST_F(SceneTest, AFrameOfTheSharedCodeDrawsAndIsSaved) {
  ASSERT_TRUE(DXG::BeginFrame(0.016f, true, true));
  G::Clear(0xFF000000u, true, true, false, 0);

  // Background.
  G::Set2DModeFullScreen();
  G::DrawQuadColored(0, 0, 800, 600, 0xFF102040u, 0xFF102040u, 0xFF402060u, 0xFF402060u);

  // A lit cube through the item shader.
  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  MakeCube(vertices, indices);
  G::Shader items;
  ASSERT_TRUE(items.Load("data\\shaders\\simple", ""));
  Matrix4 view, projection;
  Matrix4::LookAt(view, Vector3(2.6f, 2.0f, 2.4f), Vector3(0, 0, 0), Vector3(0, 0, 1), false, false);
  Matrix4::Perspective(projection, 3.14159265f / 4, 600.0f / 800.0f, 1, 100);
  G::SetFullViewport();
  G::SetProjectionMatrix(projection);
  G::SetViewMatrix(view);
  G::SetWorldMatrix(Matrix4::Identity());
  G::SetCullMode(G::kCullCounterClockwise);
  G::Clear(0, false, true, false, 0);
  G::UnsetTexture(0);
  vertices.Set();
  indices.Set();
  items.Set();
  G::RenderIndTris(12);
  G::UnbindShader();

  // A sprite of a generated image, and a text.
  std::vector<unsigned> pixels(64 * 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) pixels[y * 64 + x] = ((x / 16 + y / 16) % 2) ? 0xFFFFC040u : 0xC0204080u;
  WritePngRgba("scene_sprite.png", 64, 64, pixels);
  G::Texture sprite;
  ASSERT_TRUE(sprite.Load("scene_sprite.png", G::kTextureFileFormat, false, false));
  G::Set2DModeFullScreen();
  G::DrawSprite(40, 40, sprite, 1.0f);
  G::Text label("Quorvex - OpenGL");
  label.SetSize(32);
  label.SetPosition(40, 520);
  label.SetColor(0xFFFFFFFFu);
  label.Draw();

  const std::vector<unsigned> frame = ReadPixels(0, 0, 800, 600);
  DXG::EndFrame0();
  std::vector<unsigned> opaque(frame);
  for (unsigned& p : opaque) p |= 0xFF000000u;
  WritePngRgba("scene.png", 800, 600, opaque);
  DXG::EndFrame1();

  auto at = [&](int x, int y) { return Rgb(frame[static_cast<size_t>(y) * 800 + x]); };
  EXPECT_EQ(at(5, 5), 0x102040u);
  // The cube covers the centre, showing the three faces turned to the
  // camera: +X red, +Y blue, +Z cyan (each lit, so a shade of its colour).
  int faces[3] = {0, 0, 0};
  for (int y = 150; y < 450; ++y)
    for (int x = 250; x < 550; ++x) {
      const unsigned p = at(x, y);
      const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      faces[0] += r > 2 * g && r > 2 * b;
      faces[1] += b > 2 * r && b > 2 * g;
      faces[2] += g > 2 * r && b > 2 * r;
    }
  EXPECT_GT(faces[0], 3000);
  EXPECT_GT(faces[1], 3000);
  EXPECT_GT(faces[2], 3000);
  // The sprite's first cell is its translucent blue (alpha 0xC0) over the
  // background, which shows beside it on the same row.
  const unsigned background = at(30, 45);
  for (int shift = 0; shift < 24; shift += 8) {
    const int expected = (0xC0 * ((0x204080u >> shift) & 0xFF) + 0x3F * ((background >> shift) & 0xFF)) / 255;
    EXPECT_NEAR(static_cast<int>((at(45, 45) >> shift) & 0xFF), expected, 2) << shift;
  }
  EXPECT_EQ(at(60, 45), at(45, 60));
  EXPECT_EQ(at(65, 45), 0xFFC040u);
  // The text leaves bright glyph pixels in its line, and none outside it.
  auto bright = [&](int x1, int y1, int x2, int y2) {
    int count = 0;
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x) count += (at(x, y) & 0xFF) > 0xC0 && ((at(x, y) >> 16) & 0xFF) > 0xC0;
    return count;
  };
  EXPECT_GT(bright(40, 520, 400, 560), 200);
  EXPECT_EQ(bright(40, 470, 400, 510), 0);

  G::ReleaseTextShader();
}

}  // namespace
