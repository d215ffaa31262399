// Fuzz target: the .bmbm record stream reader. Whatever it accepts saves
// again and reads back to a tree of the same size; whatever it refuses
// leaves no bone or mesh behind.
#include <vector>

#include "ModelFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginModelInput();
  size_t meshRecords = G::g_meshRegistry.size();
  G::ModelLoadRecord out;
  bool loaded = G::DoLoadBMBMHierarchy(data, size, true, out);
  if (!loaded || !out.root) {
    if (out.root || G::g_liveBones != 0 || G::g_meshRegistry.size() != meshRecords) __builtin_trap();
    return 0;
  }
  int bones = fuzz::CountBones(out.root);
  std::vector<unsigned char> saved;
  if (!G::SaveBMBMHierarchy(saved, out.root)) __builtin_trap();
  saved.push_back(0);
  G::ModelLoadRecord back;
  if (!G::DoLoadBMBMHierarchy(saved.data(), saved.size(), false, back) || !back.root) __builtin_trap();
  if (fuzz::CountBones(back.root) != bones) __builtin_trap();
  G::FreeBone(back.root);
  fuzz::FreeTree(out.root, meshRecords);
  return 0;
}
