// Fuzz target: a ".fs2" patch over its default ".fsh". The input is the two
// files: a 16-bit little-endian length, that many bytes of the ".fsh", then
// the ".fs2".
#include <filesystem>

#include "FuzzSupport.h"
#include "game/formats/ShapeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  static bool ready = std::filesystem::create_directories("patches/default") || true;
  (void)ready;
  size_t baseSize = size >= 2 ? (data[0] | data[1] << 8) : 0;
  size_t at = size >= 2 ? 2 : size;
  if (baseSize > size - at) baseSize = size - at;
  fuzz::WriteBytes("patches/default/fuzz.fsh", data + at, baseSize);
  fuzz::WriteBytes("fuzz.fs2", data + at + baseSize, size - at - baseSize);
  ShapeSet set;
  if (!LoadShapeFile(set, "fuzz.fs2")) return 0;
  static PaletteColor palette[256];
  static uint32_t texels[kFloorTextureSize * kFloorTextureSize];
  for (size_t i = 0; i < set.size() && i < 4; ++i) {
    if (set[i].pixels.size() != size_t(set[i].width) * size_t(set[i].height)) __builtin_trap();
    ShapeToFloorTexels(set[i], palette, texels);
  }
  return 0;
}
