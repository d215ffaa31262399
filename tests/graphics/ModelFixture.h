// What the mesh, bone and model tests share: the null backend with a bone
// allocator, textures known by name without image files, and meshes built
// from vertex lists.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "GraphicsFixture.h"
#include "graphics/GBMesh.h"

struct PncVertex {
  float position[3];
  float normal[3];
  unsigned color;
  bool operator==(const PncVertex& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
static_assert(sizeof(PncVertex) == 28, "PNC vertices are 28 bytes");

class ModelTest : public GraphicsTest {
 protected:
  typedef PncVertex Vertex;

  void SetUp() override {
    GraphicsTest::SetUp();
    G::CreateBoneAllocator();
    G::g_meshStats = G::MeshStatistics{};
  }
  // Every bone must be gone once the loaded models are: the allocator
  // reports leaks as it goes.
  void TearDown() override {
    G::ClearLoadedModels();
    LogTail log;
    G::DestroyBoneAllocator();
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(G::g_liveBones, 0);
    GraphicsTest::TearDown();
  }

  // A texture that any load of the name shares, as if read from that file.
  static G::Texture NamedTexture(const std::string& name, bool mipmaps = true) {
    G::Texture texture;
    texture.Create(4, 4, G::kTextureRGBA, 1, mipmaps);
    texture.Record()->name = name;
    return texture;
  }

  static G::VertexFormat PncFormat() {
    return {{G::kFloat3, G::kUsePosition}, {G::kFloat3, G::kUseNormal}, {G::kPackedColor, G::kUseColor}};
  }

  static Vertex V(float x, float y, float z, unsigned color = 0xFFFFFFFF) { return Vertex{{x, y, z}, {0, 0, 1}, color}; }

  static G::Chunk MakeChunk(const std::vector<Vertex>& vertices, const std::vector<unsigned short>& indices,
                            bool writeOnly = false) {
    G::Chunk chunk;
    chunk.vertexBuffer.Create(static_cast<int>(vertices.size()), PncFormat(), 28, false, writeOnly);
    {
      G::VertexBufferLock lock(chunk.vertexBuffer, false);
      void* data = nullptr;
      if (lock.GetData(&data) && !vertices.empty()) std::memcpy(data, vertices.data(), vertices.size() * 28);
    }
    chunk.indexBuffer.Create(static_cast<unsigned short>(indices.size()), false, writeOnly);
    {
      G::IndexBufferLock lock(chunk.indexBuffer, false);
      void* data = nullptr;
      if (lock.GetData(&data) && !indices.empty()) std::memcpy(data, indices.data(), indices.size() * 2);
    }
    return chunk;
  }

  static std::vector<Vertex> VerticesOf(const G::VertexBuffer& buffer) {
    const G::VertexBufferRecord* r = buffer.Record();
    std::vector<Vertex> out(r ? r->vertexCount : 0);
    if (!out.empty()) std::memcpy(out.data(), NullBackend::VertexBufferMemory(r), out.size() * 28);
    return out;
  }

  static std::vector<unsigned short> IndicesOf(G::IndexBuffer& buffer) {
    std::vector<unsigned short> out;
    if (!buffer.Record()) return out;
    G::IndexBufferLock lock(buffer, false);
    void* data = nullptr;
    if (!lock.GetData(&data)) return out;
    const unsigned short* indices = static_cast<const unsigned short*>(data);
    out.assign(indices, indices + buffer.Record()->indexCount);
    return out;
  }
};
