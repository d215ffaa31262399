// Fuzz target: the .mbm text model parser. A model it accepts must save to
// the binary cache format (when its counts fit) and read back from it with
// the same number of bones.
#include <string>
#include <vector>

#include "ModelFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginModelInput();
  if (size < 1) return 0;
  // The first byte picks the loader's options.
  bool readable = (data[0] & 1) != 0;
  bool optimize = (data[0] & 2) != 0 || !readable;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::remove(G::ModelCachePath("fuzz.mbm").c_str());
  size_t meshRecords = G::g_meshRegistry.size();
  G::ModelLoadRecord out;
  bool parsed = G::ParseMBM(text, "fuzz.mbm", readable, out, optimize);
  if (!parsed) {
    if (out.root || G::g_liveBones != 0 || G::g_meshRegistry.size() != meshRecords) __builtin_trap();
    return 0;
  }
  if (!out.root) return 0;
  int bones = fuzz::CountBones(out.root);
  if (bones != G::g_liveBones) __builtin_trap();  // every bone made is in the tree
  if (readable) {
    std::vector<unsigned char> saved;
    if (G::SaveBMBMHierarchy(saved, out.root)) {
      saved.push_back(0);
      G::ModelLoadRecord back;
      if (!G::DoLoadBMBMHierarchy(saved.data(), saved.size(), true, back) || !back.root) __builtin_trap();
      if (fuzz::CountBones(back.root) != bones) __builtin_trap();
      G::FreeBone(back.root);
    }
  }
  G::Model model = G::CreateEmptyModel(false);
  model.GetRootBone()->CopyFrom(*out.root);
  model.SRFree();
  fuzz::FreeTree(out.root, meshRecords);
  return 0;
}
