// Fuzz target: ".fsh" loading and the floor-texel resampling of what loads.
#include "FuzzSupport.h"
#include "game/formats/ShapeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  fuzz::WriteBytes("fuzz.fsh", data, size);
  ShapeSet set;
  if (!LoadShapeFile(set, "fuzz.fsh")) return 0;
  static PaletteColor palette[256];
  static uint32_t texels[kFloorTextureSize * kFloorTextureSize];
  for (size_t i = 0; i < set.size() && i < 4; ++i) {
    const FshImage& image = set[i];
    if (image.pixels.size() != size_t(image.width) * size_t(image.height)) __builtin_trap();
    ShapeToFloorTexels(image, palette, texels);
  }
  return 0;
}
