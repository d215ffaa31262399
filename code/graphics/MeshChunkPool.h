// Batches the chunks of bone trees by their (stage-0 texture, stage-1 texture,
// vertex buffer, index buffer) records, so each group is drawn with one state
// set-up and one indexed draw per bone.
#pragma once
#include <vector>

#include "graphics/GBMesh.h"

namespace G {

// The four handles share the records of the chunk that made the entry.
struct MeshPoolEntry {
  Texture TextureB;
  Texture TextureC;
  VertexBuffer vertexBuffer;
  IndexBuffer indexBuffer;
  std::vector<Bone*> bones;
};

class MeshChunkPool {
 public:
  // The tree below bone (children first), each chunk with the textures the
  // bone's handle draws it with. Warn logs each new entry without a stage-0
  // texture.
  void Add(Bone* bone, bool warn);
  // Every entry in order, its visible bones at their world matrices.
  void Draw();
  // The number of (entry, bone) pairs.
  int CountMeshes() const;

 private:
  std::vector<MeshPoolEntry> entries_;  // in order of creation
};

}  // namespace G
