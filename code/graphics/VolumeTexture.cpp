// Volume textures from .t3d list files: one image per slice, named relative
// to the list's folder, all of one size and kind.
#include <cstring>
#include <vector>

#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "graphics/LoadedImage.h"
#include "graphics/Texture.h"

namespace G {

namespace {

// One row of ARGB8888 texels as ARGB4444 (the top four bits of each
// channel), for devices that made the texture with 16-bit texels.
void CopyRowTo16(unsigned char* target, const unsigned int* source, int width) {
  for (int x = 0; x < width; ++x) {
    const unsigned p = source[x];
    const unsigned short texel = static_cast<unsigned short>(((p >> 16) & 0xF000) | ((p >> 12) & 0x0F00) |
                                                             ((p >> 8) & 0x00F0) | ((p >> 4) & 0x000F));
    std::memcpy(target + 2 * x, &texel, 2);
  }
}

}  // namespace

bool Load3DTextureList(Texture* texture, const std::string& listPath, bool mipmaps) {
  std::vector<std::string> lines;
  if (!LoadStringList(lines, listPath) || lines.empty()) {
    ErrorLog << "There was a problem loading 3D texture file: " << listPath << "\n";
    if (lines.empty()) ErrorLog << "  -no textures listed?\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return false;
  }
  const std::string folder = GetDirectory(listPath);
  for (std::string& line : lines) line = folder + line;

  std::vector<LoadedImage> slices(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!slices[i].Load(lines[i])) {
      ErrorLog << "A layer of 3D texture \"" << listPath << "\" failed to load... 3d texture load failed.\n";
      return false;
    }
  }
  const LoadedImage& first = slices[0];
  for (size_t i = 1; i < slices.size(); ++i) {
    if (slices[i].width != first.width || slices[i].height != first.height) {
      ErrorLog << "Error loading 3d texture(" << listPath << ")... dimensions of all files must be the same.\n"
               << "  - " << lines[i] << " doesn't match the first layer in the list.\n";
      return false;
    }
    if ((slices[i].channels == 1) != (first.channels == 1)) {
      ErrorLog << "Error loading 3d texture(" << listPath << ")... format of all files must be the same.\n"
               << "  - " << lines[i] << " doesn't match the first layer in the list.\n";
      return false;
    }
  }

  const bool eightBit = first.channels == 1;
  if (!texture->Create(first.width, first.height, eightBit ? kTextureAlpha : kTextureRGBA,
                       static_cast<int>(slices.size()), mipmaps))
    return false;

  {
    TextureLock lock(texture, false, true);
    unsigned char* bits = nullptr;
    int rowPitch = 0, slicePitch = 0, bitsPerPixel = 0, width = 0, height = 0, depth = 0;
    const bool locked = lock.GetInfo(reinterpret_cast<void**>(&bits), &rowPitch, &slicePitch, &bitsPerPixel, &width,
                                     &height, &depth);
    // The texture holds no slices after either failure: give back the
    // record instead of leaving an unnamed, empty volume in the handle.
    auto giveBack = [&] {
      lock.Unlock();
      texture->SRFree();
      return false;
    };
    if (!locked) {
      ErrorLog << "Unable to lock 3d texture to load it... not good to have this happen obviously.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      return giveBack();
    }
    // Rows are written at the lock's own texel size: 8-bit slices only as
    // 8-bit texels, 32-bit ones as 32-bit texels or converted to 16-bit.
    // Any other size would be written wrong, or past the end of the lock.
    const bool fillable = eightBit ? bitsPerPixel == 8 : bitsPerPixel == 32 || bitsPerPixel == 16;
    if (!fillable) {
      ErrorLog << "Error loading 3d texture(" << listPath << ")... can't fill a texture of " << bitsPerPixel
               << " bits per pixel.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      return giveBack();
    }
    const int slicesToCopy = depth < static_cast<int>(slices.size()) ? depth : static_cast<int>(slices.size());
    const int rows = height < first.height ? height : first.height;
    const int columns = width < first.width ? width : first.width;
    const size_t rowBytes = static_cast<size_t>(columns) * (bitsPerPixel / 8);
    for (int i = 0; i < slicesToCopy; ++i) {
      const LoadedImage& slice = slices[i];
      const bool blank = eightBit && !slice.indices;
      // Nothing to read: the slice is left blank.
      if (blank) ErrorLog << "Internal error on how I load 8 bit textures... bad.\n";
      for (int r = 0; r < rows; ++r) {
        unsigned char* target = bits + static_cast<ptrdiff_t>(i) * slicePitch + static_cast<ptrdiff_t>(r) * rowPitch;
        const size_t sourceRow = static_cast<size_t>(r) * slice.width;
        if (blank)
          std::memset(target, 0, rowBytes);
        else if (eightBit)
          std::memcpy(target, slice.indices + sourceRow, rowBytes);
        else if (bitsPerPixel == 16)
          CopyRowTo16(target, slice.argb + sourceRow, columns);
        else
          std::memcpy(target, slice.argb + sourceRow, rowBytes);
      }
    }
  }
  return true;
}

}  // namespace G
