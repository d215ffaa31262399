// Turning shape images into floor textures (main thread: it makes device
// textures). The resampling itself is ShapeToFloorTexels.
#include "game/world/FloorTextures.h"

#include "foundation/CProfiler.h"
#include "foundation/LogFile.h"
#include "game/formats/ColorTables.h"

bool GenerateFloorTextures(const ShapeSet& set, std::vector<G::Texture>& out) {
  ProfileScope profile("Generate floor textures from .fsh");
  out.clear();
  std::vector<uint32_t> texels(kFloorTextureSize * kFloorTextureSize);
  // A set's images are mostly of one size: each size is placed once.
  FloorSampling sampling;
  for (const FshImage& image : set) {
    G::Texture texture;
    if (!texture.Create(kFloorTextureSize, kFloorTextureSize, G::kTextureRGBA, 1, true)) {
      ErrorLog << "Texture create failed while doing floor tile conversion.\n";
      return false;
    }
    texture.SetWrap(false, false, true);  // clamped in both directions
    G::TextureLock lock(&texture, false, true);
    void* bits = nullptr;
    int pitch = 0, bitsPerPixel = 0;
    if (!lock.GetInfo(&bits, &pitch, nullptr, &bitsPerPixel, nullptr, nullptr, nullptr) || !bits) {
      ErrorLog << "Lock on newly created texture failed while floor tile conversion.\n";
      lock.Unlock();
      return false;
    }
    if (sampling.width != image.width || sampling.height != image.height)
      PrepareFloorSampling(image.width, image.height, sampling);
    ShapeToFloorTexels(image, Palette, sampling, texels.data());
    WriteFloorTexels(texels.data(), bits, pitch, bitsPerPixel);
    out.push_back(texture);
    lock.Unlock();
  }
  return true;
}
