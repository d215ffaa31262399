// Points, lines, coloured quads and sprites drawn through immediate mode.
#include "graphics/Primitives.h"

#include <cmath>

#include "foundation/LogFile.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"

namespace G {

namespace {

// Switches depth testing off for the life of the object, then back to what
// it was.
class DepthTestOff {
 public:
  DepthTestOff() : was_(GetRenderState(kStateDepthTest)) { SetRenderState(kStateDepthTest, false); }
  ~DepthTestOff() { SetRenderState(kStateDepthTest, was_); }

 private:
  bool was_;
};

class NoCulling {
 public:
  NoCulling() : was_(GetCullMode()) { SetCullMode(kCullNone); }
  ~NoCulling() { SetCullMode(was_); }

 private:
  CullMode was_;
};

void Untextured() {
  UnbindShader();
  UnsetTexture(0);
}

void Vertex(float x, float y, unsigned color) {
  IMColor(color);
  IMPosition2(x, y);
}

// A fan of four corners, clockwise from the top-left, with the whole
// texture over it. colors: top-left, top-right, bottom-right, bottom-left.
void Quad(const float (&corners)[4][2], const unsigned (&colors)[4]) {
  static const float kTexCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  IMBegin(kPrimitiveTriangleFan);
  for (int i = 0; i < 4; ++i) {
    IMColor(colors[i]);
    IMTexCoord2(kTexCoords[i][0], kTexCoords[i][1]);
    IMPosition2(corners[i][0], corners[i][1]);
  }
  IMEnd();
}

void AxisQuad(float x1, float y1, float x2, float y2, const unsigned (&colors)[4]) {
  const float o = 0.005f;
  const float corners[4][2] = {{x1 + o, y1 + o}, {x2 + o, y1 + o}, {x2 + o, y2 + o}, {x1 + o, y2 + o}};
  Quad(corners, colors);
}

void RotatedQuad(float x, float y, float angle, float scale, const Texture& texture, const unsigned (&colors)[4]) {
  const float hw = texture.Record()->width * 0.5f * scale;
  const float hh = texture.Record()->height * 0.5f * scale;
  float offsets[4][2] = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
  if (angle != 0) {
    const float c = std::cos(angle), s = std::sin(angle);
    for (auto& o : offsets) {
      const float ox = o[0], oy = o[1];
      o[0] = c * ox - s * oy;
      o[1] = c * oy + s * ox;
    }
  }
  float corners[4][2];
  for (int i = 0; i < 4; ++i) {
    corners[i][0] = x + offsets[i][0];
    corners[i][1] = y + offsets[i][1];
  }
  Quad(corners, colors);
}

// Textured drawing: a blank texture is logged and draws nothing.
bool BindSpriteTexture(const Texture& texture) {
  if (!texture.Record() || texture.Record()->type == kTextureFree) {
    ErrorLog << "Error: Attempt to draw using a blank texture.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return false;
  }
  UnbindShader();
  texture.Set(0);
  return true;
}

unsigned Average(unsigned a, unsigned b, unsigned c, unsigned d) {
  unsigned result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    unsigned sum = ((a >> shift) & 255) + ((b >> shift) & 255) + ((c >> shift) & 255) + ((d >> shift) & 255);
    result |= (sum / 4) << shift;
  }
  return result;
}

}  // namespace

unsigned AlphaColor(float alpha) {
  if (!(alpha > 0.0f)) alpha = 0.0f;  // NaN too
  if (alpha > 1.0f) alpha = 1.0f;
  return static_cast<unsigned>(alpha * 4278190080.0) | 0x00FFFFFFu;
}

void DrawPoint2D(float x, float y, unsigned color) {
  Untextured();
  DepthTestOff depth;
  IMBegin(kPrimitivePoints);
  Vertex(x, y, color);
  IMEnd();
}

void DrawPoint3D(float x, float y, float z, unsigned color) {
  Untextured();
  IMBegin(kPrimitivePoints);
  IMColor(color);
  IMPosition3(x, y, z);
  IMEnd();
}

void DrawLine2D(float x1, float y1, unsigned color1, float x2, float y2, unsigned color2) {
  Untextured();
  DepthTestOff depth;
  IMBegin(kPrimitiveLines);
  Vertex(x1, y1, color1);
  Vertex(x2, y2, color2);
  IMEnd();
}

void DrawLine3D(float x1, float y1, float z1, unsigned color1, float x2, float y2, float z2, unsigned color2) {
  Untextured();
  IMBegin(kPrimitiveLines);
  IMColor(color1);
  IMPosition3(x1, y1, z1);
  IMColor(color2);
  IMPosition3(x2, y2, z2);
  IMEnd();
}

void DrawQuadColored(float x, float y, float width, float height, unsigned topLeft, unsigned topRight,
                     unsigned bottomLeft, unsigned bottomRight) {
  Untextured();
  DepthTestOff depth;
  IMBegin(kPrimitiveTriangleFan);
  Vertex(x + width * 0.5f, y + height * 0.5f, Average(topLeft, topRight, bottomLeft, bottomRight));
  Vertex(x, y, topLeft);
  Vertex(x + width, y, topRight);
  Vertex(x + width, y + height, bottomRight);
  Vertex(x, y + height, bottomLeft);
  Vertex(x, y, topLeft);
  IMEnd();
}

void DrawRenderTexture(float x, float y, const RenderTexture& target, float alpha) {
  const RenderTextureRecord* record = target.Record();
  const float width = record ? static_cast<float>(record->width) : 0.0f;
  const float height = record ? static_cast<float>(record->height) : 0.0f;
  target.Set(0);
  const unsigned c = AlphaColor(alpha);
  AxisQuad(x, y, x + width, y + height, {c, c, c, c});
}

void DrawSprite(float x, float y, const Texture& texture, float alpha) {
  if (!BindSpriteTexture(texture)) return;
  DepthTestOff depth;
  const unsigned c = AlphaColor(alpha);
  AxisQuad(x, y, x + texture.Record()->width, y + texture.Record()->height, {c, c, c, c});
}

void DrawSpriteStretched(float x1, float y1, float x2, float y2, const Texture& texture, float alpha) {
  const unsigned c = AlphaColor(alpha);
  DrawSpriteStretchedColored(x1, y1, x2, y2, texture, c, c, c, c);
}

void DrawSpriteStretchedColored(float x1, float y1, float x2, float y2, const Texture& texture, unsigned topLeft,
                                unsigned topRight, unsigned bottomRight, unsigned bottomLeft) {
  if (!BindSpriteTexture(texture)) return;
  DepthTestOff depth;
  NoCulling culling;
  AxisQuad(x1, y1, x2, y2, {topLeft, topRight, bottomRight, bottomLeft});
}

void DrawSpriteRotated(float x, float y, float angle, float scale, const Texture& texture, float alpha) {
  const unsigned c = AlphaColor(alpha);
  DrawSpriteRotatedColored(x, y, angle, scale, texture, c, c, c, c);
}

void DrawSpriteRotatedColored(float x, float y, float angle, float scale, const Texture& texture,
                              unsigned topLeft, unsigned topRight, unsigned bottomRight, unsigned bottomLeft) {
  if (!BindSpriteTexture(texture)) return;
  DepthTestOff depth;
  RotatedQuad(x, y, angle, scale, texture, {topLeft, topRight, bottomRight, bottomLeft});
}

}  // namespace G
