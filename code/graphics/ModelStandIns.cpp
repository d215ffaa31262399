// The entry point's calls into the model code, which is not written yet:
// they have nothing to start or release. Delete this file with the model
// code's arrival (its definitions replace these).
#include "graphics/Model.h"

namespace G {

void CreateBoneAllocator() {}
void DestroyBoneAllocator() {}
void ClearLoadedModels() {}

}  // namespace G
