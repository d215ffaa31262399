// What every backend's textures share: the registry search by name and the
// dimension checks before a texture is made.
#include <cctype>

#include "foundation/LogFile.h"
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

}  // namespace G
