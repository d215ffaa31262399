// Shared by the model-file fuzz targets: the null backend started once with
// a bone allocator, on top of what every fuzz target does per input.
#pragma once
#include "FuzzSupport.h"
#include "NullBackend.h"
#include "graphics/GBMesh.h"

namespace fuzz {

inline void BeginModelInput() {
  static bool started = false;
  BeginInput();
  if (!started) {
    started = true;
    NullBackend::Reset();
    G::Setup setup;
    setup.width = 800;
    setup.height = 600;
    if (!DXG::Init(nullptr, &setup)) __builtin_trap();
    G::CreateBoneAllocator();
  }
  NullBackend::ClearCalls();  // the backend keeps a record of every call
}

inline int CountBones(const G::Bone* bone) {
  int count = 1;
  for (const G::Bone* child : bone->Children()) count += CountBones(child);
  return count;
}

// A loaded tree must go back whole: no bone and no mesh record left over.
inline void FreeTree(G::Bone* root, size_t meshRecordsBefore) {
  G::FreeBone(root);
  if (G::g_liveBones != 0 || G::g_meshRegistry.size() != meshRecordsBefore) __builtin_trap();
}

}  // namespace fuzz
