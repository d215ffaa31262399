// Meshes, bones, model handles and the mesh-chunk pool, built in memory and
// drawn through the null backend.
#include <cmath>
#include <limits>

#include "ModelFixture.h"
#include "graphics/MeshChunkPool.h"

namespace {

using G::Bone;
using G::Mesh;

class Meshes : public ModelTest {};
class Bones : public ModelTest {};
class Models : public ModelTest {};
class ChunkPool : public ModelTest {};

const std::string kNoTextureWarning =
    "Warning: Mesh being drawn without an explicitely set texture.\n  -call stack:\n\n";

// ---- Welding ---------------------------------------------------------------

TEST_F(Meshes, WeldVerticesMergesOnlyByteIdenticalVertices) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Vertex a = V(0, 0, 0), b = V(1, 0, 0), c = V(0, 1, 0), d = V(0, 0, 1);
  struct Case {
    const char* what;
    std::vector<Vertex> vertices;
    std::vector<unsigned short> indices;
    std::vector<Vertex> unique;
    std::vector<unsigned short> welded;
  } cases[] = {
      {"twins far apart become the first", {a, b, c, a, d}, {3, 1, 2, 0, 3, 4}, {a, b, c, d}, {0, 1, 2, 0, 0, 3}},
      {"one byte of colour keeps both", {a, V(0, 0, 0, 0xFFFFFFFE)}, {0, 1, 1}, {a, V(0, 0, 0, 0xFFFFFFFE)}, {0, 1, 1}},
      {"all distinct keep their indices", {a, b, c}, {2, 1, 0}, {a, b, c}, {2, 1, 0}},
      {"signed zeros differ, equal NaN bits match",
       {V(0, 0, 0), V(-0.0f, 0, 0), V(nan, 0, 0), V(nan, 0, 0)},
       {3, 2, 1, 0},
       {V(0, 0, 0), V(-0.0f, 0, 0), V(nan, 0, 0)},
       {2, 2, 1, 0}},
      {"indices naming no vertex stay", {a, a}, {0, 1, 7}, {a}, {0, 0, 7}},
  };
  for (const Case& t : cases) {
    std::vector<unsigned char> unique;
    std::vector<unsigned short> welded;
    G::WeldVertices(reinterpret_cast<const unsigned char*>(t.vertices.data()), static_cast<int>(t.vertices.size()),
                    28, t.indices.data(), static_cast<int>(t.indices.size()), unique, welded);
    ASSERT_EQ(unique.size(), t.unique.size() * 28) << t.what;
    EXPECT_EQ(std::memcmp(unique.data(), t.unique.data(), unique.size()), 0) << t.what;
    EXPECT_EQ(welded, t.welded) << t.what;
  }
}

TEST_F(Meshes, OptimizeChunksWeldsReadableChunksAndCountsThem) {
  Mesh mesh;
  std::vector<G::Chunk>& chunks = mesh.Record()->chunks;
  Vertex a = V(0, 0, 0), b = V(1, 0, 0), c = V(0, 1, 0);
  chunks.push_back(MakeChunk({a, b, a, c, b}, {0, 1, 2, 2, 3, 4}));
  chunks.push_back(MakeChunk({a, a, a}, {0, 1, 2}, true));
  const G::VertexBufferRecord* oldVB = chunks[0].vertexBuffer.Record();
  const G::VertexBufferRecord* writeOnlyVB = chunks[1].vertexBuffer.Record();
  LogTail log;
  mesh.OptimizeChunks(true);
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Cannot optimize mesh chunk.  Vertex/Index buffer not readable.\n  -call stack:\n\n");
  EXPECT_NE(chunks[0].vertexBuffer.Record(), oldVB);
  EXPECT_EQ(VerticesOf(chunks[0].vertexBuffer), (std::vector<Vertex>{a, b, c}));
  EXPECT_EQ(IndicesOf(chunks[0].indexBuffer), (std::vector<unsigned short>{0, 1, 0, 0, 2, 1}));
  EXPECT_FALSE(chunks[0].vertexBuffer.Record()->writeOnly);
  EXPECT_FALSE(chunks[0].indexBuffer.Record()->writeOnly);
  EXPECT_EQ(chunks[0].vertexBuffer.Record()->format.size(), 3u);
  EXPECT_EQ(chunks[1].vertexBuffer.Record(), writeOnlyVB);
  EXPECT_EQ(G::g_meshStats.graphicVertsBefore, 5);
  EXPECT_EQ(G::g_meshStats.graphicVertsAfter, 3);
  EXPECT_EQ(G::g_meshStats.triangles, 2);

  // Without keeping them readable, the rebuilt buffers are write-only.
  mesh.Record()->chunks.pop_back();
  mesh.OptimizeChunks(false);
  EXPECT_TRUE(chunks[0].vertexBuffer.Record()->writeOnly);
  EXPECT_TRUE(chunks[0].indexBuffer.Record()->writeOnly);
  EXPECT_EQ(chunks[0].vertexBuffer.Record()->vertexCount, 3);
}

TEST_F(Meshes, OptimizeChunksKeepsAChunkItCannotLock) {
  Mesh mesh;
  mesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0), V(0, 0, 0), V(1, 0, 0)}, {0, 1, 2}));
  const G::VertexBufferRecord* oldVB = mesh.Record()->chunks[0].vertexBuffer.Record();
  NullBackend::Scripted().lockIndexBufferResult = false;
  LogTail log;
  mesh.OptimizeChunks(true);
  EXPECT_EQ(log.Text(), "Lock on VB/IB failed... skipping chunk opt.\n");
  EXPECT_EQ(mesh.Record()->chunks[0].vertexBuffer.Record(), oldVB);
  EXPECT_EQ(G::g_meshStats.graphicVertsBefore, 3);
  EXPECT_EQ(G::g_meshStats.graphicVertsAfter, 0);

  // A chunk with only one of its buffers cannot be locked either; its
  // vertices still count.
  NullBackend::Scripted().lockIndexBufferResult = true;
  G::g_meshStats = G::MeshStatistics{};
  G::Chunk verticesOnly = MakeChunk({V(0, 0, 0), V(0, 0, 0)}, {0, 1, 1});
  verticesOnly.indexBuffer.SRFree();
  G::Chunk indicesOnly = MakeChunk({V(0, 0, 0)}, {0, 0, 0});
  indicesOnly.vertexBuffer.SRFree();
  mesh.Record()->chunks = {verticesOnly, indicesOnly};
  LogTail partsLog;
  mesh.OptimizeChunks(true);
  EXPECT_EQ(MaskCallStacks(partsLog.Text()),
            "Warning: attempt to lock a non-allocated index buffer.\n  -call stack:\n\n"
            "Lock on VB/IB failed... skipping chunk opt.\n"
            "Warning: attempt to lock a non-allocated vertex buffer.\n  -call stack:\n\n"
            "Lock on VB/IB failed... skipping chunk opt.\n");
  EXPECT_EQ(mesh.Record()->chunks[0].vertexBuffer.Record(), verticesOnly.vertexBuffer.Record());
  EXPECT_EQ(mesh.Record()->chunks[1].indexBuffer.Record(), indicesOnly.indexBuffer.Record());
  EXPECT_EQ(G::g_meshStats.graphicVertsBefore, 2);
  EXPECT_EQ(G::g_meshStats.graphicVertsAfter, 0);
  EXPECT_EQ(G::g_meshStats.triangles, 0);
}

TEST_F(Meshes, PositionMeshWeldsPositionsOfAllChunks) {
  Mesh mesh;
  std::vector<G::Chunk>& chunks = mesh.Record()->chunks;
  // Chunk 0's first and last vertex differ only in colour: one position.
  chunks.push_back(MakeChunk({V(0, 0, 0, 0xFFFF0000), V(1, 0, 0), V(0, 0, 0, 0xFF0000FF)}, {0, 1, 2}));
  chunks.push_back(MakeChunk({V(1, 0, 0), V(2, 0, 0)}, {1, 0, 1}));
  mesh.RebuildPositionsMesh();
  const std::vector<Vector3>& positions = mesh.Record()->positions;
  ASSERT_EQ(positions.size(), 3u);
  EXPECT_EQ(positions[0].x, 0);
  EXPECT_EQ(positions[1].x, 1);
  EXPECT_EQ(positions[2].x, 2);
  EXPECT_EQ(mesh.Record()->positionIndices, (std::vector<unsigned short>{0, 1, 0, 2, 1, 2}));
  EXPECT_EQ(G::g_meshStats.positionVertsBefore, 5);
  EXPECT_EQ(G::g_meshStats.positionVertsAfter, 3);

  // A write-only chunk anywhere leaves the position mesh as it was.
  chunks.push_back(MakeChunk({V(5, 5, 5)}, {0, 0, 0}, true));
  LogTail log;
  mesh.RebuildPositionsMesh();
  EXPECT_EQ(MaskCallStacks(log.Text()), "RebuildPositionsMesh failing... some ib/vb are write-only.\n  -Call stack:\n\n");
  EXPECT_EQ(mesh.Record()->positions.size(), 3u);
  EXPECT_EQ(mesh.Record()->positionIndices.size(), 6u);
}

// The chunks together may hold more vertices than 16-bit indices reach, as
// long as their distinct positions fit.
TEST_F(Meshes, PositionMeshesBeyondSixteenBitsBeforeWelding) {
  std::vector<Vertex> first, second;
  std::vector<unsigned short> indices;
  for (int i = 0; i < 40000; ++i) {
    first.push_back(V(static_cast<float>(i), 0, 0, 0xFF000000));
    second.push_back(V(static_cast<float>(i), 0, 0, 0xFFFFFFFF));  // the same positions, other colours
  }
  indices = {0, 1, 39999};
  Mesh mesh;
  mesh.Record()->chunks.push_back(MakeChunk(first, indices));
  mesh.Record()->chunks.push_back(MakeChunk(second, indices));
  mesh.RebuildPositionsMesh();
  EXPECT_EQ(mesh.Record()->positions.size(), 40000u);
  EXPECT_EQ(mesh.Record()->positionIndices, (std::vector<unsigned short>{0, 1, 39999, 0, 1, 39999}));

  // Distinct positions past 16 bits: refused, the old position mesh kept.
  for (Vertex& v : second) v.position[1] = 1;
  mesh.Record()->chunks[1] = MakeChunk(second, indices);
  LogTail log;
  mesh.RebuildPositionsMesh();
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "RebuildPositionsMesh failing... more positions than 16-bit indices reach.\n  -Call stack:\n\n");
  EXPECT_EQ(mesh.Record()->positions.size(), 40000u);
}

// ---- Handles, drawing and overrides ----------------------------------------

TEST_F(Meshes, HandlesShareTheRecordAndCopyTheirOverrides) {
  size_t records = G::g_meshRegistry.size();
  Mesh a;
  a.texturePairs.push_back(G::TexturePair{0, NamedTexture("x.bmp"), G::Texture()});
  Mesh b(a);
  EXPECT_EQ(b.Record(), a.Record());
  EXPECT_EQ(a.Record()->refCount, 2);
  EXPECT_EQ(b.texturePairs.size(), 1u);
  {
    Mesh c;
    EXPECT_EQ(G::g_meshRegistry.size(), records + 2);
    c = a;  // c's own record goes
    EXPECT_EQ(G::g_meshRegistry.size(), records + 1);
    EXPECT_EQ(a.Record()->refCount, 3);
    Mesh& same = c;
    c = same;
    EXPECT_EQ(a.Record()->refCount, 3);
    EXPECT_EQ(c.texturePairs.size(), 1u);
  }
  EXPECT_EQ(a.Record()->refCount, 2);
}

TEST_F(Meshes, DrawUsesTheHandlesOverridesPerChunk) {
  G::Texture wood = NamedTexture("m\\wood.bmp"), stone = NamedTexture("m\\stone.bmp"),
             bump = NamedTexture("m\\bump.bmp");
  Mesh mesh;
  std::vector<G::Chunk>& chunks = mesh.Record()->chunks;
  chunks.push_back(MakeChunk({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)}, {0, 1, 2, 2, 1, 0, 0}));  // 7 indices: 2 triangles
  chunks.push_back(MakeChunk({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)}, {0, 1, 2}));
  chunks[0].TextureB = wood;
  chunks[1].TextureB = wood;
  mesh.texturePairs.push_back(G::TexturePair{1, stone, bump});
  NullBackend::ClearCalls();
  mesh.Draw(true);
  EXPECT_EQ(NullBackend::CallText(),
            "VertexBuffer::Set\nIndexBuffer::Set\nTexture::Set(0)\nRenderIndTris(2)\n"
            "VertexBuffer::Set\nIndexBuffer::Set\nTexture::Set(0)\nTexture::Set(1)\nRenderIndTris(1)\n");
  const auto& draws = NullBackend::BufferDraws();
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].texture0, wood.Record());
  EXPECT_EQ(draws[0].vertexBuffer, chunks[0].vertexBuffer.Record());
  EXPECT_EQ(draws[1].texture0, stone.Record());
  EXPECT_EQ(NullBackend::BoundTexture(1), bump.Record());
}

TEST_F(Meshes, ChunksWithoutATextureWarnOncePerChunkPerDrawAndLeaveStagesAlone) {
  G::Texture before = NamedTexture("before.bmp");
  before.Set(0);
  before.Set(1);
  Mesh mesh;
  mesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  mesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  LogTail log;
  mesh.Draw(true);
  mesh.Draw(true);
  mesh.Draw(false);
  std::string expected;
  for (int i = 0; i < 4; ++i) expected += kNoTextureWarning;
  EXPECT_EQ(MaskCallStacks(log.Text()), expected);
  EXPECT_EQ(NullBackend::BoundTexture(0), before.Record());
  EXPECT_EQ(NullBackend::BoundTexture(1), before.Record());
  EXPECT_EQ(NullBackend::BufferDraws().size(), 6u);
}

TEST_F(Meshes, ReplaceTextureMatchesTheFileNameOfEachChunksOwnTexture) {
  Mesh mesh;
  std::vector<G::Chunk>& chunks = mesh.Record()->chunks;
  for (int i = 0; i < 3; ++i) chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  chunks[0].TextureB = NamedTexture("models\\a\\wood.bmp");
  chunks[1].TextureB = NamedTexture("stone.bmp");
  G::Texture first = NamedTexture("first.bmp"), second = NamedTexture("second.bmp"), bump = NamedTexture("b.bmp");

  EXPECT_TRUE(mesh.ReplaceTexture("wood.bmp", first, G::Texture()));
  EXPECT_TRUE(mesh.ReplaceTexture("wood.bmp", second, bump));
  ASSERT_EQ(mesh.texturePairs.size(), 1u);  // only the last override of chunk 0
  EXPECT_EQ(mesh.texturePairs[0].chunk, 0);
  EXPECT_EQ(mesh.texturePairs[0].TextureB.Record(), second.Record());
  EXPECT_EQ(mesh.texturePairs[0].TextureC.Record(), bump.Record());

  EXPECT_FALSE(mesh.ReplaceTexture("Wood.bmp", first, G::Texture()));
  EXPECT_FALSE(mesh.ReplaceTexture("models\\a\\wood.bmp", first, G::Texture()));
  EXPECT_TRUE(mesh.ReplaceTexture("stone.bmp", first, G::Texture()));
  ASSERT_EQ(mesh.texturePairs.size(), 2u);
  EXPECT_EQ(mesh.texturePairs[1].chunk, 1);
  // The chunks' own textures are untouched.
  EXPECT_EQ(chunks[0].TextureB.Record()->name, "models\\a\\wood.bmp");

  std::vector<G::Chunk> flat;
  mesh.FlattenChunks(flat);
  ASSERT_EQ(flat.size(), 3u);
  EXPECT_EQ(flat[0].TextureB.Record(), second.Record());
  EXPECT_EQ(flat[0].TextureC.Record(), bump.Record());
  EXPECT_EQ(flat[1].TextureB.Record(), first.Record());
  EXPECT_EQ(flat[2].TextureB.Record(), nullptr);
  EXPECT_EQ(flat[2].vertexBuffer.Record(), chunks[2].vertexBuffer.Record());
  EXPECT_EQ(flat[2].indexBuffer.Record(), chunks[2].indexBuffer.Record());
}

TEST_F(Meshes, DuplicateCopiesIntoFreshBuffers) {
  G::Texture wood = NamedTexture("wood.bmp");
  Mesh mesh;
  mesh.Record()->name = "box";
  mesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0), V(1, 2, 3)}, {0, 1, 1}));
  mesh.Record()->chunks[0].TextureB = wood;
  mesh.RebuildPositionsMesh();
  for (bool readable : {false, true}) {
    Mesh* copy = mesh.Duplicate(readable);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->Record(), mesh.Record());
    EXPECT_EQ(copy->Record()->name, "");
    EXPECT_TRUE(copy->Record()->positions.empty());
    ASSERT_EQ(copy->Record()->chunks.size(), 1u);
    G::Chunk& chunk = copy->Record()->chunks[0];
    EXPECT_NE(chunk.vertexBuffer.Record(), mesh.Record()->chunks[0].vertexBuffer.Record());
    EXPECT_EQ(VerticesOf(chunk.vertexBuffer), VerticesOf(mesh.Record()->chunks[0].vertexBuffer));
    EXPECT_EQ(IndicesOf(chunk.indexBuffer), (std::vector<unsigned short>{0, 1, 1}));
    EXPECT_EQ(chunk.vertexBuffer.Record()->writeOnly, !readable);
    EXPECT_EQ(chunk.indexBuffer.Record()->writeOnly, !readable);
    EXPECT_EQ(chunk.TextureB.Record(), wood.Record());
    delete2(copy);
  }
}

TEST_F(Meshes, DuplicateRefusesWriteOnlyMeshesAndReportsFailedLocks) {
  Mesh mesh;
  mesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  mesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}, true));
  size_t records = G::g_meshRegistry.size();
  LogTail log;
  EXPECT_EQ(mesh.Duplicate(true), nullptr);
  EXPECT_EQ(log.Text(), "Attempt to duplicate a mesh, but it is write-only so can't.\n");
  EXPECT_EQ(G::g_meshRegistry.size(), records);

  mesh.Record()->chunks.pop_back();
  NullBackend::Scripted().lockVertexBufferResult = false;
  LogTail lockLog;
  Mesh* copy = mesh.Duplicate(true);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(lockLog.Text(), "Could not lock vb in Mesh::Duplicate.\n");
  EXPECT_EQ(copy->Record()->chunks.size(), 1u);
  delete2(copy);
}

TEST_F(Meshes, NormalMapNames) {
  struct {
    const char* name;
    const char* normal;
  } cases[] = {
      {"models\\wood.bmp", "models\\wood_norm.bmp"},
      {"a.b\\c.png", "a.b\\c_norm.png"},
      {"x.tar.gz", "x.tar_norm.gz"},
      {"noext", "noext_norm."},
  };
  for (const auto& t : cases) EXPECT_EQ(G::MakeNormalMapName(t.name), t.normal) << t.name;
}

TEST_F(Meshes, NormalMapsFollowTextureBAndTheUserFlag) {
  G::Texture wood = NamedTexture("m\\wood.bmp"), normal = NamedTexture("m\\wood_norm.bmp"),
             stray = NamedTexture("stray.bmp");
  Mesh mesh;
  std::vector<G::Chunk>& chunks = mesh.Record()->chunks;
  chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  chunks[0].TextureB = wood;
  chunks[1].TextureC = stray;
  mesh.LoadNormalMaps();
  EXPECT_EQ(chunks[0].TextureC.Record(), normal.Record());
  EXPECT_EQ(chunks[1].TextureC.Record(), nullptr);

  G::Model user = G::CreateEmptyModel(true);
  G::Model other = G::CreateEmptyModel(false);
  user.GetRootBone()->mesh = mesh;
  Mesh otherMesh;
  otherMesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  otherMesh.Record()->chunks[0].TextureC = stray;
  other.GetRootBone()->mesh = otherMesh;
  G::UnloadNormalMaps();
  EXPECT_EQ(chunks[0].TextureC.Record(), nullptr);
  EXPECT_EQ(otherMesh.Record()->chunks[0].TextureC.Record(), stray.Record());
  G::ReloadNormalMaps();
  EXPECT_EQ(chunks[0].TextureC.Record(), normal.Record());
  EXPECT_EQ(otherMesh.Record()->chunks[0].TextureC.Record(), stray.Record());
}

// ---- Bones -----------------------------------------------------------------

void ExpectTranslation(const Matrix4& m, float x, float y, float z) {
  EXPECT_NEAR(m.m[3], x, 1e-5f);
  EXPECT_NEAR(m.m[7], y, 1e-5f);
  EXPECT_NEAR(m.m[11], z, 1e-5f);
}

TEST_F(Bones, WorldMatricesFollowTheirParentsOnTheNextRead) {
  Bone* root = G::AllocBone();
  Bone* child = G::AllocBone();
  root->AddChild(child);
  root->SetConnectPos(Vector3(1, 2, 3), false);
  child->SetConnectPos(Vector3(1, 0, 0), true);
  ExpectTranslation(child->GetWorldMatrix(), 2, 2, 3);
  EXPECT_FALSE(child->IsDirty());

  // A quarter turn about z at the root turns the child's offset with it.
  root->SetConnectRot(Matrix3(0, -1, 0, 1, 0, 0, 0, 0, 1), false);
  EXPECT_TRUE(child->IsDirty());
  ExpectTranslation(child->GetWorldMatrix(), 1, 3, 3);
  EXPECT_NEAR(child->GetWorldMatrix().m[1], -1, 1e-6f);

  // Rest poses change only when asked.
  EXPECT_EQ(root->GetRestPos().x, 0);
  EXPECT_EQ(root->GetRestRot().m[0], 1);
  EXPECT_EQ(child->GetRestPos().x, 1);

  // The local matrix gives the rotation and elements 3, 7, 11.
  child->SetLocalMatrix(Matrix4(1, 0, 0, 7, 0, 0, -1, 8, 0, 1, 0, 9, 0, 0, 0, 1), true);
  EXPECT_EQ(child->GetConnectPos().y, 8);
  EXPECT_EQ(child->GetConnectRot().m[5], -1);
  EXPECT_EQ(child->GetRestPos().z, 9);

  root->SetVisible(false);
  EXPECT_FALSE(child->visible);
  G::FreeBone(root);
}

TEST_F(Bones, AttachAndDetachKeepTheWorldPlaceWhenAsked) {
  Bone* parent = G::AllocBone();
  parent->SetConnectPos(Vector3(10, 0, 0), true);
  Bone* bone = G::AllocBone();
  bone->SetConnectPos(Vector3(1, 1, 1), true);
  bone->AttachTo(parent, true, true, false);
  ExpectTranslation(bone->GetWorldMatrix(), 1, 1, 1);
  EXPECT_FLOAT_EQ(bone->GetConnectPos().x, -9);
  EXPECT_EQ(parent->Children().front(), bone);

  bone->Detach(true);
  EXPECT_EQ(bone->GetParent(), nullptr);
  EXPECT_TRUE(parent->Children().empty());
  ExpectTranslation(bone->GetWorldMatrix(), 1, 1, 1);

  bone->SetConnectPos(Vector3(5, 5, 5), false);  // the rest pose stays (1, 1, 1)
  bone->AttachTo(parent, false, false, true);
  ExpectTranslation(bone->GetWorldMatrix(), 1, 1, 1);
  EXPECT_FALSE(bone->IsOwnedByParent());

  bone->Detach(false);
  ExpectTranslation(bone->GetWorldMatrix(), -9, 1, 1);
  EXPECT_TRUE(bone->IsOwnedByParent());
  G::FreeBone(bone);
  G::FreeBone(parent);
}

// A bone it does not own outlives the parent, which lets it go instead of
// leaving it pointing at the freed slot.
TEST_F(Bones, FreeingABoneFreesWhatItOwnsAndLetsTheRestGo) {
  Bone* root = G::AllocBone();
  root->SetConnectPos(Vector3(3, 0, 0), true);
  Bone* owned = G::AllocBone();
  Bone* grandchild = G::AllocBone();
  Bone* borrowed = G::AllocBone();
  root->AddChild(owned);
  owned->AddChild(grandchild);
  borrowed->AttachTo(root, false, false, false);
  ExpectTranslation(borrowed->GetWorldMatrix(), 3, 0, 0);
  EXPECT_EQ(G::g_liveBones, 4);
  G::FreeBone(root);
  EXPECT_EQ(G::g_liveBones, 1);
  EXPECT_EQ(borrowed->GetParent(), nullptr);
  ExpectTranslation(borrowed->GetWorldMatrix(), 0, 0, 0);
  G::FreeBone(borrowed);
}

TEST_F(Bones, TheLastBoneFreedReportsThePeakOnce) {
  LogTail stats("_stat.txt");
  Bone* a = G::AllocBone();
  Bone* b = G::AllocBone();
  G::FreeBone(b);
  Bone* c = G::AllocBone();
  Bone* d = G::AllocBone();
  G::FreeBone(a);
  G::FreeBone(c);
  EXPECT_EQ(stats.Text(), "");
  G::FreeBone(d);
  EXPECT_EQ(stats.Text(), "Last bone freed.  Peek bone count: 3\n\n");
  G::FreeBone(G::AllocBone());
  EXPECT_EQ(stats.Text(), "Last bone freed.  Peek bone count: 3\n\nLast bone freed.  Peek bone count: 1\n\n");
}

TEST_F(Bones, CopyFromCopiesTheOwnedTreeAndSharesMeshes) {
  G::Texture wood = NamedTexture("wood.bmp");
  Bone* root = G::AllocBone();
  root->name = "r";
  root->boneWord = 7;
  root->marker = 1;
  root->visible = 0;
  root->SetConnectPos(Vector3(1, 2, 3), true);
  root->mesh.Record()->name = "m";
  root->mesh.texturePairs.push_back(G::TexturePair{0, wood, G::Texture()});
  Bone* child = G::AllocBone();
  child->name = "c";
  Bone* grandchild = G::AllocBone();
  grandchild->name = "g";
  Bone* borrowed = G::AllocBone();
  root->AddChild(child);
  child->AddChild(grandchild);
  borrowed->AttachTo(root, false, false, false);

  Bone* copy = G::AllocBone();
  copy->CopyFrom(*root);
  EXPECT_EQ(copy->name, "r");
  EXPECT_EQ(copy->boneWord, 7);
  EXPECT_EQ(copy->marker, 1);
  EXPECT_EQ(copy->visible, 0);
  EXPECT_EQ(copy->GetConnectPos().z, 3);
  EXPECT_EQ(copy->mesh.Record(), root->mesh.Record());
  EXPECT_EQ(root->mesh.Record()->refCount, 2);
  EXPECT_EQ(copy->mesh.texturePairs.size(), 1u);
  ASSERT_EQ(copy->Children().size(), 1u);  // the borrowed bone is not copied
  Bone* childCopy = copy->Children().front();
  EXPECT_NE(childCopy, child);
  EXPECT_EQ(childCopy->name, "c");
  EXPECT_EQ(childCopy->GetParent(), copy);
  ASSERT_EQ(childCopy->Children().size(), 1u);
  EXPECT_EQ(childCopy->Children().front()->name, "g");
  EXPECT_EQ(G::g_liveBones, 7);

  // Copying itself changes nothing; copying its own child replaces the tree
  // with that child's, without reading the child after it is freed.
  copy->CopyFrom(*copy);
  EXPECT_EQ(copy->Children().size(), 1u);
  copy->CopyFrom(*childCopy);
  EXPECT_EQ(copy->name, "c");
  ASSERT_EQ(copy->Children().size(), 1u);
  EXPECT_EQ(copy->Children().front()->name, "g");
  EXPECT_EQ(G::g_liveBones, 6);

  // A copy has no parent: it leaves the one it had, and does not keep the
  // source's world matrix, which includes the source's parent.
  child->SetConnectPos(Vector3(1, 0, 0), true);
  ExpectTranslation(child->GetWorldMatrix(), 2, 2, 3);
  Bone* listed = G::AllocBone();
  child->AddChild(listed);
  listed->CopyFrom(*child);
  EXPECT_EQ(listed->GetParent(), nullptr);
  EXPECT_EQ(child->Children().size(), 1u);  // the grandchild only
  ExpectTranslation(listed->GetWorldMatrix(), 1, 0, 0);
  G::FreeBone(listed);
  G::FreeBone(copy);
  G::FreeBone(borrowed);
  G::FreeBone(root);
}

// The descendant is freed during the copy; that it had a parent (so its
// cached world matrix is not this bone's) must be known beforehand.
TEST_F(Bones, CopyingADescendantDropsItsCachedWorldMatrix) {
  Bone* root = G::AllocBone();
  root->SetConnectPos(Vector3(5, 0, 0), true);
  Bone* child = G::AllocBone();
  child->SetConnectPos(Vector3(1, 0, 0), true);
  root->AddChild(child);
  ExpectTranslation(child->GetWorldMatrix(), 6, 0, 0);
  EXPECT_FALSE(child->IsDirty());
  root->CopyFrom(*child);
  EXPECT_TRUE(root->IsDirty());
  ExpectTranslation(root->GetWorldMatrix(), 1, 0, 0);
  EXPECT_TRUE(root->Children().empty());
  EXPECT_EQ(G::g_liveBones, 1);
  G::FreeBone(root);
}

TEST_F(Bones, BonesComeFromBlocksOf64) {
  std::vector<Bone*> bones;
  for (int i = 0; i < 64; ++i) bones.push_back(G::AllocBone());
  EXPECT_EQ(G::BoneAllocator->BlockCount(), 1);
  bones.push_back(G::AllocBone());
  EXPECT_EQ(G::BoneAllocator->BlockCount(), 2);
  EXPECT_EQ(G::BoneAllocator->ObjectsPerBlock(), 64);
  Bone* slot3 = bones[3];
  G::FreeBone(slot3);
  G::FreeBone(bones[64]);
  bones[3] = G::AllocBone();
  EXPECT_EQ(bones[3], slot3);
  bones.pop_back();
  for (Bone* bone : bones) G::FreeBone(bone);
  EXPECT_EQ(G::BoneAllocator->TotalFree(), 128);
}

TEST_F(Bones, TheAllocatorReportsABoneLeftAlive) {
  Bone* leaked = G::AllocBone();
  leaked->mesh.SRFree();  // the slot's destructor will not run to release it
  LogTail log;
  G::DestroyBoneAllocator();
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Something leaked that was made with BlockAlloc. That memory is going away now though...\n"
            "  -call stack of allocator free:\n\n");
  // The slot went with the allocator; its destructor never ran.
  G::g_liveBones = 0;
  G::g_peakBones = 0;
  G::CreateBoneAllocator();
}

// ---- Model handles -----------------------------------------------------------

TEST_F(Models, EmptyModelsAndBoneSearch) {
  G::Model model = G::CreateEmptyModel(true);
  const G::ModelData* record = model.Record();
  EXPECT_EQ(record->instance, 1);
  EXPECT_EQ(record->readable, 0);
  EXPECT_EQ(record->user, 1);
  EXPECT_EQ(record->name, "");
  EXPECT_GE(record->RandomID, 0.0f);
  EXPECT_LE(record->RandomID, 1.0f);

  Bone* root = model.GetRootBone();
  root->name = "root";
  Bone* a = G::AllocBone();
  Bone* deep = G::AllocBone();
  Bone* x = G::AllocBone();
  a->name = "a";
  deep->name = "x";
  x->name = "x";
  root->AddChild(a);
  a->AddChild(deep);
  root->AddChild(x);
  EXPECT_EQ(model.FindBone("root"), root);
  EXPECT_EQ(model.FindBone("x"), deep);  // each child's subtree before the next child
  EXPECT_EQ(model.FindBone("X"), nullptr);
  EXPECT_EQ(G::Model().FindBone("root"), nullptr);
  EXPECT_FALSE(model.AnyBoneMarked());
  deep->marker = 1;
  EXPECT_TRUE(model.AnyBoneMarked());

  G::Model second = model;
  EXPECT_EQ(second.GetRootBone(), root);
  EXPECT_EQ(model.Record()->refCount, 2);
}

TEST_F(Models, DrawingATreeDrawsChildrenFirstAndSkipsEmptyOrHiddenBones) {
  G::Model model = G::CreateEmptyModel(false);
  Bone* root = model.GetRootBone();
  Bone* child = G::AllocBone();
  Bone* hidden = G::AllocBone();
  root->AddChild(child);
  root->AddChild(hidden);
  G::Texture wood = NamedTexture("wood.bmp");
  Mesh mesh;
  mesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)}, {0, 1, 2}));
  mesh.Record()->chunks[0].TextureB = wood;
  child->mesh = mesh;
  hidden->mesh = mesh;
  hidden->visible = 0;
  child->SetConnectPos(Vector3(4, 0, 0), false);
  NullBackend::ClearCalls();
  model.Draw(false);  // the root has no chunk
  EXPECT_EQ(NullBackend::CallText(),
            "SetWorldMatrix\nUpdateShaderMatrices\nVertexBuffer::Set\nIndexBuffer::Set\nTexture::Set(0)\n"
            "RenderIndTris(1)\n");
  ExpectTranslation(G::GetWorldMatrix(), 4, 0, 0);
  model.Draw(true);
  EXPECT_EQ(NullBackend::BufferDraws().size(), 3u);
}

TEST_F(Models, TextureReplacementAndOverridesOverTheTree) {
  G::Model model = G::CreateEmptyModel(false);
  Bone* root = model.GetRootBone();
  Bone* child = G::AllocBone();
  root->AddChild(child);
  G::Texture wood = NamedTexture("m\\wood.bmp"), stone = NamedTexture("m\\stone.bmp"),
             stoneNormal = NamedTexture("m\\stone_norm.bmp");
  Mesh mesh;
  mesh.Record()->chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  mesh.Record()->chunks[0].TextureB = wood;
  root->mesh = mesh;
  child->mesh = mesh;
  EXPECT_TRUE(model.ReplaceTextureWithNormalMap("wood.bmp", stone));
  for (Bone* bone : {root, child}) {
    ASSERT_EQ(bone->mesh.texturePairs.size(), 1u);
    EXPECT_EQ(bone->mesh.texturePairs[0].TextureB.Record(), stone.Record());
    EXPECT_EQ(bone->mesh.texturePairs[0].TextureC.Record(), stoneNormal.Record());
  }
  EXPECT_FALSE(model.ReplaceTexture("stone.bmp", wood, G::Texture()));
  EXPECT_TRUE(model.ReplaceTexture("wood.bmp", wood, G::Texture(), child));
  EXPECT_EQ(root->mesh.texturePairs[0].TextureB.Record(), stone.Record());
  EXPECT_EQ(child->mesh.texturePairs[0].TextureB.Record(), wood.Record());
  model.ClearTextureOverrides(child);
  EXPECT_TRUE(child->mesh.texturePairs.empty());
  EXPECT_EQ(root->mesh.texturePairs.size(), 1u);
  model.ClearTextureOverrides();
  EXPECT_TRUE(root->mesh.texturePairs.empty());
}

// ---- Mesh-chunk pool -------------------------------------------------------

TEST_F(ChunkPool, BonesSharingChunksDrawFromOneEntry) {
  G::Texture wood = NamedTexture("wood.bmp"), stone = NamedTexture("stone.bmp");
  Mesh shared, own;
  shared.Record()->chunks.push_back(MakeChunk({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)}, {0, 1, 2}));
  shared.Record()->chunks[0].TextureB = wood;
  own.Record()->chunks.push_back(MakeChunk({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)}, {0, 1, 2, 2, 1, 0}));
  own.Record()->chunks[0].TextureB = stone;
  Bone* root = G::AllocBone();
  Bone* a = G::AllocBone();
  Bone* b = G::AllocBone();
  Bone* hidden = G::AllocBone();
  root->AddChild(a);
  root->AddChild(b);
  root->AddChild(hidden);
  root->mesh = own;
  a->mesh = shared;
  b->mesh = shared;
  hidden->mesh = shared;
  hidden->visible = 0;
  {
    G::MeshChunkPool pool;
    LogTail log;
    pool.Add(root, true);
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(pool.CountMeshes(), 4);
    EXPECT_EQ(wood.Record()->refCount, 3);  // the test, the chunk and the entry
    NullBackend::ClearCalls();
    pool.Draw();
    EXPECT_EQ(NullBackend::CallText(),
              "VertexBuffer::Set\nIndexBuffer::Set\nTexture::Set(0)\n"
              "SetWorldMatrix\nUpdateShaderMatrices\nRenderIndTris(1)\n"
              "SetWorldMatrix\nUpdateShaderMatrices\nRenderIndTris(1)\n"
              "VertexBuffer::Set\nIndexBuffer::Set\nTexture::Set(0)\n"
              "SetWorldMatrix\nUpdateShaderMatrices\nRenderIndTris(2)\n");
    EXPECT_EQ(NullBackend::BufferDraws()[2].texture0, stone.Record());
  }
  EXPECT_EQ(wood.Record()->refCount, 2);
  G::FreeBone(root);
}

TEST_F(ChunkPool, OverridesMakeTheirOwnEntriesAndBareChunksWarnOncePerEntry) {
  G::Texture wood = NamedTexture("wood.bmp");
  Mesh bare;
  bare.Record()->chunks.push_back(MakeChunk({V(0, 0, 0)}, {0, 0, 0}));
  bare.Record()->chunks.push_back(bare.Record()->chunks[0]);  // the same records twice
  Bone* root = G::AllocBone();
  root->name = "root";
  Bone* first = G::AllocBone();
  first->name = "first";
  Bone* second = G::AllocBone();
  second->name = "second";
  root->AddChild(first);
  root->AddChild(second);
  first->mesh = bare;
  second->mesh = bare;
  root->mesh = bare;
  root->mesh.texturePairs.push_back(G::TexturePair{0, wood, G::Texture()});
  G::MeshChunkPool pool;
  LogTail log;
  pool.Add(root, true);
  // first's two chunks land in one entry; root's overridden chunk 0 in a new one.
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Warning: Pooling a mesh chunk that has no texture set.\n  -bone name: first\n  -call stack:\n\n");
  EXPECT_EQ(pool.CountMeshes(), 6);
  NullBackend::ClearCalls();
  pool.Draw();
  EXPECT_EQ(NullBackend::BufferDraws().size(), 6u);
  EXPECT_EQ(NullBackend::BufferDraws()[5].texture0, wood.Record());
  G::FreeBone(root);
}

}  // namespace
