// The world renderer's parts: floor tiles from a static vertex buffer rebuilt
// only when the view moves, a visible floor changes or the map is replaced,
// walls and avatars in small immediate-mode batches.
#include <cstdint>

#include "game/formats/ColorTables.h"
#include "game/formats/MapGrid.h"
#include "game/service/VantDataManager.h"
#include "game/world/VantRendererObjects.h"
#include "graphics/RenderState.h"

namespace {

const G::VertexFormat& FloorVertexFormat() {
  static const G::VertexFormat format = {{G::kFloat3, G::kUsePosition},
                                         {G::kFloat3, G::kUseNormal},
                                         {G::kPackedColor, G::kUseColor},
                                         {G::kFloat2, G::kUseTexCoord}};
  return format;
}

void PutFloorVertex(FloorVertex& v, float x, float y, float u, float t) {
  v.position[0] = x;
  v.position[1] = y;
  v.position[2] = 0;
  v.normal[0] = 0;
  v.normal[1] = 0;
  v.normal[2] = -1;
  v.color = 0xFFFFFFFFu;
  v.texCoord[0] = u;
  v.texCoord[1] = t;
}

// The unit square of cell (x, y) as two triangles.
void PutFloorTile(FloorVertex* v, int x, int y) {
  const float x0 = static_cast<float>(x) - 0.5f, x1 = static_cast<float>(x) + 0.5f;
  const float y0 = static_cast<float>(y) - 0.5f, y1 = static_cast<float>(y) + 0.5f;
  PutFloorVertex(v[0], x0, y0, 0, 0);
  PutFloorVertex(v[1], x1, y0, 1, 0);
  PutFloorVertex(v[2], x0, y1, 0, 1);
  PutFloorVertex(v[3], x1, y0, 1, 0);
  PutFloorVertex(v[4], x0, y1, 0, 1);
  PutFloorVertex(v[5], x1, y1, 1, 1);
}

bool IsDrawnFloor(int floor) { return floor >= 0 && floor < kFloorSlots; }

}  // namespace

// ---- Floors ----------------------------------------------------------------

FloorRenderer::FloorRenderer() {
  vertexBuffer.Create(kFloorVertices, FloorVertexFormat(), static_cast<int>(sizeof(FloorVertex)), false, true);
}

bool FloorRenderer::Rebuild() {
  const int left = lastCentreX - kViewRadius, top = lastCentreY - kViewRadius;
  const int right = left + 2 * kViewRadius, bottom = top + 2 * kViewRadius;
  // Counting: each floor number's run of the buffer, in number order. One
  // pass over the window with a count per number does what a pass per
  // number would, without the 600 passes.
  int tiles[kFloorSlots] = {};
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const int floor = GetMapFloor(x, y);
      if (IsDrawnFloor(floor)) ++tiles[floor];
    }
  int total = 0;
  for (int n = 0; n < kFloorSlots; ++n) {
    firstVertex[n] = total;
    vertexCount[n] = 6 * tiles[n];
    total += vertexCount[n];
  }

  G::VertexBufferLock lock(vertexBuffer, true);
  void* data = nullptr;
  if (!lock.GetData(&data) || !data) return false;
  FloorVertex* vertices = static_cast<FloorVertex*>(data);
  int cursor[kFloorSlots];
  for (int n = 0; n < kFloorSlots; ++n) cursor[n] = firstVertex[n];
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const int floor = GetMapFloor(x, y);
      if (!IsDrawnFloor(floor)) continue;
      PutFloorTile(vertices + cursor[floor], x, y);
      cursor[floor] += 6;
    }
  return true;
}

void FloorRenderer::Render() {
  if (!vertexBuffer.Record()) return;  // no buffer could be made: no floors
  G::SetCullMode(G::kCullNone);
  int x = 0, y = 0;
  GetViewPosition(x, y);
  if (x != lastCentreX || y != lastCentreY) dirty = true;
  lastCentreX = x;
  lastCentreY = y;
  // A new map at the same own tile: the buffer still holds the old one's
  // floors.
  const unsigned generation = GetMapGeneration();
  if (generation != lastMapGeneration) dirty = true;
  lastMapGeneration = generation;
  if (dirty) {
    dirty = false;
    if (!Rebuild()) {
      // The buffer still holds the old window while the runs describe the
      // new one: draw nothing, and try again next frame.
      dirty = true;
      return;
    }
  }
  vertexBuffer.Set();
  WorldCameraObject.Apply();
  for (int n = 0; n < kFloorSlots; ++n) {
    if (vertexCount[n] <= 0 || !textures[n].Record()) continue;
    textures[n].Set(0);
    G::RenderTris(vertexCount[n] / 3, firstVertex[n]);
  }
}

void RenderFloors() { FloorRendererPtr->Render(); }

// ---- Walls -----------------------------------------------------------------

WallRenderer::WallRenderer() { texture.Load("data\\walls\\stone1.bmp", G::kTextureFileFormat, true, true); }

namespace {

void WallVertex(float x, float y, float z, float u, float v) {
  G::IMTexCoord2(u, v);
  G::IMPosition3(x, y, z);
}

}  // namespace

void WallRenderer::Render() {
  G::SetCullMode(G::kCullNone);
  if (texture.Record())
    texture.Set(0);
  else
    G::UnsetTexture(0);  // the image is missing: plain walls
  WorldCameraObject.Apply();
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor4(1, 1, 1, 1);
  G::IMNormal(0, 0, 1);
  const int left = ViewCentre.x - kViewRadius, top = ViewCentre.y - kViewRadius;
  for (int y = top; y < top + 2 * kViewRadius; ++y) {
    for (int x = left; x < left + 2 * kViewRadius; ++x) {
      const float x0 = static_cast<float>(x) - 0.5f, x1 = static_cast<float>(x) + 0.5f;
      const float y0 = static_cast<float>(y) - 0.5f, y1 = static_cast<float>(y) + 0.5f;
      if (GetWallXEdge(x, y) != 0) {  // along x - 0.5
        WallVertex(x0, y0, 0, 0, 0);
        WallVertex(x0, y1, 0, 1, 0);
        WallVertex(x0, y0, 1, 0, 1);
        WallVertex(x0, y0, 1, 0, 1);
        WallVertex(x0, y1, 0, 1, 0);
        WallVertex(x0, y1, 1, 1, 1);
      }
      if (GetWallYEdge(x, y) != 0) {  // along y - 0.5
        WallVertex(x0, y0, 0, 0, 0);
        WallVertex(x1, y0, 0, 1, 0);
        WallVertex(x0, y0, 1, 0, 1);
        WallVertex(x0, y0, 1, 0, 1);
        WallVertex(x1, y0, 0, 1, 0);
        WallVertex(x1, y0, 1, 1, 1);
      }
    }
  }
  G::IMEnd();
}

void RenderWalls() { WallRendererPtr->Render(); }

// ---- Avatars ---------------------------------------------------------------

unsigned AvatarVestColor(uint8_t code, unsigned alpha) {
  // Colour digits run 0..94 and a damaged code holds anything, but the
  // table has 64 entries: the others wear its first colour.
  int index = static_cast<int8_t>(code);
  if (index < 0 || index >= kPartTableSize) index = 0;
  const PaletteColor& c = PartColorTables[kPartVest][index];
  return alpha << 24 | static_cast<unsigned>(c.r) << 16 | static_cast<unsigned>(c.g) << 8 | c.b;
}

namespace {

struct ArrowVertex {
  float dx, dy, u, v;
};

// Tip first, then the base corners, for each direction (0 toward -y, 2 +y,
// 3 +x, anything else -x).
void ArrowFor(int direction, ArrowVertex (&out)[3]) {
  const float h = 0.2f;
  switch (direction) {
    case 0:
      out[0] = {0, -h, 0.5f, 0};
      out[1] = {h, h, 1, 1};
      out[2] = {-h, h, 0, 1};
      break;
    case 2:
      out[0] = {0, h, 0.5f, 0};
      out[1] = {-h, -h, 0, 1};
      out[2] = {h, -h, 1, 1};
      break;
    case 3:
      out[0] = {h, 0, 0.5f, 0};
      out[1] = {-h, h, 0, 1};
      out[2] = {-h, -h, 1, 1};
      break;
    default:
      out[0] = {-h, 0, 0.5f, 0};
      out[1] = {h, -h, 1, 1};
      out[2] = {h, h, 0, 1};
      break;
  }
}

}  // namespace

void CharacterRenderer::Render() {
  G::SetWorldMatrix(Matrix4::Identity());
  G::SetRenderState(G::kStateAlphaBlend, true);
  G::UnsetTexture(0);
  WorldCameraObject.Apply();
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMNormal(0, 0, 1);
  for (const AvatarRecord& avatar : GetAvatarList()) {
    if (!InViewWindow(avatar.x, avatar.y)) continue;
    const unsigned tip = AvatarVestColor(avatar.colorCode[5], 0xFF);
    const unsigned base = AvatarVestColor(avatar.colorCode[0], 0x7F);
    ArrowVertex arrow[3];
    ArrowFor(avatar.direction, arrow);
    const float x = static_cast<float>(avatar.x), y = static_cast<float>(avatar.y);
    // Nine layers, z about 0.1 to 0.9 (accumulated in floats), make a
    // solid-looking arrow of flat triangles.
    for (float z = 0.1f; z < 0.91f; z += 0.1f) {
      for (int i = 0; i < 3; ++i) {
        G::IMColor(i == 0 ? tip : base);
        G::IMTexCoord2(arrow[i].u, arrow[i].v);
        G::IMPosition3(x + arrow[i].dx, y + arrow[i].dy, z);
      }
    }
  }
  G::IMEnd();
}

void RenderCharacters() { CharacterRendererPtr->Render(); }
