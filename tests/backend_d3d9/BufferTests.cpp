// Vertex and index buffers on Direct3D 9: declarations and their cache,
// creation, locks, binding and the draws from them, read back by pixel.
#include <cstring>

#include "D3D9TestSupport.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/VertexBuffer.h"

namespace {

struct ColoredVertex {
  float x, y, z;
  unsigned color;
};
const G::VertexFormat kColored = {{G::kFloat3, G::kUsePosition}, {G::kPackedColor, G::kUseColor}};

class BufferTest : public D3D9Test {
 protected:
  static void Fill(G::VertexBuffer& buffer, const std::vector<ColoredVertex>& vertices, bool discard = false) {
    G::VertexBufferLock lock(buffer, discard);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    std::memcpy(data, vertices.data(), vertices.size() * sizeof(ColoredVertex));
  }
  static void Fill(G::IndexBuffer& buffer, const std::vector<unsigned short>& indices) {
    G::IndexBufferLock lock(buffer, false);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    std::memcpy(data, indices.data(), indices.size() * 2);
  }
  static std::vector<ColoredVertex> Quad(float x1, float y1, float x2, float y2, unsigned color) {
    return {{x1, y1, 0, color}, {x2, y1, 0, color}, {x2, y2, 0, color}, {x1, y2, 0, color}};
  }
  void Begin2D() {
    BeginClearedFrame(0xFF000000);
    G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
    G::SetCullMode(G::kCullNone);
    G::UnsetTexture(0);
  }
};

TEST_F(BufferTest, TheDeclarationFollowsTheFormatWithoutGaps) {
  const G::VertexFormat format = {{G::kFloat3, G::kUsePosition},
                                  {G::kFloat3, G::kUseNormal},
                                  {G::kPackedColor, G::kUseColor},
                                  {G::kFloat4, G::kUseTexCoord},
                                  {G::kFloat1, G::kUseTexCoord},
                                  {G::kFloat2, G::kUseTexCoord}};
  G::VertexBuffer buffer;
  ASSERT_TRUE(buffer.Create(3, format, 56, false, true));
  const G::SVB_API_Data* api = buffer.Record()->api;
  EXPECT_EQ(api->declarationVertexSize, 56);
  D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH + 1];
  UINT count = MAXD3DDECLLENGTH + 1;
  ASSERT_EQ(api->declaration->GetDeclaration(elements, &count), D3D_OK);
  ASSERT_EQ(count, 7u);
  const WORD offsets[6] = {0, 12, 24, 28, 44, 48};
  const BYTE types[6] = {D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_D3DCOLOR,
                         D3DDECLTYPE_FLOAT4, D3DDECLTYPE_FLOAT1, D3DDECLTYPE_FLOAT2};
  const BYTE usages[6] = {D3DDECLUSAGE_POSITION, D3DDECLUSAGE_NORMAL,   D3DDECLUSAGE_COLOR,
                          D3DDECLUSAGE_TEXCOORD, D3DDECLUSAGE_TEXCOORD, D3DDECLUSAGE_TEXCOORD};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(elements[i].Stream, 0);
    EXPECT_EQ(elements[i].Offset, offsets[i]);
    EXPECT_EQ(elements[i].Type, types[i]);
    EXPECT_EQ(elements[i].Method, D3DDECLMETHOD_DEFAULT);
    EXPECT_EQ(elements[i].Usage, usages[i]);
    EXPECT_EQ(elements[i].UsageIndex, 0);
  }
  EXPECT_EQ(elements[6].Stream, 0xFF);
  EXPECT_EQ(elements[6].Type, D3DDECLTYPE_UNUSED);
}

TEST_F(BufferTest, EqualFormatsShareOneCachedDeclaration) {
  const G::VertexFormat a = {{G::kFloat3, G::kUsePosition}, {G::kFloat2, G::kUseTexCoord}};
  const G::VertexFormat b = {{G::kFloat2, G::kUseTexCoord}, {G::kFloat3, G::kUsePosition}};
  G::SetVertexFormat(a);
  const size_t size = DXG::VertexDeclarationCache.size();
  IDirect3DVertexDeclaration9* first = DXG::g_d3d.declaration;
  G::SetVertexFormat(G::VertexFormat(a));
  EXPECT_EQ(DXG::VertexDeclarationCache.size(), size);
  EXPECT_EQ(DXG::g_d3d.declaration, first);
  EXPECT_EQ(DXG::g_d3d.declarationVertexSize, 20);
  G::SetVertexFormat(b);
  EXPECT_EQ(DXG::VertexDeclarationCache.size(), size + 1);
  EXPECT_NE(DXG::g_d3d.declaration, first);
  IDirect3DVertexDeclaration9* onDevice = nullptr;
  DXG::g_d3d.device->GetVertexDeclaration(&onDevice);
  EXPECT_EQ(onDevice, DXG::g_d3d.declaration);
  DXG::ReleaseCom(onDevice);
  G::Shutdown();
  EXPECT_TRUE(DXG::VertexDeclarationCache.empty());
}

TEST_F(BufferTest, BadFormatsMakeNoBuffer) {
  struct Case {
    G::VertexFormat format;
    const char* log;
  } cases[] = {
      {{{G::kFloat3, G::kUsePosition}, {G::kFloat2, static_cast<G::VertexUse>(4)}},
       "Bad use found in vertex format.\n  -call stack:\n\n"},
      {{{static_cast<G::VertexComponentType>(7), G::kUsePosition}}, "Bad type found in vertex format.\n  -call stack:\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    G::VertexBuffer buffer;
    ASSERT_TRUE(buffer.Create(4, kColored, 16, false, true));
    LogTail log;
    const size_t cached = DXG::VertexDeclarationCache.size();
    EXPECT_FALSE(buffer.Create(4, c.format, 20, false, true));
    EXPECT_EQ(buffer.Record(), nullptr);
    EXPECT_EQ(MaskCallStacks(log.Text()), c.log);
    G::SetVertexFormat(c.format);
    EXPECT_EQ(DXG::VertexDeclarationCache.size(), cached);
  }
  ResultHookScope hook([](const std::string& call, long, long* result) {
    if (call != "CreateVertexDeclaration") return false;
    *result = E_OUTOFMEMORY;
    return true;
  });
  G::VertexBuffer buffer;
  LogTail log;
  EXPECT_FALSE(buffer.Create(4, kColored, 16, false, true));
  EXPECT_EQ(MaskCallStacks(log.Text()), "Failed to create d3d vertex declaration.  -call stack:\n\n");
}

TEST_F(BufferTest, CreationFailuresNameTheShortage) {
  struct Case {
    long result;
    const char* log;
  } cases[] = {
      {D3DERR_OUTOFVIDEOMEMORY, "Failed to create vertex buffer (out of video memory)\n  -call made from:\n\n"},
      {E_OUTOFMEMORY, "Failed to create vertex buffer (not enough system memory)\n  -call made from:\n\n"},
      {D3DERR_INVALIDCALL, "Failed to create vertex buffer\n  -call made from:\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    G::VertexBuffer buffer;
    ASSERT_TRUE(buffer.Create(4, kColored, 16, false, true));
    ResultHookScope hook([&](const std::string& call, long argument, long* result) {
      if (call != "CreateVertexBuffer") return false;
      EXPECT_EQ(argument, 8 * 16);
      *result = c.result;
      return true;
    });
    LogTail log;
    EXPECT_FALSE(buffer.Create(8, kColored, 16, true, true));
    EXPECT_EQ(MaskCallStacks(log.Text()), c.log);
    EXPECT_EQ(buffer.Record(), nullptr) << "the earlier buffer is gone too";
  }
}

TEST_F(BufferTest, AFailedIndexBufferCreateKeepsTheEarlierBuffer) {
  G::IndexBuffer buffer;
  ASSERT_TRUE(buffer.Create(6, false, true));
  G::IndexBufferRecord* record = buffer.Record();
  ResultHookScope hook([](const std::string& call, long, long* result) {
    if (call != "CreateIndexBuffer") return false;
    *result = D3DERR_OUTOFVIDEOMEMORY;
    return true;
  });
  LogTail log;
  EXPECT_FALSE(buffer.Create(12, false, true));
  EXPECT_EQ(MaskCallStacks(log.Text()), "Failed to create index buffer.\n  -call stack:\n\n");
  EXPECT_EQ(buffer.Record(), record);
  EXPECT_EQ(record->indexCount, 6);
}

TEST_F(BufferTest, MisusedBuffersWarn) {
  G::VertexBuffer vertices, noVertices;
  G::IndexBuffer indices, noIndices;
  ASSERT_TRUE(vertices.Create(4, kColored, 16, false, true));
  ASSERT_TRUE(indices.Create(6, false, true));
  LogTail log;
  vertices.Set();
  indices.Set();
  noVertices.Set();
  noIndices.Set();
  {
    G::VertexBufferLock vertexLock(noVertices, false);
    G::IndexBufferLock indexLock(noIndices, false);
    void* data = &log;
    EXPECT_FALSE(vertexLock.GetData(&data));
    EXPECT_FALSE(indexLock.GetData(&data));
  }
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Warning: Vertex buffer set, but has never been locked before.  Data in it is invalid.\n  -call stack:\n\n"
            "Warning: Index buffer set, but has never been locked before.  Data in it is invalid.\n  -call stack:\n\n"
            "Warning: attempt to set a non-allocated vertex buffer as a stream source.\n  -call stack:\n\n"
            "Warning: attempt to set a non-allocated index buffer\n  -call stack:\n\n"
            "Warning: attempt to lock a non-allocated vertex buffer.\n  -call made from:\n\n"
            "Warning: attempt to lock a non-allocated index buffer.\n  -call made from:\n\n");
  // Set all the same.
  EXPECT_EQ(DXG::g_d3d.vertexBuffers[0], vertices.Record());
  EXPECT_EQ(DXG::g_d3d.indexBuffer, indices.Record());
  EXPECT_FALSE(vertices.Record()->written);
}

TEST_F(BufferTest, DiscardOnAStaticBufferKeepsItsContents) {
  G::VertexBuffer buffer;
  ASSERT_TRUE(buffer.Create(4, kColored, 16, false, false));
  Fill(buffer, Quad(1, 2, 3, 4, 0xFF00FF00));
  EXPECT_TRUE(buffer.Record()->written);
  G::VertexBufferLock lock(buffer, true);
  ColoredVertex* data = nullptr;
  ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&data)));
  EXPECT_EQ(data[2].x, 3.0f);
  EXPECT_EQ(data[3].color, 0xFF00FF00u);
}

// A write-only default-pool buffer is never read back: its locks hand out
// a copy in system memory, which each unlock puts into the buffer whole.
TEST_F(BufferTest, DynamicBuffersAreWrittenThroughACopyInSystemMemory) {
  G::VertexBuffer vertices;
  ASSERT_TRUE(vertices.Create(4, kColored, 16, true, true));
  G::IndexBuffer indices;
  ASSERT_TRUE(indices.Create(6, true, true));
  Fill(indices, {0, 1, 2, 0, 2, 3});
  {
    G::IndexBufferLock lock(indices, true);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    EXPECT_EQ(data, indices.Record()->api->contents.data());
  }
  {
    G::VertexBufferLock lock(vertices, true);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    EXPECT_EQ(data, vertices.Record()->api->contents.data());
    const std::vector<ColoredVertex> quad = Quad(10, 10, 60, 60, 0xFFFF0000);
    std::memcpy(data, quad.data(), quad.size() * sizeof(ColoredVertex));
  }
  auto draw = [&] {
    Begin2D();
    vertices.Set();
    indices.Set();
    G::RenderIndTris(2);
    Image image = FinishFrame();
    DXG::EndFrame1();
    return image;
  };
  Image image = draw();
  EXPECT_TRUE(PixelIs(image, 30, 30, 0xFF0000));
  EXPECT_TRUE(PixelIs(image, 70, 30, 0x000000));
  {
    // Only the colours are written: the positions stay, discard or not.
    G::VertexBufferLock lock(vertices, true);
    ColoredVertex* v = nullptr;
    ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&v)));
    EXPECT_EQ(v[2].x, 60.0f);
    EXPECT_EQ(v[3].color, 0xFFFF0000u);
    for (int i = 0; i < 4; ++i) v[i].color = 0xFF00FF00;
  }
  image = draw();
  EXPECT_TRUE(PixelIs(image, 30, 30, 0x00FF00));
  EXPECT_TRUE(PixelIs(image, 70, 30, 0x000000));
}

TEST_F(BufferTest, DrawsFromTheCurrentBuffers) {
  G::VertexBuffer triangles, lines, points, quad;
  std::vector<ColoredVertex> list = {{0, 0, 0, 0xFF0000FF}, {8, 0, 0, 0xFF0000FF}, {0, 8, 0, 0xFF0000FF}};
  for (const ColoredVertex& v : Quad(10, 10, 60, 60, 0xFFFF0000)) list.push_back(v);
  list.insert(list.begin() + 6, list[3]);
  list.insert(list.begin() + 7, list[5]);
  ASSERT_EQ(list.size(), 9u);  // a dummy triangle, then the quad as two triangles
  ASSERT_TRUE(triangles.Create(9, kColored, 16, false, true));
  Fill(triangles, list);
  ASSERT_TRUE(lines.Create(4, kColored, 16, true, true));
  Fill(lines, {{10, 100, 0, 0xFF00FF00}, {100, 100, 0, 0xFF00FF00}, {10, 120, 0, 0xFF00FF00}, {100, 120, 0, 0xFF00FF00}},
       true);
  ASSERT_TRUE(points.Create(2, kColored, 16, false, true));
  Fill(points, {{200, 100, 0, 0xFFFFFFFF}, {210, 100, 0, 0xFFFFFFFF}});
  ASSERT_TRUE(quad.Create(4, kColored, 16, false, true));
  Fill(quad, Quad(150, 10, 200, 60, 0xFFFFFF00));
  G::IndexBuffer indices;
  ASSERT_TRUE(indices.Create(6, false, true));
  Fill(indices, {0, 1, 2, 0, 2, 3});

  Begin2D();
  triangles.Set();
  EXPECT_EQ(G::RenderTris(2, 3), D3D_OK);
  lines.Set();
  EXPECT_EQ(G::RenderLines(1), D3D_OK);
  points.Set();
  EXPECT_EQ(G::RenderPoints(1), D3D_OK);
  quad.Set();
  indices.Set();
  EXPECT_EQ(G::RenderIndTris(2), D3D_OK);
  Image image = FinishFrame();
  EXPECT_TRUE(PixelIs(image, 1, 1, 0x000000)) << "the vertices before the first are not drawn";
  EXPECT_TRUE(PixelIs(image, 15, 15, 0xFF0000));
  EXPECT_TRUE(PixelIs(image, 55, 55, 0xFF0000));
  EXPECT_TRUE(PixelIs(image, 50, 100, 0x00FF00));
  EXPECT_TRUE(PixelIs(image, 50, 120, 0x000000)) << "one line asked for";
  EXPECT_TRUE(PixelIs(image, 200, 100, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(image, 210, 100, 0x000000)) << "one point asked for";
  EXPECT_TRUE(PixelIs(image, 175, 35, 0xFFFF00));
}

TEST_F(BufferTest, IndexedDrawsNeedBothBuffers) {
  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  ASSERT_TRUE(vertices.Create(4, kColored, 16, false, true));
  Fill(vertices, Quad(0, 0, 10, 10, 0xFFFFFFFF));
  ASSERT_TRUE(indices.Create(6, false, true));
  Fill(indices, {0, 1, 2, 0, 2, 3});
  const std::string head = "Bad: Attempt to render indexed primitives with ";
  const std::string tail = "\n  -call stack:\n\n";
  G::UnsetVertexBuffer();
  G::UnsetIndexBuffer();
  {
    LogTail log;
    EXPECT_NE(G::RenderIndTris(2), D3D_OK);
    EXPECT_EQ(MaskCallStacks(log.Text()), head + "'No vertex buffer set''No index buffer set'" + tail);
  }
  indices.Set();
  {
    LogTail log;
    G::RenderIndTris(2);
    EXPECT_EQ(MaskCallStacks(log.Text()), head + "'No vertex buffer set'" + tail);
  }
  vertices.Set();
  G::UnsetIndexBuffer();
  {
    LogTail log;
    G::RenderIndTris(2);
    EXPECT_EQ(MaskCallStacks(log.Text()), head + "'No index buffer set'" + tail);
  }
  // Immediate mode draws from memory, which leaves stream 0 empty.
  indices.Set();
  Begin2D();
  G::IMBegin(G::kPrimitivePoints);
  G::IMPosition2(1, 1);
  G::IMEnd();
  LogTail log;
  G::RenderIndTris(2);
  EXPECT_EQ(MaskCallStacks(log.Text()), head + "'No vertex buffer set'" + tail);
}

// A block too short for one primitive draws nothing, and leaves the device
// as it found it: the buffers set before it draw with their own layout, and
// the next block with its own.
TEST_F(BufferTest, AnIncompleteImmediateBlockLeavesTheCurrentBuffersDrawing) {
  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  ASSERT_TRUE(vertices.Create(4, kColored, 16, false, true));
  Fill(vertices, Quad(10, 10, 60, 60, 0xFFFF0000));
  ASSERT_TRUE(indices.Create(6, false, true));
  Fill(indices, {0, 1, 2, 0, 2, 3});
  const struct {
    G::PrimitiveType type;
    int vertices;
  } cases[] = {{G::kPrimitiveTriangles, 2}, {G::kPrimitiveLines, 1}, {G::kPrimitiveTriangleFan, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    Begin2D();
    vertices.Set();
    indices.Set();
    G::IMBegin(c.type);
    for (int i = 0; i < c.vertices; ++i) G::IMPosition2(100.0f + 50 * i, 100);
    G::IMEnd();
    LogTail log;
    EXPECT_EQ(G::RenderIndTris(2), D3D_OK);
    G::IMBegin(G::kPrimitiveTriangles);
    G::IMColor(0xFF00FF00);
    G::IMPosition2(100, 10);
    G::IMPosition2(150, 10);
    G::IMPosition2(100, 60);
    G::IMEnd();
    Image image = FinishFrame();
    DXG::EndFrame1();
    EXPECT_EQ(log.Text(), "");
    EXPECT_TRUE(PixelIs(image, 30, 30, 0xFF0000));
    EXPECT_TRUE(PixelIs(image, 15, 55, 0xFF0000));
    EXPECT_TRUE(PixelIs(image, 110, 20, 0x00FF00));
    EXPECT_TRUE(PixelIs(image, 125, 100, 0x000000)) << "the short block drew nothing";
  }
}

TEST_F(BufferTest, ReleasedBuffersAreNoLongerCurrent) {
  {
    G::VertexBuffer vertices;
    G::IndexBuffer indices;
    ASSERT_TRUE(vertices.Create(4, kColored, 16, false, true));
    ASSERT_TRUE(indices.Create(6, false, true));
    Fill(vertices, Quad(0, 0, 1, 1, 0));
    Fill(indices, {0, 1, 2, 0, 2, 3});
    vertices.Set();
    indices.Set();
  }
  EXPECT_EQ(DXG::g_d3d.vertexBuffers[0], nullptr);
  EXPECT_EQ(DXG::g_d3d.indexBuffer, nullptr);
  IDirect3DVertexBuffer9* stream = nullptr;
  UINT offset = 0, stride = 0;
  DXG::g_d3d.device->GetStreamSource(0, &stream, &offset, &stride);
  EXPECT_EQ(stream, nullptr) << "the device lets the buffer go too";
  DXG::ReleaseCom(stream);
}

// After Shutdown there is no device to bind them to: setting buffers made
// before it does nothing, as the other calls do then.
TEST_F(BufferTest, SettingBuffersAfterShutdownDoesNothing) {
  G::VertexBuffer* vertices = new G::VertexBuffer;
  G::IndexBuffer* indices = new G::IndexBuffer;
  ASSERT_TRUE(vertices->Create(4, kColored, 16, false, true));
  Fill(*vertices, Quad(0, 0, 1, 1, 0));
  ASSERT_TRUE(indices->Create(6, false, true));
  Fill(*indices, {0, 1, 2, 0, 2, 3});
  G::Shutdown();
  LogTail log;
  vertices->Set();
  indices->Set();
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(DXG::g_d3d.vertexBuffers[0], nullptr);
  EXPECT_EQ(DXG::g_d3d.indexBuffer, nullptr);
  ExpectGlobalsFaultOnDelete(vertices);
  delete indices;
}

TEST_F(BufferTest, VertexBuffersOutsideTheDevicesLifeAreTheGlobalsFault) {
  G::VertexBuffer* global = new G::VertexBuffer;
  ASSERT_TRUE(global->Create(4, kColored, 16, false, true));
  G::VertexBuffer* empty = new G::VertexBuffer;
  G::Shutdown();
  LogTail log;
  ExpectGlobalsFaultOnDelete(global);
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Bad: vertex buffer being destructed, but graphics is not inited.\n"
            "  -AND it still thinks it has d3d resources.\n  -call stack:\n\n");
  EXPECT_NO_THROW(delete empty);
}

}  // namespace
