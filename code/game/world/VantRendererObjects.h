// The world renderer's module objects and parts, shared by its source files
// (and read by its tests): the floor, wall and avatar renderers, the world
// camera, and the state every frame is drawn from.
#pragma once
#include <cstdint>
#include <string>

#include "graphics/Camera.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace G {
class Text;
}
namespace VANT {
class RenderObjects;
}

// Floors, walls and items are drawn in the half-open window of 30 x 30 tiles
// from centre - 15 to centre + 14; avatars, portals and floor changes count
// within the closed window |offset| <= 15.
constexpr int kViewRadius = 15;
// Floor numbers with a texture slot; higher ones (65535: no floor) are not
// drawn.
constexpr int kFloorSlots = 600;
// One vertex of the floor buffer (position, normal, packed colour, texture
// coordinate).
struct FloorVertex {
  float position[3];
  float normal[3];
  unsigned color;
  float texCoord[2];
};
static_assert(sizeof(FloorVertex) == 36, "floor vertices are 36 bytes");
// Six vertices per tile of a 31 x 31 area: room for the 30 x 30 window.
constexpr int kFloorVertices = 31 * 31 * 6;

// The floor tiles around the view position in one static vertex buffer,
// sorted by floor number so each number is one draw with its texture.
class FloorRenderer {
 public:
  FloorRenderer();
  void Render();

  G::Texture textures[kFloorSlots];
  G::VertexBuffer vertexBuffer;
  int lastCentreX = 0;
  int lastCentreY = 0;
  // The map grid the buffer was built from (GetMapGeneration).
  unsigned lastMapGeneration = 0;
  bool dirty = true;
  int firstVertex[kFloorSlots] = {};
  int vertexCount[kFloorSlots] = {};

 private:
  // Sorts the window's tiles into the buffer; false when the lock failed.
  bool Rebuild();
};

// Avatars as coloured arrows; keeps no state.
class CharacterRenderer {
 public:
  void Render();
};

// Unit-high walls on the cell edges the map marks.
class WallRenderer {
 public:
  WallRenderer();
  void Render();

  G::Texture texture;
};

// The camera that orbits the own tile: SmoothCamera's vectors, moved by a
// speed table instead of SmoothCamera's chase.
class WorldCamera : public SmoothCamera {
 public:
  void Update(float seconds, bool driftTargets, bool driftCurrent) override;
};

// The speed tables of WorldCamera::Update, over the distance to the target.
float WorldCameraSpeed(float distance);
float WorldCameraUpSpeed(float distance);

struct TilePosition {
  int x;
  int y;
};

extern FloorRenderer* FloorRendererPtr;
extern CharacterRenderer* CharacterRendererPtr;
extern WallRenderer* WallRendererPtr;
extern VANT::RenderObjects* RenderObjectsPtr;
extern G::Texture* DreamTexture;
extern G::Text* PortalLabelTextObject;
extern TilePosition ViewCentre;
extern TilePosition SelectedTile;
extern WorldCamera WorldCameraObject;
// Radians, kept in [0, 2 pi].
extern float CameraYaw;

// Within the closed window around ViewCentre (in 64 bits: positions come
// from the game server).
inline bool InViewWindow(int x, int y) {
  const long long dx = static_cast<long long>(x) - ViewCentre.x, dy = static_cast<long long>(y) - ViewCentre.y;
  return dx >= -kViewRadius && dx <= kViewRadius && dy >= -kViewRadius && dy <= kViewRadius;
}

// 0xAARRGGBB of the vest colour a colour-code digit names (any byte: a digit
// outside the 64-entry table gets its first colour).
unsigned AvatarVestColor(uint8_t code, unsigned alpha);

void CreateRendererResources();
void ReleaseRendererResources();
void RenderFloors();
void RenderWalls();
void RenderCharacters();
void RenderPortals();
// The text with every '|' shown as a space.
std::string PortalLabelText(const std::string& text);
// The tile-highlight quad under the pointer.
void RenderSelectedTile();
