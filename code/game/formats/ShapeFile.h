// Shape files: the service's 8-bit indexed floor images (".fsh"), patches
// that replace single images of a default set (".fs2"), and the resampling
// that turns an image (a diamond in the service's art) into a square
// 64 x 64 floor texture.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "game/formats/ColorTables.h"

struct FshImage {
  unsigned char keyColor = 0;  // pixels of this index are left out
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;  // rows of width indices, row 0 first

  unsigned char Pixel(int column, int row) const { return pixels[size_t(row) * size_t(width) + size_t(column)]; }
};

typedef std::vector<FshImage> ShapeSet;

// By extension: ".fsh" directly; ".fs2" over the default set of the same
// name in "patches\default\". A missing or empty file fails silently.
bool LoadShapeFile(ShapeSet& set, const std::string& path);
// Replaces the set with the file's images; false (and an empty set) when the
// file cannot be opened or is too short to hold its image count. A file that
// ends before its last image keeps the images before the cut (a warning
// says how many).
bool LoadFsh(ShapeSet& set, const std::string& path);
// Replaces images of the set with the patch file's images.
bool ApplyFs2(ShapeSet& set, const std::string& path);

struct Vec2 {
  float x;
  float y;
};
// Row i of the result = m[i][0] * v.x + m[i][1] * v.y.
Vec2 TransformVec2(const float m[2][2], Vec2 v);
// Texture coordinates of a floor texel to normalised image coordinates: the
// image turned by 45 degrees, with a small margin.
Vec2 FloorTexelToShape(float s, float t);

constexpr int kFloorTextureSize = 64;

// Where each texel of a floor texture samples an image of one size: the four
// pixels it blends (as offsets into the image's pixels) and their weights.
// The same for every image of that size, so the images of a set share it.
struct FloorSampling {
  struct Texel {
    uint32_t pixel[4];
    float weight[4];
  };
  int width = 0;
  int height = 0;
  std::vector<Texel> texels;  // 64 x 64, row by row; empty for an image without pixels
};
// The sampling of images of width x height.
void PrepareFloorSampling(int width, int height, FloorSampling& sampling);

// The 64 x 64 texels of an image's floor texture as 0xFFRRGGBB, row by row,
// coloured through the palette; key-colour pixels add nothing.
void ShapeToFloorTexels(const FshImage& image, const PaletteColor* palette,
                        uint32_t texels[kFloorTextureSize * kFloorTextureSize]);
// The same with a sampling prepared for the image's size (else the texels
// are made with one of their own).
void ShapeToFloorTexels(const FshImage& image, const PaletteColor* palette, const FloorSampling& sampling,
                        uint32_t texels[kFloorTextureSize * kFloorTextureSize]);
// Writes such texels into locked texture memory: 32 bits per pixel as they
// are, any other size as 16-bit 0xFRGB.
void WriteFloorTexels(const uint32_t* texels, void* bits, int pitch, int bitsPerPixel);
