// The world renderer: floors, walls, avatars, items, portals and the tile
// highlight around the own avatar, drawn in 3D every frame; and the world
// camera that orbits the own tile, with picking of the tile under a point.
#pragma once
#include <string>
#include <vector>

namespace G {
class Texture;
}

// In-game scene's calls. InitRenderer also hands the game-server protocol its
// floor hooks (LoadPatchFloors, MarkFloorDirtyNear); ShutdownRenderer takes
// them back.
bool InitRenderer();
void ShutdownRenderer();
void UpdateRenderer(float seconds);
void RenderWorld();
void SetSelectedTile(int x, int y);

// The game-server protocol's call after each floor change.
void MarkFloorDirtyNear(int x, int y);

// The map module's floor slots: slot i takes texture i of the list (the list
// may be longer than the slots; the rest is not kept), the other slots are
// emptied. Nothing while the renderer is not running.
void SetFloorTextures(const std::vector<G::Texture>& textures);

// The world camera's step, and the grid tile under a screen point of the
// 800 x 600 frame (the own tile when the pointer's ray misses the ground).
void UpdateCamera(float seconds);
void PickTile(int screenX, int screenY, int& tileX, int& tileY);
