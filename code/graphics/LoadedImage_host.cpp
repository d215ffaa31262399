// Native stand-in for image decoding: the native build has no image codec,
// so every file fails as an unreadable one.
#include "foundation/LogFile.h"
#include "graphics/LoadedImage.h"

namespace G {

void InitImageLoader() {}
void ShutdownImageLoader() {}

bool LoadedImage::Load(const std::string& name) {
  Free();
  width = height = channels = 0;
  ErrorLog << "Failed to load image: " << name << "\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
  return false;
}

}  // namespace G
