// Shape-file reading and the floor-texture resampling. Shape files come
// inside dream archives from the network: every read is checked against the
// end of the file (a truncated file keeps the images it holds whole), memory
// grows only with bytes actually present, and resampling stays within the
// pixels of images narrower or lower than two.
#include "game/formats/ShapeFile.h"

#include <cmath>
#include <cstring>

#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "game/formats/LocalFiles.h"

namespace {

// Reads from a byte buffer; each read says whether the bytes were there.
class ByteReader {
 public:
  explicit ByteReader(const std::vector<unsigned char>& data) : data_(data), at_(0) {}
  size_t Remaining() const { return data_.size() - at_; }
  bool Skip(size_t count) {
    if (count > Remaining()) {
      at_ = data_.size();
      return false;
    }
    at_ += count;
    return true;
  }
  bool U8(int* value) {
    if (Remaining() < 1) return false;
    *value = data_[at_++];
    return true;
  }
  bool U16(int* value) {
    if (Remaining() < 2) {
      at_ = data_.size();
      return false;
    }
    *value = data_[at_] | data_[at_ + 1] << 8;
    at_ += 2;
    return true;
  }
  // Like fread: a short read takes what is left.
  bool Bytes(unsigned char* to, size_t count) {
    if (count > Remaining()) {
      at_ = data_.size();
      return false;
    }
    if (count) std::memcpy(to, data_.data() + at_, count);
    at_ += count;
    return true;
  }

 private:
  const std::vector<unsigned char>& data_;
  size_t at_;
};

// The rows of an image as stored: last row first.
bool ReadRowsBottomUp(ByteReader& in, FshImage& image) {
  image.pixels.resize(size_t(image.width) * size_t(image.height));
  for (int row = image.height - 1; row >= 0; --row)
    if (!in.Bytes(image.pixels.data() + size_t(row) * size_t(image.width), size_t(image.width))) return false;
  return true;
}

}  // namespace

bool LoadShapeFile(ShapeSet& set, const std::string& path) {
  if (GetFileLength(path) == 0) return false;  // missing or empty: the caller tries the next file
  const std::string extension = ToLowerCase(GetFileExtension(path));
  if (extension == "fs2") {
    const std::string base = "patches\\default\\" + StripExtension(GetFileName(path)) + ".fsh";
    if (LoadFsh(set, base)) return ApplyFs2(set, path);
    ErrorLog << "Could not load base .fsh to load .fs2 file.\n  -fs2 name: " << path << "\n  -base fsh: " << base
             << "\n";
    return false;
  }
  if (extension == "fsh") return LoadFsh(set, path);
  ErrorLog << "FSH/FS2 loader encountered an unknown extension to load, for file: " << path << "\n";
  return false;
}

bool LoadFsh(ShapeSet& set, const std::string& path) {
  set.clear();
  std::vector<unsigned char> data;
  if (!ReadLocalFile(path, &data)) {
    ErrorLog << "Unable to open " << path << " to load FSH data.\n";
    return false;
  }
  ByteReader in(data);
  int count = 0;
  if (!in.U16(&count)) {
    ErrorLog << "Unexpected end of file while reading " << path << " as FSH data; it holds no usable images.\n";
    return false;
  }
  // A file that ends early keeps the images it holds whole; an image cut
  // inside is left out with all after it.
  if (in.Skip(2 * size_t(count))) {
    for (int i = 0; i < count; ++i) {
      FshImage image;
      int unused;
      if (!(in.U8(&image.width) && in.U8(&image.height) && in.U16(&unused) && ReadRowsBottomUp(in, image))) break;
      image.keyColor = image.pixels.empty() ? 0 : image.Pixel(0, 0);
      set.push_back(std::move(image));
    }
  }
  // Cut before its first image ends, the file has nothing to show: failing
  // lets the caller fall back to another floor set instead of none at all.
  if (set.empty() && count > 0) {
    ErrorLog << "Unexpected end of file while reading " << path << " as FSH data; it holds no usable images.\n";
    return false;
  }
  if (set.size() < size_t(count)) {
    ErrorLog << "Warning: EOF hit, but only " << static_cast<int>(set.size()) << " of the " << count
             << " images were loaded from " << path << ".  Will use what we got...\n";
  }
  return true;
}

bool ApplyFs2(ShapeSet& set, const std::string& path) {
  std::vector<unsigned char> data;
  if (!ReadLocalFile(path, &data)) {
    ErrorLog << "Unable to open " << path << " to load FS2 data.\n";
    return false;
  }
  if (data.size() < 8 || (std::memcmp(data.data(), "FSH2.002", 8) != 0 && std::memcmp(data.data(), "FSH2.001", 8) != 0)) {
    ErrorLog << "FS2 format version for " << path << " isn't recognized...\n";
    return false;
  }
  ByteReader in(data);
  in.Skip(8);
  int count = 0, unused = 0, encrypted = 0;
  if (!(in.U16(&count) && in.U16(&unused) && in.U8(&encrypted) && in.Skip(3))) {
    ErrorLog << "Unexpected end of file in the header of " << path << "; no images were loaded from it.\n";
    return false;
  }
  if (encrypted != 0) {
    ErrorLog << path << " is encrypted.  Cannot load.\n";
    return false;
  }
  for (int i = 0; i < count; ++i) {
    FshImage image;
    int target = 0;
    if (!(in.U8(&image.width) && in.U8(&image.height) && in.U16(&unused) && in.U16(&target))) {
      ErrorLog << "Warning: EOF hit, but only " << i << " of the " << count << " images were loaded from " << path
               << ".  Will use what we got...\n";
      break;
    }
    image.pixels.resize(size_t(image.width) * size_t(image.height));
    bool whole = true;
    for (int row = image.height - 1; row >= 0; --row) {
      if (!in.Bytes(image.pixels.data() + size_t(row) * size_t(image.width), size_t(image.width))) {
        ErrorLog << "Warning: EOF hit mid-pixel-data while reading " << path << ".  Will discard this image...\n";
        whole = false;
      }
    }
    if (!whole) continue;
    if (target < static_cast<int>(set.size())) {
      image.keyColor = 0;  // patched images always key out index 0
      set[target] = std::move(image);
    } else {
      ErrorLog << "Erp... " << path
               << " has an image thats supposed to replace an image number out of the valid range... ignoring it.\n";
    }
  }
  return true;
}

Vec2 TransformVec2(const float m[2][2], Vec2 v) {
  return Vec2{m[0][0] * v.x + m[0][1] * v.y, m[1][0] * v.x + m[1][1] * v.y};
}

Vec2 FloorTexelToShape(float s, float t) {
  const Vec2 d{s - 0.5f, t - 0.5f};
  const float a = 3.14159265358979f * 0.25f;
  const float rotate[2][2] = {{std::cos(a), -std::sin(a)}, {std::sin(a), std::cos(a)}};
  const Vec2 r = TransformVec2(rotate, d);
  const float k = static_cast<float>(1.0 / (std::sqrt(2.0) * 1.025));
  return Vec2{k * r.x + 0.5f, k * r.y + 0.5f};
}

void PrepareFloorSampling(int width, int height, FloorSampling& sampling) {
  sampling.width = width;
  sampling.height = height;
  sampling.texels.clear();
  const int w = width, h = height;
  if (w <= 0 || h <= 0) return;
  sampling.texels.resize(kFloorTextureSize * kFloorTextureSize);
  const float step = 1.0f / kFloorTextureSize;
  for (int y = 0; y < kFloorTextureSize; ++y) {
    for (int x = 0; x < kFloorTextureSize; ++x) {
      const Vec2 uv = FloorTexelToShape(x * step, y * step);
      const float fx = uv.x * w - 0.5f, fy = uv.y * h - 0.5f;
      int c = static_cast<int>(std::floor(fx));
      float wc = 1.0f - std::fmod(fx, 1.0f);
      int r = static_cast<int>(std::floor(fy));
      float wr = 1.0f - std::fmod(fy, 1.0f);
      if (c < 0) c = 0, wc = 0.0f;
      if (c > w - 2) c = w - 2, wc = 1.0f;
      if (r < 0) r = 0, wr = 0.0f;
      if (r > h - 2) r = h - 2, wr = 1.0f;
      // An image one pixel wide or high: both samples are that pixel.
      if (c < 0) c = 0;
      if (r < 0) r = 0;
      const int c1 = c + 1 < w ? c + 1 : c, r1 = r + 1 < h ? r + 1 : r;

      FloorSampling::Texel& texel = sampling.texels[y * kFloorTextureSize + x];
      texel.pixel[0] = uint32_t(r) * uint32_t(w) + uint32_t(c);
      texel.pixel[1] = uint32_t(r) * uint32_t(w) + uint32_t(c1);
      texel.pixel[2] = uint32_t(r1) * uint32_t(w) + uint32_t(c);
      texel.pixel[3] = uint32_t(r1) * uint32_t(w) + uint32_t(c1);
      texel.weight[0] = wc * wr;
      texel.weight[1] = (1.0f - wc) * wr;
      texel.weight[2] = wc * (1.0f - wr);
      texel.weight[3] = (1.0f - wc) * (1.0f - wr);
    }
  }
}

void ShapeToFloorTexels(const FshImage& image, const PaletteColor* palette,
                        uint32_t texels[kFloorTextureSize * kFloorTextureSize]) {
  FloorSampling sampling;
  PrepareFloorSampling(image.width, image.height, sampling);
  ShapeToFloorTexels(image, palette, sampling, texels);
}

// The resampling's cost is in placing each texel on the image (a rotation, two
// floors and two remainders), which the sampling does once per image size.
void ShapeToFloorTexels(const FshImage& image, const PaletteColor* palette, const FloorSampling& sampling,
                        uint32_t texels[kFloorTextureSize * kFloorTextureSize]) {
  const int w = image.width, h = image.height;
  if (w <= 0 || h <= 0 || image.pixels.size() < size_t(w) * size_t(h)) {
    for (int i = 0; i < kFloorTextureSize * kFloorTextureSize; ++i) texels[i] = 0xFF000000u;
    return;
  }
  if (sampling.width != w || sampling.height != h || sampling.texels.empty()) {
    ShapeToFloorTexels(image, palette, texels);
    return;
  }
  const unsigned char* pixels = image.pixels.data();
  for (int i = 0; i < kFloorTextureSize * kFloorTextureSize; ++i) {
    const FloorSampling::Texel& sample = sampling.texels[i];
    float red = 0.0f, green = 0.0f, blue = 0.0f, total = 0.0f;
    for (int k = 0; k < 4; ++k) {
      const unsigned char index = pixels[sample.pixel[k]];
      if (index == image.keyColor) continue;
      red += palette[index].r * sample.weight[k];
      green += palette[index].g * sample.weight[k];
      blue += palette[index].b * sample.weight[k];
      total += sample.weight[k];
    }
    uint32_t texel = 0xFF000000u;
    if (total > 0.0f) {
      auto channel = [total](float sum) {
        int value = static_cast<int>(sum / total);
        return static_cast<uint32_t>(value < 0 ? 0 : value > 255 ? 255 : value);
      };
      texel |= channel(red) << 16 | channel(green) << 8 | channel(blue);
    }
    texels[i] = texel;
  }
}

void WriteFloorTexels(const uint32_t* texels, void* bits, int pitch, int bitsPerPixel) {
  for (int y = 0; y < kFloorTextureSize; ++y) {
    unsigned char* row = static_cast<unsigned char*>(bits) + size_t(y) * size_t(pitch);
    for (int x = 0; x < kFloorTextureSize; ++x) {
      const uint32_t texel = texels[y * kFloorTextureSize + x];
      if (bitsPerPixel == 32) {
        std::memcpy(row + 4 * x, &texel, 4);
      } else {
        const uint16_t packed = static_cast<uint16_t>(0xF000 | ((texel >> 16 & 0xFF) / 16) << 8 |
                                                      ((texel >> 8 & 0xFF) / 16) << 4 | (texel & 0xFF) / 16);
        std::memcpy(row + 2 * x, &packed, 2);
      }
    }
  }
}
