// The graphics interface: textures (2D from image files or empty, volume from
// .t3d list files or empty, cube empty), shared by file name, and locks for
// pixel access. The backend owns what sits behind STex_API_Data.
#pragma once
#include <list>
#include <string>

#include "foundation/SharedResource_TCPP.h"

namespace G {

enum TextureType : int {
  kTextureFree = 0,        // refused
  kTextureFileFormat = 1,  // the image file's own format
  kTextureAlpha = 2,       // single channel, 8 bits
  kTextureRGB = 3,
  kTextureRGBA = 4,
  kTextureCube = 5,
};

// Any value above 2 is anisotropic.
enum TextureFilter : int {
  kFilterNone = 0,
  kFilterPoint = 1,
  kFilterLinear = 2,
  kFilterAnisotropic = 3,
};

struct STex_API_Data;      // the backend's texture; wrap flags and filter
struct STexLock_API_Data;  // the backend's record of one lock

struct TextureRecord {
  int refCount = 0;
  int type = kTextureFree;
  std::string name;  // the file name as loaded; empty for created textures
  int width = 0;
  int height = 0;
  int createdWidth = 0;
  int createdHeight = 0;
  int depth = 0;
  bool mipmaps = false;
  STex_API_Data* api = nullptr;
};

class Texture : public SharedResource<TextureRecord> {
 public:
  // Shared code: made while the backend is not initialised, it is logged
  // (and still made).
  Texture();
  Texture(const Texture& other) : SharedResource<TextureRecord>(other) {}
  Texture& operator=(const Texture& other) = default;
  // Releases the record. A backend may throw a text when the texture
  // outlives the device (a global destroyed after Shutdown), hence
  // noexcept(false): the throw then reaches the caller's catch.
  ~Texture() noexcept(false) override;

  bool Load(const std::string& name, TextureType type, bool mipmaps, bool dither);
  // Type 1, no mipmaps, opaque black made transparent; wrap U and V off.
  bool LoadCC(const std::string& name);
  // Shared code: shares a live texture of the same name (ignoring case),
  // loads .t3d lists as volume textures, else hands the file to the
  // backend's LoadImageFile; all of it one step under the graphics lock.
  bool LoadFile(const std::string& name, bool colorKey, TextureType type, bool mipmaps, bool dither);
  // Width, height and depth powers of 2.
  bool Create(int width, int height, TextureType type, int depth, bool mipmaps);
  // Binds the texture on the stage with its filter and wrap states.
  void Set(int stage) const;
  void SetWrap(bool u, bool v, bool w);
  void SetFilter(TextureFilter filter);
  // Releases the API objects at the last release of the record.
  void Free() override;

 private:
  // The backend's half of LoadFile: decodes a 2D image file into a new
  // record of this (empty) handle. Logs and returns false on failure.
  bool LoadImageFile(const std::string& name, bool colorKey, TextureType type, bool mipmaps, bool dither);
  // Shared code: a fresh record for a texture the backend has just made:
  // no name, the created size as asked. The backend adds its API record.
  TextureRecord* NewRecord(TextureType type, int width, int height, int depth, bool mipmaps);
};

// Leaves the stage without a texture.
void UnsetTexture(int stage);

// Shared code from here to the end of the file, except the TextureLock
// constructor, Unlock and GetFace.

// The live record whose name equals the name ignoring case; empty names
// never match.
TextureRecord* FindSharedTexture(const std::string& name);

// Logs "Cannot create texture" unless width, height and depth are powers of 2.
bool CheckTextureDimensions(int width, int height, int depth);
bool IsPowerOfTwo(int value);

// What a backend's device can make, for the checks before Texture::Create.
struct TextureCreateLimits {
  bool cubeMaps = true;        // false: cube maps are refused with a message
  bool volumeTextures = true;  // false: depth above 1 is refused without one
  // Each backend words the refusal of a cube map with depth above 1.
  const char* cubeDepthRefusal = "Cube Maps can't be 3D...\n";
  // OpenGL warns about a mipmapped volume before it looks at cube maps.
  bool volumeMipmapWarningFirst = false;
};

// The checks every backend makes before it creates a texture: dimensions
// (CheckTextureDimensions), a cube map's support, depth and square sides,
// and volume support. A mipmapped volume is warned about and mipmaps turn
// off. False (logged as the checks say) when the texture cannot be made.
bool CheckTextureCreate(int width, int height, TextureType type, int depth, bool& mipmaps,
                        const TextureCreateLimits& limits);

// "Unable to load image" with the name, the reason line and the call stack.
void LogImageLoadFailure(const std::string& name, const char* reason);
// An image file's sides must be powers of 2; else logged as above, false.
bool CheckImageDimensions(const std::string& name, int width, int height);

class LoadedImage;
// For the backends that decode through LoadedImage: the image decides the
// kind, not the request; a colour key needs alpha.
TextureType ImageTextureType(const LoadedImage& image, bool colorKey);
// Copies the decoded image into level 0 of a locked texture of that kind;
// with the colour key, opaque black becomes transparent black.
void CopyImageTexels(const LoadedImage& image, TextureType type, bool colorKey, void* bits);

// Loads a volume texture from a list of equally sized slice images.
bool Load3DTextureList(Texture* texture, const std::string& listPath, bool mipmaps);

struct FloatColor {
  float r, g, b, a;
};

// Locks level 0 of a texture for the life of the object (or until Unlock).
// Pixel access reads and writes 32-bit ARGB8888 or 16-bit ARGB4444 texels.
class TextureLock {
 public:
  TextureLock(Texture* texture, bool read, bool write);
  ~TextureLock();

  // False when not locked. Any out pointer may be null.
  bool GetInfo(void** bits, int* rowPitch, int* slicePitch, int* bitsPerPixel, int* width, int* height,
               int* depth);
  void Unlock();
  // One face (0..5) of a locked cube map; each backend fills what it has.
  bool GetFace(int face, void** bits, int* rowPitch, int* slicePitch, int* bitsPerPixel, int* width,
               int* height);

  // 0 outside the texture or when not locked.
  unsigned GetPixel(int x, int y);
  FloatColor GetColor(int x, int y);
  void SetPixel(int x, int y, unsigned value);
  void SetColor(int x, int y, float r, float g, float b, float a);
  FloatColor SampleLinear(float u, float v);

 private:
  TextureLock(const TextureLock&) = delete;
  TextureLock& operator=(const TextureLock&) = delete;
  bool Contains(int x, int y) const;

  void* bits_ = nullptr;
  int rowPitch_ = 0;
  int slicePitch_ = 0;
  int bitsPerPixel_ = 0;
  Texture* texture_;
  STexLock_API_Data* apiLock_ = nullptr;
};

extern std::list<TextureRecord*> g_textureRecords;

}  // namespace G

template <>
std::list<G::TextureRecord*>& SharedResource<G::TextureRecord>::Registry();
