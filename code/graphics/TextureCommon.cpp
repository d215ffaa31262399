// What every backend's textures share: the constructor's check, the
// registry search by name, the checks before a texture is made and the
// record it then gets, the loading steps before the backend decodes an image
// file, and the copy of an image decoded by LoadedImage into a texture.
#include <cctype>
#include <cstring>

#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "graphics/Device.h"
#include "graphics/GraphicsLock.h"
#include "graphics/LoadedImage.h"
#include "graphics/Texture.h"

namespace G {

namespace {
bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}
}  // namespace

Texture::Texture() {
  if (!IsInitialized()) {
    ErrorLog << "Bad: texture created, but graphics is not inited.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
  }
}

TextureRecord* FindSharedTexture(const std::string& name) {
  if (name.empty()) return nullptr;
  for (TextureRecord* record : g_textureRecords)
    if (!record->name.empty() && EqualsIgnoringCase(record->name, name)) return record;
  return nullptr;
}

bool IsPowerOfTwo(int value) { return value > 0 && (value & (value - 1)) == 0; }

bool CheckTextureDimensions(int width, int height, int depth) {
  if (IsPowerOfTwo(width) && IsPowerOfTwo(height) && IsPowerOfTwo(depth)) return true;
  ErrorLog << "Cannot create texture:\n" << "  -dimensions must be powers of 2\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
  return false;
}

namespace {
void TurnOffVolumeMipmaps(int depth, bool& mipmaps) {
  if (depth <= 1 || !mipmaps) return;
  ErrorLog << "warning: 3D textures can't be mipmapped, but was requested (no plans to implement).\n";
  mipmaps = false;
}
}  // namespace

bool CheckTextureCreate(int width, int height, TextureType type, int depth, bool& mipmaps,
                        const TextureCreateLimits& limits) {
  if (!CheckTextureDimensions(width, height, depth)) return false;
  if (limits.volumeMipmapWarningFirst) TurnOffVolumeMipmaps(depth, mipmaps);
  if (type == kTextureCube) {
    if (!limits.cubeMaps) {
      ErrorLog << "Cube Maps not supported on this video card.\n";
      return false;
    }
    if (depth != 1) {
      ErrorLog << limits.cubeDepthRefusal;
      return false;
    }
    if (width != height) {
      ErrorLog << "Cube maps can't have non-square sides...\n";
      return false;
    }
  }
  TurnOffVolumeMipmaps(depth, mipmaps);
  return depth == 1 || limits.volumeTextures;
}

TextureRecord* Texture::NewRecord(TextureType type, int width, int height, int depth, bool mipmaps) {
  SRAlloc();
  TextureRecord* r = record_;
  r->type = type;
  r->name.clear();
  r->width = r->createdWidth = width;
  r->height = r->createdHeight = height;
  r->depth = depth;
  r->mipmaps = mipmaps;
  return r;
}

void LogImageLoadFailure(const std::string& name, const char* reason) {
  ErrorLog << "Unable to load image \"" << name << "\"\n" << reason;
  WriteCallStack(ErrorLog, "  -call stack:\n");
}

bool CheckImageDimensions(const std::string& name, int width, int height) {
  if (IsPowerOfTwo(width) && IsPowerOfTwo(height)) return true;
  LogImageLoadFailure(name, "  -dimensions must be powers of 2\n");
  return false;
}

TextureType ImageTextureType(const LoadedImage& image, bool colorKey) {
  if (image.channels == 3) return colorKey ? kTextureRGBA : kTextureRGB;
  if (image.channels == 1) return kTextureAlpha;
  return kTextureRGBA;
}

void CopyImageTexels(const LoadedImage& image, TextureType type, bool colorKey, void* bits) {
  const size_t texels = static_cast<size_t>(image.width) * image.height;
  if (type == kTextureAlpha) {
    // Without indices (the codec refused them) the texture stays clear.
    if (image.indices) std::memcpy(bits, image.indices, texels);
    return;
  }
  unsigned int* texel = static_cast<unsigned int*>(bits);
  std::memcpy(texel, image.argb, texels * 4);
  // Opaque black is the key: it becomes transparent black.
  if (colorKey)
    for (size_t i = 0; i < texels; ++i)
      if (texel[i] == 0xFF000000u) texel[i] = 0;
}

// The whole load is one step under the graphics lock: a thread that asks
// for the same new file meanwhile waits, then shares what this one made
// instead of loading it a second time.
bool Texture::LoadFile(const std::string& name, bool colorKey, TextureType type, bool mipmaps, bool dither) {
  CriticalSectionLock lock(g_graphicsLock);
  if (record_ && !name.empty() && EqualsIgnoringCase(record_->name, name)) return true;
  SRFree();
  if (type == kTextureFree) {
    ErrorLog << "Error: attempt to load texture of type FREE\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return false;
  }
  if (TextureRecord* shared = FindSharedTexture(name)) {
    Share(shared);
    return true;
  }
  if (ToLowerCase(GetFileExtension(name)) == "t3d") {
    if (colorKey) {
      ErrorLog << "Color key not supported on 3d textures.\n";
      return false;
    }
    if (!Load3DTextureList(this, name, false)) return false;
    record_->name = name;
    return true;
  }
  return LoadImageFile(name, colorKey, type, mipmaps, dither);
}

}  // namespace G
