// The mesh-chunk pool: grouping by record identity and drawing by group.
#include "graphics/MeshChunkPool.h"

#include "foundation/LogFile.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"

namespace G {

void MeshChunkPool::Add(Bone* bone, bool warn) {
  if (!bone) return;
  for (Bone* child : bone->Children()) Add(child, warn);
  std::vector<Chunk> chunks;
  bone->mesh.FlattenChunks(chunks);
  for (const Chunk& chunk : chunks) {
    MeshPoolEntry* entry = nullptr;
    for (MeshPoolEntry& candidate : entries_) {
      if (candidate.TextureB.Record() == chunk.TextureB.Record() &&
          candidate.TextureC.Record() == chunk.TextureC.Record() &&
          candidate.vertexBuffer.Record() == chunk.vertexBuffer.Record() &&
          candidate.indexBuffer.Record() == chunk.indexBuffer.Record()) {
        entry = &candidate;
        break;
      }
    }
    if (!entry) {
      entries_.push_back(MeshPoolEntry{chunk.TextureB, chunk.TextureC, chunk.vertexBuffer, chunk.indexBuffer, {}});
      entry = &entries_.back();
      if (warn && !chunk.TextureB.Record()) {
        ErrorLog << "Warning: Pooling a mesh chunk that has no texture set.\n"
                 << "  -bone name: " << bone->name << "\n";
        WriteCallStack(ErrorLog, "  -call stack:\n");
      }
    }
    entry->bones.push_back(bone);
  }
}

void MeshChunkPool::Draw() {
  for (MeshPoolEntry& entry : entries_) {
    entry.vertexBuffer.Set();
    entry.indexBuffer.Set();
    if (entry.TextureB.Record()) entry.TextureB.Set(0);
    if (entry.TextureC.Record()) entry.TextureC.Set(1);
    int indices = entry.indexBuffer.Record() ? entry.indexBuffer.Record()->indexCount : 0;
    for (Bone* bone : entry.bones) {
      if (!bone->visible) continue;
      SetWorldMatrix(bone->GetWorldMatrix());
      UpdateShaderMatrices();
      RenderIndTris(indices / 3);
    }
  }
}

int MeshChunkPool::CountMeshes() const {
  int count = 0;
  for (const MeshPoolEntry& entry : entries_) count += static_cast<int>(entry.bones.size());
  return count;
}

}  // namespace G
