// The world renderer's floor slots, stood in for while the renderer is not
// in the build: what the last SetFloorTextures installed, and how often it
// was called.
#pragma once
#include <vector>

#include "graphics/Texture.h"

extern std::vector<G::Texture> g_installedFloors;
extern int g_installCalls;
