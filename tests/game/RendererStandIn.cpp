// Stands in for the world renderer's SetFloorTextures, so the floor-set
// loading can be tested before the renderer exists. Goes when the renderer
// joins the build (its tests then read the real floor slots).
#include "RendererStandIn.h"

#include "game/VantRenderer.h"

std::vector<G::Texture> g_installedFloors;
int g_installCalls = 0;

void SetFloorTextures(const std::vector<G::Texture>& textures) {
  g_installedFloors = textures;
  ++g_installCalls;
}
