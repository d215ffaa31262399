// What every backend's textures share: the registry search by name, the
// dimension checks before a texture is made, and the loading steps before
// the backend decodes an image file.
#include <cctype>

#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "graphics/GraphicsLock.h"
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

bool Texture::LoadFile(const std::string& name, bool colorKey, TextureType type, bool mipmaps, bool dither) {
  if (record_ && !name.empty() && EqualsIgnoringCase(record_->name, name)) return true;
  SRFree();
  if (type == kTextureFree) {
    ErrorLog << "Error: attempt to load texture of type FREE\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return false;
  }
  {
    CriticalSectionLock lock(g_graphicsLock);
    if (TextureRecord* shared = FindSharedTexture(name)) {
      Share(shared);
      return true;
    }
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
