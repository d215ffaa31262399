// What every backend's texture locks share: the lock's release at
// destruction, its description, and per-pixel access for the two texel
// layouts the program creates: 32-bit ARGB8888 and 16-bit ARGB4444.
#include "foundation/LogFile.h"
#include "graphics/PackedColor.h"
#include "graphics/Texture.h"

namespace G {

namespace {
// A channel of 0..1 on 4 bits; like the packing functions, out-of-range
// values keep only their low bits instead of spilling into the next channel.
unsigned Pack4(float value) {
  float scaled = value * 15.0f;
  if (!(scaled > -2147483648.0f && scaled < 2147483648.0f)) return 0;
  return static_cast<unsigned>(static_cast<int>(scaled)) & 0xF;
}
}  // namespace

TextureLock::~TextureLock() { Unlock(); }

bool TextureLock::GetInfo(void** bits, int* rowPitch, int* slicePitch, int* bitsPerPixel, int* width, int* height,
                          int* depth) {
  if (!bits_ || !apiLock_) return false;
  const TextureRecord* record = texture_->Record();
  if (bits) *bits = bits_;
  if (rowPitch) *rowPitch = rowPitch_;
  if (slicePitch) *slicePitch = slicePitch_;
  if (bitsPerPixel) *bitsPerPixel = bitsPerPixel_;
  if (width) *width = record->createdWidth;
  if (height) *height = record->createdHeight;
  if (depth) *depth = record->depth;
  return true;
}

bool TextureLock::Contains(int x, int y) const {
  if (!bits_ || !texture_ || !texture_->Record()) return false;
  const TextureRecord* record = texture_->Record();
  return x >= 0 && y >= 0 && x < record->createdWidth && y < record->createdHeight;
}

unsigned TextureLock::GetPixel(int x, int y) {
  if (!Contains(x, y)) return 0;
  const unsigned char* p = static_cast<const unsigned char*>(bits_) + y * rowPitch_ + x * (bitsPerPixel_ / 8);
  if (bitsPerPixel_ == 32) return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24);
  // Other depths read as 16-bit ARGB4444; a texel narrower than 16 bits
  // gives only its own byte, never the next texel's (or one past the end).
  if (bitsPerPixel_ < 16) return p[0];
  return p[0] | (p[1] << 8);
}

FloatColor TextureLock::GetColor(int x, int y) {
  if (!Contains(x, y)) return FloatColor{0, 0, 0, 0};
  unsigned p = GetPixel(x, y);
  if (bitsPerPixel_ == 32)
    return FloatColor{((p >> 16) & 255) / 255.0f, ((p >> 8) & 255) / 255.0f, (p & 255) / 255.0f,
                      (p >> 24) / 255.0f};
  return FloatColor{((p >> 8) & 15) / 15.0f, ((p >> 4) & 15) / 15.0f, (p & 15) / 15.0f, ((p >> 12) & 15) / 15.0f};
}

void TextureLock::SetPixel(int x, int y, unsigned value) {
  if (!Contains(x, y)) return;
  unsigned char* p = static_cast<unsigned char*>(bits_) + y * rowPitch_ + x * (bitsPerPixel_ / 8);
  p[0] = value & 0xFF;
  if (bitsPerPixel_ < 16) return;
  p[1] = (value >> 8) & 0xFF;
  if (bitsPerPixel_ != 32) return;
  p[2] = (value >> 16) & 0xFF;
  p[3] = (value >> 24) & 0xFF;
}

void TextureLock::SetColor(int x, int y, float r, float g, float b, float a) {
  if (bitsPerPixel_ == 32)
    SetPixel(x, y, PackColorARGB(r, g, b, a));
  else
    SetPixel(x, y, (Pack4(a) << 12) | (Pack4(r) << 8) | (Pack4(g) << 4) | Pack4(b));
}

FloatColor TextureLock::SampleLinear(float u, float v) {
  if (bits_ && u >= 0.0f && u <= 1.0f && v >= 0.0f && v <= 1.0f)
    ErrorLog << "linear sample not implemented yet...\n";
  return FloatColor{0, 0, 0, 0};
}

}  // namespace G
