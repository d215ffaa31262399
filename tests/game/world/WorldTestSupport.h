// What the world renderer's tests share, whatever the backend: the program's
// own world data in the working folder, small maps made on the spot, and the
// renderer's floor slots.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/Texture.h"

// Copies data/shaders, data/misc, data/walls and data/items from the source
// tree into the working folder, under the names the program opens them by
// (backslashes: folders under Windows, plain names in the native build).
void CopyWorldData();
// A file the program names with backslashes, gone.
void RemoveProgramFile(const std::string& path);
// The binary model caches under gen\, gone.
void RemoveModelCaches();

// Loads a map of fileWidth x fileHeight file cells (a grid of
// 2 (width + height) squared) whose every grid cell then has the floor, no
// item and no walls.
void LoadBlankMap(int fileWidth, int fileHeight, int floor);

// How many cells of each floor number below 600 the current map has in the
// floors' 30 x 30 window around the view position.
std::vector<int> WindowFloorTiles();

// The records in the renderer's 600 floor slots (null: empty), and how many
// slots from the first are filled.
std::vector<const G::TextureRecord*> FloorSlotRecords();
size_t FilledFloorSlots();
// A 4 x 4 texture of one colour, as a floor set would hold.
G::Texture PlainTexture(unsigned color);

// Where a world point is drawn in the 800 x 600 frame of the world camera:
// its view matrix, the projection in the row-vector form the backends take
// and the usual viewport mapping (pixel y downward). False behind the eye.
bool DrawnAt(float x, float y, float z, float& screenX, float& screenY);
