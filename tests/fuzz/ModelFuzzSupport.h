// Shared by the model-file fuzz targets: the null backend started once, a
// bone allocator, silent message boxes and a short error log.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "NullBackend.h"
#include "foundation/Platform.h"
#include "graphics/GBMesh.h"

namespace fuzz {

inline int AnswerModelBox(WindowHandle, const char*, const char*, unsigned) { return kAnswerOk; }

// Once per input. Each log write reopens the file, so it is emptied now and
// then to keep that cheap.
inline void BeginModelInput() {
  static unsigned count = 0;
  if (count++ == 0) {
    SetMessageBoxHandler(AnswerModelBox);
    NullBackend::Reset();
    G::Setup setup;
    setup.width = 800;
    setup.height = 600;
    if (!DXG::Init(nullptr, &setup)) __builtin_trap();
    G::CreateBoneAllocator();
  }
  NullBackend::ClearCalls();  // the backend keeps a record of every call
  if (count % 512 == 0) {
    if (FILE* f = std::fopen("_error.txt", "w")) std::fclose(f);
  }
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
