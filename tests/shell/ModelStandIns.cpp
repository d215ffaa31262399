// The model code's start-up and shut-down calls, recorded among the null
// backend's calls: these tests check where the entry point makes them. The
// model code itself is tested with the graphics foundation.
#include "NullBackendState.h"
#include "graphics/Model.h"

namespace G {

void CreateBoneAllocator() { NullBackend::Note("CreateBoneAllocator"); }
void DestroyBoneAllocator() { NullBackend::Note("DestroyBoneAllocator"); }
void ClearLoadedModels() { NullBackend::Note("ClearLoadedModels"); }

}  // namespace G
