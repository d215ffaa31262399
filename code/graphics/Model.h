// Start and end of the model code's process-wide state, called by the entry
// point (the models themselves are declared with the model code).
#pragma once

namespace G {

void CreateBoneAllocator();
void DestroyBoneAllocator();
// Releases every model loaded so far.
void ClearLoadedModels();

}  // namespace G
