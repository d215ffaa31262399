// The model code's and the image decoder's start-up and shut-down calls,
// recorded among the null backend's calls: these tests check where the entry
// point makes them. The code itself is tested with the graphics foundation.
#include "NullBackendState.h"
#include "graphics/Model.h"

namespace G {

void CreateBoneAllocator() { NullBackend::Note("CreateBoneAllocator"); }
void DestroyBoneAllocator() { NullBackend::Note("DestroyBoneAllocator"); }
void ClearLoadedModels() { NullBackend::Note("ClearLoadedModels"); }

}  // namespace G

// The image decoder lives beside image loading, which this program links
// too: the linker sends the entry point's calls here (--wrap, see
// CMakeLists.txt), and they go on to the real decoder.
extern "C" {
void __real__ZN1G15InitImageLoaderEv();
void __real__ZN1G19ShutdownImageLoaderEv();

void __wrap__ZN1G15InitImageLoaderEv() {
  NullBackend::Note("InitImageLoader");
  __real__ZN1G15InitImageLoaderEv();
}
void __wrap__ZN1G19ShutdownImageLoaderEv() {
  NullBackend::Note("ShutdownImageLoader");
  __real__ZN1G19ShutdownImageLoaderEv();
}
}
