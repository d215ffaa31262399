// Meshes, bones and models. A G::Mesh is the geometry of one bone: chunks of
// vertex buffer, index buffer and two textures, shared between handles with
// per-handle texture overrides. A Model is a tree of bones loaded once per
// file from the .mbm text format, with a binary .bmbm cache under gen\.
#pragma once
#include <cstddef>
#include <list>
#include <string>
#include <vector>

#include "foundation/BlockAlloc.h"
#include "foundation/Maths.h"
#include "foundation/SharedResource_TCPP.h"
#include "graphics/Model.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace G {

// ---- Meshes ----------------------------------------------------------------

// One indexed-triangle draw. Copying a chunk shares its four records.
struct Chunk {
  VertexBuffer vertexBuffer;
  IndexBuffer indexBuffer;
  Texture TextureB;  // stage 0
  Texture TextureC;  // stage 1
};

// The record that the handles of one mesh share.
struct MeshData {
  int refCount = 0;
  std::string name;  // as given in the model file; bones find their mesh by it
  std::vector<Chunk> chunks;
  // Every chunk's positions welded into one list, for geometric queries.
  std::vector<Vector3> positions;
  std::vector<unsigned short> positionIndices;  // three per triangle
};

// A per-handle replacement of one chunk's textures.
struct TexturePair {
  int chunk;
  Texture TextureB;
  Texture TextureC;
};

class Mesh : public SharedResource<MeshData> {
 public:
  // Every handle has a record: a fresh empty one from the start.
  Mesh();
  Mesh(const Mesh& other);
  Mesh& operator=(const Mesh& other);
  ~Mesh() noexcept(false) override;
  // Nothing: the buffers and textures go with the record's own handles.
  void Free() override {}

  // Each chunk with its textures (this handle's overrides first).
  void Draw(bool warnIfNoTexture);
  // Overrides the textures of every chunk whose own TextureB file name
  // (without folders) is exactly fileName; true when any chunk matched.
  bool ReplaceTexture(const std::string& fileName, const Texture& newB, const Texture& newC);
  // A deep copy with fresh buffers (write-only unless readable), allocated
  // through the memory manager; null when a buffer is write-only.
  Mesh* Duplicate(bool readable) const;
  // Welds each chunk's identical vertices and rebuilds its buffers.
  void OptimizeChunks(bool keepReadable);
  // Rebuilds the welded positions and their indices from every chunk.
  void RebuildPositionsMesh();
  // Each chunk's TextureC becomes the normal map of its TextureB.
  void LoadNormalMaps();
  // One chunk per chunk, buffers shared, textures as this handle draws them.
  void FlattenChunks(std::vector<Chunk>& out) const;

  // The mesh record of the binary cache, appended to out; false (out
  // unusable) when a buffer cannot be read or a count does not fit its field.
  bool BinarySave(std::vector<unsigned char>& out) const;
  // Reads one mesh record into this handle's record; the number of bytes
  // consumed, 0 when the record is damaged or a buffer cannot be made.
  size_t BinaryLoad(const unsigned char* bytes, size_t size, bool readable);

  std::vector<TexturePair> texturePairs;
};

// The path without its extension, "_norm.", then the extension.
std::string MakeNormalMapName(const std::string& fileName);

// Merges byte-identical vertices: unique receives the distinct vertices in
// order of first appearance, newIndices the indices renamed to them.
// Indices that name no input vertex are kept as they are.
void WeldVertices(const unsigned char* vertices, int count, int stride, const unsigned short* indices, int indexCount,
                  std::vector<unsigned char>& unique, std::vector<unsigned short>& newIndices);

// Counted by the loaders, reset by Model::Load, written to MeshStatsLog.
struct MeshStatistics {
  int graphicVertsBefore;
  int graphicVertsAfter;
  int triangles;
  int positionVertsBefore;
  int positionVertsAfter;
  int totalBones;
  int wastedBones;
};
extern MeshStatistics g_meshStats;

// ---- Bones -----------------------------------------------------------------

// Bone trees deeper than this are refused by the loaders: every walk of a
// tree recurses once per level.
constexpr int kMaxBoneDepth = 256;

// A node of a model: a transform relative to its parent and a mesh. Made and
// freed only through BoneAllocator (AllocBone, FreeBone).
class Bone {
 public:
  Bone();
  // Leaves the parent, frees the children it owns.
  ~Bone();

  void SetConnectPos(const Vector3& position, bool alsoRest);
  void SetConnectRot(const Matrix3& rotation, bool alsoRest);
  // Rotation from the upper-left 3 x 3, position from elements 3, 7, 11.
  void SetLocalMatrix(const Matrix4& local, bool alsoRest);
  // Parent's world x local, recomputed only after a change above or here.
  const Matrix4& GetWorldMatrix();
  void MarkDirty();
  void SetVisible(bool visible);
  // Appends the child (which must have no parent) and owns it.
  void AddChild(Bone* child);
  // Under a new parent (the caller detaches the bone first), keeping its
  // place in the world or taking its rest pose relative to the parent.
  void AttachTo(Bone* newParent, bool owned, bool keepWorld, bool useRest);
  void Detach(bool keepWorld);
  // Becomes a copy of the source and of its owned subtree; the mesh record is
  // shared, the bones are new.
  void CopyFrom(const Bone& source);
  // Children first when recursive; an invisible bone only when forced.
  void Draw(bool recursive, bool force);

  // The bone record of the binary cache, appended to out.
  bool BinarySave(std::vector<unsigned char>& out) const;
  // Reads one bone record; the bytes consumed, 0 when it is damaged.
  size_t BinaryLoad(const unsigned char* bytes, size_t size, std::vector<std::string>& childNames);

  Bone* GetParent() const { return parent_; }
  const std::list<Bone*>& Children() const { return children_; }
  bool IsOwnedByParent() const { return ownedByParent_ != 0; }
  const Vector3& GetConnectPos() const { return connectPos_; }
  const Matrix3& GetConnectRot() const { return connectRot_; }
  const Vector3& GetRestPos() const { return restPos_; }
  const Matrix3& GetRestRot() const { return restRot_; }
  bool IsDirty() const { return dirty_ != 0; }

  std::string name;
  int boneWord = 0;  // kept with the bone and in the cache, read by no one here
  Mesh mesh;

 private:
  Bone(const Bone&) = delete;
  Bone& operator=(const Bone&) = delete;
  // Frees the owned children, releases the others; the list ends empty.
  void ReleaseChildren();
  void LeaveParent();

  unsigned char ownedByParent_ = 1;

 public:
  unsigned char visible = 1;
  unsigned char marker = 0;  // copied with the bone; read by AnyBoneMarked

 private:
  Matrix4 world_;
  unsigned char dirty_ = 0;
  Bone* parent_ = nullptr;
  Vector3 connectPos_;
  Matrix3 connectRot_;
  Matrix3 restRot_;
  Vector3 restPos_;
  std::list<Bone*> children_;
};

extern BlockAlloc<Bone>* BoneAllocator;
// A bone from BoneAllocator (made at once, with a note in the error log, when
// CreateBoneAllocator has not run yet).
Bone* AllocBone();
// Back to BoneAllocator with its owned subtree; nothing for null.
void FreeBone(Bone* bone);

extern int g_liveBones;
extern int g_peakBones;

// ---- Models ----------------------------------------------------------------

struct ModelData {
  int refCount = 0;
  unsigned char readable = 0;  // the meshes keep readable buffers
  unsigned char instance = 0;  // 0: the master copy in g_loadedModels
  std::string name;            // the path given to Model::Load
  float RandomID = 0;
  unsigned char user = 0;
  Bone* root = nullptr;
};

class Model : public SharedResource<ModelData> {
 public:
  Model() {}
  Model(const Model& other) : SharedResource<ModelData>(other) {}
  Model& operator=(const Model& other);
  ~Model() noexcept(false) override;
  // Gives the bone tree back to BoneAllocator.
  void Free() override;

  // Loads the .mbm file once per path (ignoring case) and readable flag;
  // every handle gets its own bones over the shared meshes. Optimize welds
  // the meshes. readableMeshes false needs optimize: the parser always
  // makes readable buffers (welding, the position mesh and the cache read
  // them back), and only the welding pass rebuilds them write-only at the
  // end, so without it the buffers would stay readable whatever was asked.
  bool Load(const std::string& path, bool user, bool readableMeshes, bool optimize);
  Bone* GetRootBone() const;
  void Draw(bool force);
  // Depth first, each child before its own children; null when absent.
  Bone* FindBone(const std::string& name) const;
  // Over the tree below start (the root when null): see Mesh::ReplaceTexture.
  bool ReplaceTexture(const std::string& fileName, const Texture& newB, const Texture& newC, Bone* start = nullptr);
  // Replaces with the texture and the normal map named after it.
  bool ReplaceTextureWithNormalMap(const std::string& fileName, const Texture& texture);
  void ClearTextureOverrides(Bone* start = nullptr);
  bool AnyBoneMarked() const;
};

// rand() / 32767 as the Windows run-time gives it: 0 to 1 (other run-times'
// rand() reaches further, and is cut to the same 15 bits).
float RandomUnit();

// A record of its own (an instance) with one new root bone.
Model CreateEmptyModel(bool user);
// The master record loaded from the path (ignoring case) with that readable
// flag; null when there is none.
ModelData* FindSharedModel(const std::string& path, bool readable);
// Over every model record whose user flag is set: drop or reload the
// normal maps (TextureC) of every chunk.
void UnloadNormalMaps();
void ReloadNormalMaps();

// One handle per file loaded, master copies.
extern std::list<Model> g_loadedModels;
extern std::list<MeshData*> g_meshRegistry;
extern std::list<ModelData*> g_modelRegistry;

// ---- Model files -----------------------------------------------------------

// What the loaders hand to Model::Load.
struct ModelLoadRecord {
  Bone* root = nullptr;
  float RandomID = 0;
};

// Parses the text model (or reads its cache when the RandomID matches);
// writes the cache after a successful parse.
bool LoadMBM(const std::string& path, bool readableMeshes, ModelLoadRecord& out, bool optimize);
// The parse of a text already read; path names the model in messages, its
// folder prefixes texture names and it gives the cache path.
bool ParseMBM(const std::string& text, const std::string& path, bool readableMeshes, ModelLoadRecord& out,
              bool optimize);
// "gen\" + the path without its extension + ".bmbm".
std::string ModelCachePath(const std::string& path);

constexpr int kBmbmVersion = 1335;
// The cache's RandomID; a negative random value when the file is missing or
// of another version.
float ReadCachedRandomID(const std::string& cachePath);
bool LoadMeshBMBM(const std::string& cachePath, bool readable, ModelLoadRecord& out);
// The record stream after the header. On failure every bone made is given
// back and out is untouched.
bool DoLoadBMBMHierarchy(const unsigned char* bytes, size_t size, bool readable, ModelLoadRecord& out);
bool SaveMeshBMBM(const std::string& cachePath, const ModelLoadRecord& record);
// The bone's subtree in post-order: children, mesh record, bone record.
bool SaveBMBMHierarchy(std::vector<unsigned char>& out, const Bone* bone);

}  // namespace G

template <>
std::list<G::MeshData*>& SharedResource<G::MeshData>::Registry();
template <>
std::list<G::ModelData*>& SharedResource<G::ModelData>::Registry();
