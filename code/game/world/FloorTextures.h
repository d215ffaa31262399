// Floor textures: each image of a shape set becomes a 64 x 64 texture of
// the graphics interface.
#pragma once
#include <vector>

#include "game/formats/ShapeFile.h"
#include "graphics/Texture.h"

// Empties out, then one texture per image, in image order, coloured through
// Palette. False at the first texture that cannot be made (those made so far
// stay in out).
bool GenerateFloorTextures(const ShapeSet& set, std::vector<G::Texture>& out);
