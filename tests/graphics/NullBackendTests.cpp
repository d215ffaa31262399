// The null backend the other graphics tests stand on: calls recorded in
// order, scripted answers, memory behind textures and buffers, and the
// destruction of resources that outlive the device.
#include <cstring>
#include <string>

#include "GraphicsFixture.h"
#include "graphics/RenderState.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace {

using NullBackendTest = GraphicsTest;

TEST_F(NullBackendTest, RecordsCallsInOrderAndAnswersAsScripted) {
  EXPECT_TRUE(G::IsInitialized());
  G::SetRenderState(G::kStateAlphaBlend, true);
  G::SetBlendFunc(G::kBlendSourceAlpha, G::kBlendInvSourceAlpha);
  EXPECT_TRUE(G::Clear(0xFF0000FF, true, true, false, 0));
  NullBackend::Scripted().beginFrameResult = false;
  EXPECT_FALSE(DXG::BeginFrame(0.5f, true, true));
  EXPECT_EQ(NullBackend::CallText(),
            "SetRenderState(2,1)\n"
            "SetBlendFunc(4,5)\n"
            "Clear(0xFF0000FF,1,1,0,0)\n"
            "DXG::BeginFrame(0.5,1,1)\n");
  EXPECT_TRUE(G::GetRenderState(G::kStateAlphaBlend));

  G::Shutdown();
  EXPECT_FALSE(G::IsInitialized());
  NullBackend::Scripted().initResult = false;
  G::Setup setup;
  EXPECT_FALSE(DXG::Init(nullptr, &setup));
  EXPECT_FALSE(G::IsInitialized());
}

TEST_F(NullBackendTest, TexturesAreMemoryThatLocksReachAgain) {
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 2, G::kTextureRGBA, 1, false));
  {
    G::TextureLock lock(&texture, false, true);
    void* bits = nullptr;
    int pitch = 0, bpp = 0, width = 0, height = 0, depth = 0;
    ASSERT_TRUE(lock.GetInfo(&bits, &pitch, nullptr, &bpp, &width, &height, &depth));
    EXPECT_EQ(pitch, 16);
    EXPECT_EQ(bpp, 32);
    EXPECT_EQ(width * 10 + height + depth * 100, 142);
    static_cast<unsigned*>(bits)[5] = 0x11223344u;
  }
  G::TextureLock again(&texture, true, false);
  void* bits = nullptr;
  ASSERT_TRUE(again.GetInfo(&bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(static_cast<unsigned*>(bits)[5], 0x11223344u);
  again.Unlock();
  EXPECT_FALSE(again.GetInfo(&bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(NullBackendTest, VertexBufferLocksMarkTheBufferWritten) {
  G::VertexBuffer buffer;
  G::VertexFormat format = {{G::kFloat2, G::kUsePosition}};
  ASSERT_TRUE(buffer.Create(3, format, 8, false, true));
  EXPECT_FALSE(buffer.Record()->written);
  {
    G::VertexBufferLock lock(buffer, false);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    float xy[2] = {1.5f, -2.0f};
    std::memcpy(static_cast<char*>(data) + 8, xy, sizeof xy);
  }
  EXPECT_TRUE(buffer.Record()->written);
  float back[2];
  std::memcpy(back, NullBackend::VertexBufferMemory(buffer.Record()) + 8, sizeof back);
  EXPECT_EQ(back[0], 1.5f);
  EXPECT_EQ(back[1], -2.0f);

  G::VertexBuffer empty;
  LogTail log;
  G::VertexBufferLock failed(empty, false);
  void* data = nullptr;
  EXPECT_FALSE(failed.GetData(&data));
  EXPECT_EQ(MaskCallStacks(log.Text()), "Warning: attempt to lock a non-allocated vertex buffer.\n  -call stack:\n\n");
}

TEST_F(NullBackendTest, ImmediateModeBlocksAreKeptWhole) {
  G::IMBegin(G::kPrimitiveLines);
  G::IMColor(0xFF00FF00);
  G::IMTexCoord2(0.25f, 0.75f);
  G::IMPosition2(1, 2);
  G::IMColor4(1, 0, 0, 0.5f);
  G::IMPosition3(3, 4, 5);
  G::IMEnd();
  ASSERT_EQ(NullBackend::DrawnBlocks().size(), 1u);
  const NullBackend::DrawBlock& block = NullBackend::DrawnBlocks()[0];
  EXPECT_EQ(block.type, G::kPrimitiveLines);
  ASSERT_EQ(block.vertices.size(), 2u);
  EXPECT_EQ(block.vertices[0].color, 0xFF00FF00u);
  EXPECT_EQ(block.vertices[0].texCoord[1], 0.75f);
  EXPECT_EQ(block.vertices[0].position[2], 0.0f);
  EXPECT_EQ(block.vertices[1].color, 0x7FFF0000u);
  EXPECT_EQ(block.vertices[1].position[2], 5.0f);
  EXPECT_EQ(NullBackend::CallText(), "IMBegin(1)\nIMEnd\n");
}

// A resource destroyed after the device is gone is a fault of global
// objects; the backend throws a text, and the declarations let that throw
// reach the caller instead of ending the program.
TEST_F(NullBackendTest, ResourcesOutlivingTheDeviceThrowToTheCaller) {
  LogTail log;
  std::string caught;
  try {
    G::Texture texture;
    EXPECT_TRUE(texture.Create(8, 8, G::kTextureRGBA, 1, false));
    G::Shutdown();
  } catch (const char* text) {
    caught = text;
  }
  EXPECT_EQ(caught, "Foolish globals are likely at fault.\n");

  ASSERT_TRUE(DXG::Init(nullptr, G::GetSetup()));
  caught.clear();
  try {
    G::VertexBuffer buffer;
    EXPECT_TRUE(buffer.Create(4, {{G::kFloat3, G::kUsePosition}}, 12, false, true));
    G::Shutdown();
  } catch (const char* text) {
    caught = text;
  }
  EXPECT_EQ(caught, "Foolish globals are likely at fault.\n");
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Bad: texture being destructed, but graphics is not inited.\n  -call stack:\n\n"
            "Bad: vertex buffer being destructed, but graphics is not inited.\n  -call stack:\n\n");
  EXPECT_TRUE(G::g_textureRecords.empty());
  EXPECT_TRUE(G::g_vertexBufferRecords.empty());
}

}  // namespace
