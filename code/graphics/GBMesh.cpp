// Meshes: the shared record, drawing with per-handle texture overrides,
// duplication, welding, the position mesh; and the model code's globals.
#include "graphics/GBMesh.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "foundation/CProfiler.h"
#include "foundation/LogFile.h"
#include "foundation/StartupOrder.h"
#include "foundation/Utility.h"
#include "graphics/RenderState.h"

namespace G {

QV_STARTUP_MARK(kRowModelRegistry, "g_modelRegistry");
std::list<ModelData*> g_modelRegistry QV_STARTUP(kRowModelRegistry);

QV_STARTUP_MARK(kRowLoadedModels, "g_loadedModels");
std::list<Model> g_loadedModels QV_STARTUP(kRowLoadedModels);

QV_STARTUP_MARK(kRowMeshRegistry, "g_meshRegistry");
std::list<MeshData*> g_meshRegistry QV_STARTUP(kRowMeshRegistry);

MeshStatistics g_meshStats;
BlockAlloc<Bone>* BoneAllocator = nullptr;

void CreateBoneAllocator() {
  if (!BoneAllocator) BoneAllocator = new2(BlockAlloc<Bone>, BlockAlloc<Bone>(64));
}

void DestroyBoneAllocator() {
  if (!BoneAllocator) return;
  delete2(BoneAllocator);
  BoneAllocator = nullptr;
}

void ClearLoadedModels() { g_loadedModels.clear(); }

namespace {

// A chunk may lack a buffer (a model chunk without vertices or indices): it
// then has nothing to read, which is not the same as a buffer it cannot read.
bool IsWriteOnly(const VertexBuffer& buffer) { return buffer.Record() && buffer.Record()->writeOnly; }
bool IsWriteOnly(const IndexBuffer& buffer) { return buffer.Record() && buffer.Record()->writeOnly; }

// For each input vertex, the position of its byte-identical twin among the
// distinct vertices, which are appended to unique in order of first
// appearance. Distinct vertices never equal each other, so a hash of the
// bytes finds the one twin the slow search from the back would find.
std::vector<unsigned> WeldMap(const unsigned char* vertices, int count, int stride, std::vector<unsigned char>& unique) {
  std::vector<unsigned> map(count > 0 ? static_cast<size_t>(count) : 0);
  unique.clear();
  if (count <= 0 || stride <= 0) return map;
  unique.reserve(static_cast<size_t>(count / 3) * stride);
  std::unordered_map<std::string_view, unsigned> seen;
  seen.reserve(static_cast<size_t>(count));
  unsigned distinct = 0;
  for (int i = 0; i < count; ++i) {
    const char* bytes = reinterpret_cast<const char*>(vertices) + static_cast<size_t>(i) * stride;
    auto found = seen.emplace(std::string_view(bytes, static_cast<size_t>(stride)), distinct);
    if (found.second) {
      unique.insert(unique.end(), bytes, bytes + stride);
      map[i] = distinct++;
    } else {
      map[i] = found.first->second;
    }
  }
  return map;
}

}  // namespace

void WeldVertices(const unsigned char* vertices, int count, int stride, const unsigned short* indices, int indexCount,
                  std::vector<unsigned char>& unique, std::vector<unsigned short>& newIndices) {
  std::vector<unsigned> map = WeldMap(vertices, count, stride, unique);
  newIndices.assign(indices, indices + (indexCount > 0 ? indexCount : 0));
  for (unsigned short& index : newIndices)
    if (index < count) index = static_cast<unsigned short>(map[index]);
}

std::string MakeNormalMapName(const std::string& fileName) {
  return StripExtension(fileName) + "_norm." + GetFileExtension(fileName);
}

// ---- The handle --------------------------------------------------------------

Mesh::Mesh() { SRAlloc(); }

Mesh::Mesh(const Mesh& other) : SharedResource<MeshData>(other), texturePairs(other.texturePairs) {}

Mesh& Mesh::operator=(const Mesh& other) {
  if (this == &other) return *this;
  Share(other.record_);
  texturePairs = other.texturePairs;
  return *this;
}

Mesh::~Mesh() noexcept(false) { SRFree(); }

void Mesh::Draw(bool warnIfNoTexture) {
  if (!record_) return;
  std::vector<Chunk>& chunks = record_->chunks;
  for (size_t i = 0; i < chunks.size(); ++i) {
    Chunk& chunk = chunks[i];
    chunk.vertexBuffer.Set();
    chunk.indexBuffer.Set();
    const Texture* textureB = &chunk.TextureB;
    const Texture* textureC = &chunk.TextureC;
    for (const TexturePair& pair : texturePairs) {
      if (pair.chunk == static_cast<int>(i)) {
        textureB = &pair.TextureB;
        textureC = &pair.TextureC;
        break;
      }
    }
    if (textureB->Record()) {
      textureB->Set(0);
    } else if (warnIfNoTexture) {
      ErrorLog << "Warning: Mesh being drawn without an explicitely set texture.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
    }
    if (textureC->Record()) textureC->Set(1);
    int indices = chunk.indexBuffer.Record() ? chunk.indexBuffer.Record()->indexCount : 0;
    RenderIndTris(indices / 3);
  }
}

bool Mesh::ReplaceTexture(const std::string& fileName, const Texture& newB, const Texture& newC) {
  if (!record_) return false;
  bool matched = false;
  for (size_t i = 0; i < record_->chunks.size(); ++i) {
    const TextureRecord* own = record_->chunks[i].TextureB.Record();
    if (!own || GetFileName(own->name) != fileName) continue;
    matched = true;
    int chunk = static_cast<int>(i);
    for (auto it = texturePairs.begin(); it != texturePairs.end();) {
      if (it->chunk == chunk)
        it = texturePairs.erase(it);
      else
        ++it;
    }
    texturePairs.push_back(TexturePair{chunk, newB, newC});
  }
  return matched;
}

void Mesh::FlattenChunks(std::vector<Chunk>& out) const {
  out.clear();
  if (!record_) return;
  for (size_t i = 0; i < record_->chunks.size(); ++i) {
    out.push_back(record_->chunks[i]);
    for (const TexturePair& pair : texturePairs) {
      if (pair.chunk == static_cast<int>(i)) {
        out.back().TextureB = pair.TextureB;
        out.back().TextureC = pair.TextureC;
        break;
      }
    }
  }
}

void Mesh::LoadNormalMaps() {
  if (!record_) return;
  for (Chunk& chunk : record_->chunks) {
    const TextureRecord* base = chunk.TextureB.Record();
    if (base)
      chunk.TextureC.Load(MakeNormalMapName(base->name), kTextureFileFormat, true, true);
    else
      chunk.TextureC.SRFree();
  }
}

Mesh* Mesh::Duplicate(bool readable) const {
  Mesh* copy = new2(Mesh, Mesh);
  if (!copy) return nullptr;
  if (!record_) return copy;
  for (Chunk& chunk : record_->chunks) {
    if (IsWriteOnly(chunk.vertexBuffer) || IsWriteOnly(chunk.indexBuffer)) {
      ErrorLog << "Attempt to duplicate a mesh, but it is write-only so can't.\n";
      delete2(copy);
      return nullptr;
    }
    Chunk fresh;
    fresh.TextureB = chunk.TextureB;
    fresh.TextureC = chunk.TextureC;
    if (const VertexBufferRecord* vb = chunk.vertexBuffer.Record()) {
      fresh.vertexBuffer.Create(vb->vertexCount, vb->format, vb->vertexSize, false, !readable);
      VertexBufferLock from(chunk.vertexBuffer, false);
      VertexBufferLock to(fresh.vertexBuffer, false);
      void* source = nullptr;
      void* target = nullptr;
      if (from.GetData(&source) && to.GetData(&target))
        std::memcpy(target, source, static_cast<size_t>(vb->vertexCount) * vb->vertexSize);
      else
        ErrorLog << "Could not lock vb in Mesh::Duplicate.\n";
    }
    if (chunk.indexBuffer.Record()) {
      unsigned short indexCount = chunk.indexBuffer.Record()->indexCount;
      fresh.indexBuffer.Create(indexCount, false, !readable);
      IndexBufferLock from(chunk.indexBuffer, false);
      IndexBufferLock to(fresh.indexBuffer, false);
      void* source = nullptr;
      void* target = nullptr;
      if (from.GetData(&source) && to.GetData(&target))
        std::memcpy(target, source, static_cast<size_t>(indexCount) * 2);
      else
        ErrorLog << "Could not lock ib in Mesh::Duplicate.\n";
    }
    copy->record_->chunks.push_back(fresh);
  }
  return copy;
}

// A chunk whose new buffers cannot be made or filled keeps its old ones:
// replacing them would leave it drawing garbage.
void Mesh::OptimizeChunks(bool keepReadable) {
  if (!record_) return;
  for (Chunk& chunk : record_->chunks) {
    if (IsWriteOnly(chunk.vertexBuffer) || IsWriteOnly(chunk.indexBuffer)) {
      ErrorLog << "Cannot optimize mesh chunk.  Vertex/Index buffer not readable.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      continue;
    }
    const VertexBufferRecord* oldVB = chunk.vertexBuffer.Record();
    const IndexBufferRecord* oldIB = chunk.indexBuffer.Record();
    if (oldVB) g_meshStats.graphicVertsBefore += oldVB->vertexCount;
    std::vector<unsigned char> unique;
    std::vector<unsigned short> indices;
    int stride = 0;
    {
      // A chunk lacking one of its buffers fails here too, and is reported
      // and kept as it is.
      VertexBufferLock vertexLock(chunk.vertexBuffer, false);
      IndexBufferLock indexLock(chunk.indexBuffer, false);
      void* vertices = nullptr;
      void* oldIndices = nullptr;
      if (!vertexLock.GetData(&vertices) || !indexLock.GetData(&oldIndices)) {
        ErrorLog << "Lock on VB/IB failed... skipping chunk opt.\n";
        continue;
      }
      stride = oldVB->vertexSize;
      if (stride <= 0) continue;
      WeldVertices(static_cast<const unsigned char*>(vertices), oldVB->vertexCount, stride,
                   static_cast<const unsigned short*>(oldIndices), oldIB->indexCount, unique, indices);
    }
    int vertexCount = static_cast<int>(unique.size() / stride);
    VertexBuffer newVB;
    if (!newVB.Create(vertexCount, oldVB->format, stride, false, keepReadable ? oldVB->writeOnly : true)) continue;
    {
      VertexBufferLock lock(newVB, false);
      void* data = nullptr;
      if (!lock.GetData(&data)) {
        ErrorLog << "bad... couldn't lock newly created vb during mesh optimization.\n";
        continue;
      }
      if (!unique.empty()) std::memcpy(data, unique.data(), unique.size());
    }
    IndexBuffer newIB;
    if (!newIB.Create(static_cast<unsigned short>(indices.size()), false, keepReadable ? oldIB->writeOnly : true))
      continue;
    {
      IndexBufferLock lock(newIB, false);
      void* data = nullptr;
      if (!lock.GetData(&data)) {
        ErrorLog << "bad... couldn't lock newly created ib during mesh optimization.\n";
        continue;
      }
      if (!indices.empty()) std::memcpy(data, indices.data(), indices.size() * 2);
    }
    chunk.vertexBuffer = newVB;
    chunk.indexBuffer = newIB;
    g_meshStats.graphicVertsAfter += vertexCount;
    g_meshStats.triangles += static_cast<int>(indices.size() / 3);
  }
}

// Gathers into locals and changes the mesh only at the end, so a chunk that
// cannot be read leaves the old position mesh in place. Indices are gathered
// 32 bits wide: the chunks together may hold more positions than 16 bits
// count before welding.
void Mesh::RebuildPositionsMesh() {
  ProfileScope scope("Build Position Mesh");
  if (!record_) return;
  std::vector<unsigned char> gathered;  // 12 bytes per position
  std::vector<unsigned> gatheredIndices;
  for (Chunk& chunk : record_->chunks) {
    if (IsWriteOnly(chunk.indexBuffer) || IsWriteOnly(chunk.vertexBuffer)) {
      ErrorLog << "RebuildPositionsMesh failing... some ib/vb are write-only.\n";
      WriteCallStack(ErrorLog, "  -Call stack:\n");
      return;
    }
    const VertexBufferRecord* vb = chunk.vertexBuffer.Record();
    if (vb && vb->vertexSize < 12 && vb->vertexCount > 0) {
      ErrorLog << "RebuildPositionsMesh failing... a vertex is too small to hold a position.\n";
      WriteCallStack(ErrorLog, "  -Call stack:\n");
      return;
    }
    unsigned base = static_cast<unsigned>(gathered.size() / 12);
    if (chunk.indexBuffer.Record()) {
      IndexBufferLock lock(chunk.indexBuffer, false);
      void* data = nullptr;
      if (lock.GetData(&data)) {
        const unsigned short* indices = static_cast<const unsigned short*>(data);
        for (int i = 0; i < chunk.indexBuffer.Record()->indexCount; ++i) gatheredIndices.push_back(indices[i] + base);
      } else {
        ErrorLog << "RebuildPositionsMesh: lock IB failed??\n";
      }
    }
    if (vb) {
      VertexBufferLock lock(chunk.vertexBuffer, false);
      void* data = nullptr;
      if (lock.GetData(&data)) {
        const unsigned char* vertices = static_cast<const unsigned char*>(data);
        for (int i = 0; i < vb->vertexCount; ++i) {
          const unsigned char* position = vertices + static_cast<size_t>(i) * vb->vertexSize;
          gathered.insert(gathered.end(), position, position + 12);
        }
      } else {
        ErrorLog << "RebuildPositionsMesh: lock VB failed??\n";
      }
    }
  }
  int count = static_cast<int>(gathered.size() / 12);
  g_meshStats.positionVertsBefore += count;

  ProfileScope weldScope("Optimize Position Mesh");
  std::vector<unsigned char> unique;
  std::vector<unsigned> map = WeldMap(gathered.data(), count, 12, unique);
  std::vector<unsigned short> positionIndices;
  positionIndices.reserve(gatheredIndices.size());
  for (unsigned index : gatheredIndices) {
    unsigned welded = index < static_cast<unsigned>(count) ? map[index] : index;
    if (welded > 0xFFFF) {
      ErrorLog << "RebuildPositionsMesh failing... more positions than 16-bit indices reach.\n";
      WriteCallStack(ErrorLog, "  -Call stack:\n");
      return;
    }
    positionIndices.push_back(static_cast<unsigned short>(welded));
  }
  size_t welded = unique.size() / 12;
  record_->positions.resize(welded);
  if (welded) std::memcpy(&record_->positions[0], unique.data(), unique.size());
  record_->positionIndices.swap(positionIndices);
  g_meshStats.positionVertsAfter += static_cast<int>(welded);
}

}  // namespace G

template <>
std::list<G::MeshData*>& SharedResource<G::MeshData>::Registry() {
  return G::g_meshRegistry;
}
template <>
std::list<G::ModelData*>& SharedResource<G::ModelData>::Registry() {
  return G::g_modelRegistry;
}
