// Image files decoded into 32-bit ARGB pixels in system memory (and, for
// 8-bit palette images, the raw palette indices), through the platform's
// image codec.
#pragma once
#include <string>

namespace G {

class LoadedImage {
 public:
  LoadedImage() = default;
  // Deep copies of both buffers, sizes and channel count.
  LoadedImage(const LoadedImage& other);
  LoadedImage& operator=(const LoadedImage& other);
  ~LoadedImage();

  // Replaces any earlier contents; false (logged) when the file cannot be
  // decoded.
  bool Load(const std::string& name);
  int GetWidth() const { return width; }
  int GetHeight() const { return height; }
  // Frees both buffers.
  void Free();

  unsigned int* argb = nullptr;      // width x height, rows top to bottom, 0xAARRGGBB
  unsigned char* indices = nullptr;  // width x height palette indices, 8-bit palette files only
  int width = 0;
  int height = 0;
  int channels = 0;  // 3 RGB, 1 palette, 4 ARGB and everything else
};

// Start and stop of the image codec, around every LoadedImage::Load.
void InitImageLoader();
void ShutdownImageLoader();

}  // namespace G
