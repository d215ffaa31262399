// The decoded image's buffers: copies and release. Decoding itself is the
// platform's (LoadedImage_win32.cpp).
#include "graphics/LoadedImage.h"

#include <cstring>

#include "foundation/CMemMan.h"

namespace G {

LoadedImage::LoadedImage(const LoadedImage& other) { *this = other; }

// Deep copies: the buffers, both sizes and the channel count.
LoadedImage& LoadedImage::operator=(const LoadedImage& other) {
  if (this == &other) return *this;
  Free();
  width = other.width;
  height = other.height;
  channels = other.channels;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (other.argb) {
    argb = new2_array(unsigned int, pixels);
    if (argb) std::memcpy(argb, other.argb, pixels * sizeof(unsigned int));
  }
  if (other.indices) {
    indices = new2_array(unsigned char, pixels);
    if (indices) std::memcpy(indices, other.indices, pixels);
  }
  return *this;
}

LoadedImage::~LoadedImage() { Free(); }

void LoadedImage::Free() {
  if (argb) delete2_array(argb);
  if (indices) delete2_array(indices);
  argb = nullptr;
  indices = nullptr;
}

}  // namespace G
