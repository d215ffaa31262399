// The world's tile map: one map at a time, kept as a square grid of
// deskewed coordinates, with the loader of ".map" files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct MapCell {
  uint16_t floor;    // floor number, 65535 when no file cell maps here
  uint16_t object;   // item number, 0 = none
  int8_t wallYEdge;  // non-zero: wall along the edge at y - 0.5
  int8_t wallXEdge;  // non-zero: wall along the edge at x - 0.5
};
static_assert(sizeof(MapCell) == 6, "MapCell is six bytes");

// Floor number of every cell outside the grid: the renderer draws it around
// the map's edges.
constexpr int kOutsideFloor = 161;

// Largest map accepted: width + height at most this (a grid of at most
// 4096 x 4096 cells); anything larger is a broken or hostile file.
constexpr int kMaxMapWidthPlusHeight = 2048;

// File coordinates (the skewed layout of map files and the game server) to
// grid coordinates and back; both use the current map's file height.
void Deskew(int x, int y, int* gridX, int* gridY);
void Reskew(int gridX, int gridY, int* x, int* y);

void GetMapSize(int* width, int* height);
bool IsMapLoaded();

int GetMapFloor(int x, int y);   // kOutsideFloor outside the grid
void SetMapFloor(int x, int y, int floor);
int GetMapObject(int x, int y);  // 0 outside the grid
void SetMapObject(int x, int y, int object);
int GetWallYEdge(int x, int y);  // sign-extended; 0 outside the grid
int GetWallXEdge(int x, int y);
void SetWallYEdge(int x, int y, int value);
void SetWallXEdge(int x, int y, int value);

// Replaces the whole grid with a ".map" file's; false (and an empty grid)
// when the file cannot be used.
bool LoadMap(const std::string& path);
// Counts the replacements of the whole grid (every map load, failed ones
// too): what was drawn from an older count shows a map that is gone.
unsigned GetMapGeneration();
