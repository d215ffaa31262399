// Fuzz target: the ".map" loader, and the grid it leaves.
#include "FuzzSupport.h"
#include "game/formats/MapGrid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  fuzz::WriteBytes("fuzz.map", data, size);
  bool loaded = LoadMap("fuzz.map");
  int w, h;
  GetMapSize(&w, &h);
  if (loaded != IsMapLoaded() || w != h || (!loaded && w != 0) || w > 2 * kMaxMapWidthPlusHeight) __builtin_trap();
  // The edges of the grid, just inside and just outside, and its diagonal.
  long sum = 0;
  for (int i = -1; i <= w; ++i) {
    for (int j : {-1, 0, h - 1, h, i}) {
      sum += GetMapFloor(i, j) + GetMapObject(i, j) + GetWallXEdge(i, j) + GetWallYEdge(i, j);
      sum += GetMapFloor(j, i) + GetMapObject(j, i) + GetWallXEdge(j, i) + GetWallYEdge(j, i);
    }
  }
  if (w == 0 && sum != 20L * 161) __builtin_trap();
  int gx, gy, fx, fy;
  Deskew(static_cast<int>(size), -static_cast<int>(size), &gx, &gy);
  Reskew(gx, gy, &fx, &fy);
  return 0;
}
