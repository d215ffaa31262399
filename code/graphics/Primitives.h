// Small drawing operations over immediate mode: coloured points, lines and a
// four-colour rectangle in 2D and 3D, and textured screen quads (sprites).
// The 2D forms expect Set2DMode, so their coordinates are screen pixels;
// colours are packed 0xAARRGGBB.
#pragma once

namespace G {

class Texture;
class RenderTexture;

// No shader, no texture on stage 0; the 2D forms switch depth testing off
// while drawing and restore it.
void DrawPoint2D(float x, float y, unsigned color);
void DrawPoint3D(float x, float y, float z, unsigned color);
void DrawLine2D(float x1, float y1, unsigned color1, float x2, float y2, unsigned color2);
void DrawLine3D(float x1, float y1, float z1, unsigned color1, float x2, float y2, float z2, unsigned color2);
// A fan around the centre, which takes the corners' average colour. Note
// the corner order: top-left, top-right, bottom-left, bottom-right.
void DrawQuadColored(float x, float y, float width, float height, unsigned topLeft, unsigned topRight,
                     unsigned bottomLeft, unsigned bottomRight);

// Sprites: white at the given opacity (clamped to 0..1) or one colour per
// corner, clockwise from the top-left. A texture without a record (or of
// type FREE) draws nothing and is logged.
void DrawRenderTexture(float x, float y, const RenderTexture& target, float alpha);
void DrawSprite(float x, float y, const Texture& texture, float alpha);
void DrawSpriteStretched(float x1, float y1, float x2, float y2, const Texture& texture, float alpha);
void DrawSpriteStretchedColored(float x1, float y1, float x2, float y2, const Texture& texture, unsigned topLeft,
                                unsigned topRight, unsigned bottomRight, unsigned bottomLeft);
// Centred on (x, y), turned by the angle (radians) and scaled.
void DrawSpriteRotated(float x, float y, float angle, float scale, const Texture& texture, float alpha);
void DrawSpriteRotatedColored(float x, float y, float angle, float scale, const Texture& texture,
                              unsigned topLeft, unsigned topRight, unsigned bottomRight, unsigned bottomLeft);

// The sprites' colour: white with alpha x 255 in the top byte.
unsigned AlphaColor(float alpha);

}  // namespace G
