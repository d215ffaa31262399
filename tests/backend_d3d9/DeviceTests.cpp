// Start-up, frames, Clear, device loss and reset, device creation with its
// format choices and retries, and the statistics, on Wine's Direct3D 9.
#include <cstdlib>

#include "D3D9TestSupport.h"
#include "StartupTrace.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Primitives.h"
#include "graphics/RenderTexture.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace {

using DeviceTest = D3D9Test;

const char kNotInitialized[] = " used when graphics foundation is not initialized.\n  -call made from:\n\n";

TEST_F(DeviceTest, ClearFillsTheWholeBackBufferWithThePackedColour) {
  for (unsigned color : {0xFF336699u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x80FEDCBAu}) {
    BeginClearedFrame(color);
    Image image = FinishFrame();
    ASSERT_EQ(image.width, kBackBufferWidth);
    ASSERT_EQ(image.height, kBackBufferHeight);
    EXPECT_TRUE(PixelIs(image, 0, 0, color));
    EXPECT_TRUE(PixelIs(image, kBackBufferWidth - 1, kBackBufferHeight - 1, color));
    EXPECT_TRUE(PixelIs(image, 160, 120, color));
    DXG::EndFrame1();
  }
}

TEST_F(DeviceTest, FrameMisuseIsLoggedAndChangesNothing) {
  ASSERT_TRUE(DXG::BeginFrame(0, false, true));
  {
    LogTail log;
    EXPECT_FALSE(DXG::BeginFrame(0, false, true));
    EXPECT_EQ(MaskCallStacks(log.Text()),
              "Error: Previous BeginFrame call was not matched with an EndFrame call\n  -2nd call made from:\n\n");
  }
  // The first frame is still open: drawing and ending it work.
  EXPECT_TRUE(G::Clear(0xFF00FF00, true, true, false, 0));
  DXG::EndFrame0();
  Image image = ReadBackBuffer();
  EXPECT_TRUE(PixelIs(image, 5, 5, 0x00FF00));

  LogTail log;
  DXG::EndFrame0();
  EXPECT_EQ(log.Text(), "EndFrame should not be called if BeginFrame was not successfully called before.\n");
  EXPECT_TRUE(DXG::BeginFrame(0, false, true));
}

TEST_F(DeviceTest, CallsBeforeStartAreRefusedWithTheirNames) {
  G::Shutdown();
  LogTail log;
  EXPECT_FALSE(DXG::BeginFrame(0.1f, true, true));
  DXG::EndFrame0();
  DXG::EndFrame1();
  EXPECT_EQ(DXG::GetDevice(), nullptr);
  EXPECT_FALSE(G::Clear(0xFF000000, true, true, true, 0));
  EXPECT_EQ(MaskCallStacks(log.Text()), std::string("Error: DXG::BeginFrame") + kNotInitialized +
                                            "Error: DXG::EndFrame0" + kNotInitialized + "Error: DXG::EndFrame1" +
                                            kNotInitialized + "Error: DXG::GetDevice" + kNotInitialized);
}

TEST_F(DeviceTest, GetSetupBeforeAnyStartWarnsAndGivesTheEmptyCopy) {
  G::Shutdown();
  DXG::g_d3d.setupValid = false;
  DXG::g_d3d.setup = G::Setup();
  LogTail log;
  G::Setup* setup = G::GetSetup();
  EXPECT_EQ(log.Text(), "Warning: GetSetup used, and setup is not valid.\n");
  EXPECT_EQ(setup->width, 0);
  EXPECT_FALSE(setup->colour32);
}

TEST_F(DeviceTest, StatusQueriesReportTheStartedSetup) {
  LogTail log;
  EXPECT_TRUE(G::IsInitialized());
  EXPECT_FALSE(G::HasFatalError());
  EXPECT_EQ(G::GetSetup()->width, kBackBufferWidth);
  EXPECT_TRUE(G::Is32BitColor());
  EXPECT_FALSE(G::HasStencilBuffer());
  EXPECT_TRUE(G::HasTwoSidedStencil());
  EXPECT_FALSE(G::SetDisplayMode(1024, 768));
  EXPECT_EQ(log.Text(), "Can't change resolution on dx yet.\n");
  EXPECT_NE(DXG::GetDevice(), nullptr);
}

TEST_F(DeviceTest, SecondInitIsRefusedAndRaisesTheFatalFlag) {
  LogTail log;
  G::Setup setup = DefaultSetup();
  EXPECT_FALSE(DXG::Init(TestWindow(), &setup));
  EXPECT_EQ(log.Text(), "Attempt to call DXG::Init while already ready\n");
  EXPECT_TRUE(G::HasFatalError());
  EXPECT_TRUE(G::IsInitialized());
}

TEST_F(DeviceTest, FailedInitLeavesTheFatalFlagAndLaterInitsFailSilently) {
  G::Shutdown();
  {
    LogTail log;
    G::Setup setup = DefaultSetup();
    EXPECT_FALSE(DXG::Init(nullptr, &setup));
    EXPECT_EQ(log.Text(), "Null window passed to DXG::Init\n");
    EXPECT_TRUE(G::HasFatalError());
  }
  DXG::g_d3d.fatalError = false;
  {
    LogTail log;
    EXPECT_FALSE(DXG::Init(TestWindow(), nullptr));
    EXPECT_EQ(log.Text(), "DXG::Init failed:\n  -Invalid pointer passed for Setup struct.\n");
    EXPECT_TRUE(G::HasFatalError());
    EXPECT_FALSE(G::IsInitialized());
  }
  LogTail log;
  G::Setup setup = DefaultSetup();
  EXPECT_FALSE(DXG::Init(TestWindow(), &setup));
  EXPECT_EQ(log.Text(), "");
}

TEST_F(DeviceTest, WindowedColourFollowsTheDesktopDepth) {
  struct Case {
    long desktopBits;
    bool colour32;
    const char* log;
  } cases[] = {
      {32, true, ""},
      {16, false, ""},
      {24, false,
       "Windows desktop should be set to either 16 or 32 bit color to run in windowed mode... but will try it "
       "anyways...\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.desktopBits);
    ResultHookScope hook([&](const std::string& call, long, long* result) {
      if (call != "DesktopBitsPerPixel") return false;
      *result = c.desktopBits;
      return true;
    });
    G::Shutdown();
    LogTail log;
    ASSERT_TRUE(Restart(DefaultSetup()));
    EXPECT_EQ(G::Is32BitColor(), c.colour32);
    EXPECT_EQ(log.Text(), c.log);
    if (!c.colour32) {
      // A 16-bit back buffer where the adapter takes one, else the format of
      // the earlier start.
      D3DFORMAT format = DXG::g_d3d.presentParameters.BackBufferFormat;
      EXPECT_TRUE(format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 || format == D3DFMT_X8R8G8B8) << format;
    }
  }
}

// ---- Device loss -----------------------------------------------------------

int s_lostCalls = 0;
int s_restoredCalls = 0;
void CountLost() { ++s_lostCalls; }
void CountRestored() { ++s_restoredCalls; }

class DeviceLossTest : public D3D9Test {
 protected:
  void SetUp() override {
    D3D9Test::SetUp();
    s_lostCalls = s_restoredCalls = 0;
    G::RegisterDeviceLostCallback(&CountLost);
    G::RegisterDeviceRestoredCallback(&CountRestored);
  }
  void TearDown() override {
    G::UnregisterDeviceLostCallback(&CountLost);
    G::UnregisterDeviceRestoredCallback(&CountRestored);
    D3D9Test::TearDown();
  }
  // TestCooperativeLevel answers `level`; Reset answers `resetResult`
  // unless it is 0 (then the device really resets).
  ResultHookScope::Hook Scripted() {
    return [this](const std::string& call, long, long* result) {
      if (call == "TestCooperativeLevel") {
        *result = level;
        return true;
      }
      if (call == "Reset" && resetResult != 0) {
        *result = resetResult;
        return true;
      }
      return false;
    };
  }
  long level = D3D_OK;
  long resetResult = 0;
};

TEST_F(DeviceLossTest, LossFiresTheLostCallbacksOnceAndResetRestoresTheDefaults) {
  ResultHookScope hook(Scripted());
  G::SetRenderState(G::kStateAlphaBlend, false);
  const unsigned framesBefore = DXG::g_d3d.frames;

  level = D3DERR_DEVICELOST;
  EXPECT_FALSE(DXG::BeginFrame(0.5f, true, true));
  EXPECT_FALSE(DXG::BeginFrame(0.5f, true, true));
  EXPECT_EQ(s_lostCalls, 1);
  EXPECT_EQ(s_restoredCalls, 0);
  EXPECT_TRUE(G::IsDeviceLost());
  EXPECT_FALSE(G::Clear(0xFF000000, true, true, false, 0));

  level = D3DERR_DEVICENOTRESET;
  EXPECT_FALSE(DXG::BeginFrame(0.5f, true, false));
  for (const std::string& asked : hook.Asked()) EXPECT_NE(asked, "Reset(0)");

  EXPECT_TRUE(DXG::BeginFrame(0.5f, true, true));
  EXPECT_EQ(s_lostCalls, 1);
  EXPECT_EQ(s_restoredCalls, 1);
  EXPECT_FALSE(G::IsDeviceLost());
  EXPECT_EQ(DXG::g_d3d.frames, framesBefore) << "the frame after a reset is not counted";
  EXPECT_TRUE(G::GetRenderState(G::kStateAlphaBlend)) << "defaults applied again after the reset";
  DXG::EndFrame0();

  level = D3D_OK;
  EXPECT_TRUE(DXG::BeginFrame(0.5f, true, true));
  EXPECT_EQ(DXG::g_d3d.frames, framesBefore + 1);
}

TEST_F(DeviceLossTest, ResetFailuresEndTheProgramOnlyForDriverErrorsAndMemory) {
  struct Case {
    long result;
    const char* log;
    bool fatal;
  } cases[] = {
      {D3DERR_DRIVERINTERNALERROR, "Internal graphics driver error occured\n", true},
      {D3DERR_OUTOFVIDEOMEMORY, "Graphics device out of memory\n", true},
      {D3DERR_INVALIDCALL, "", false},
      {D3DERR_DEVICELOST, "", false},
  };
  ResultHookScope hook(Scripted());
  level = D3DERR_DEVICENOTRESET;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    DXG::g_d3d.fatalError = false;
    resetResult = c.result;
    LogTail log;
    EXPECT_FALSE(DXG::BeginFrame(0, true, true));
    EXPECT_FALSE(DXG::BeginFrame(0, true, true));
    EXPECT_EQ(log.Text(), std::string(c.log) + c.log);
    EXPECT_EQ(G::HasFatalError(), c.fatal);
  }
  EXPECT_EQ(s_lostCalls, 1);
  EXPECT_EQ(s_restoredCalls, 0);
}

// The resources of the loss tests: a red quad from dynamic buffers, a green
// texture and a render target cleared to blue, drawn side by side.
class ResourceLossTest : public DeviceLossTest {
 protected:
  struct Vertex {
    float x, y, z;
    unsigned color;
  };
  static void MakeBuffers(G::VertexBuffer& vertices, G::IndexBuffer& indices) {
    const G::VertexFormat format = {{G::kFloat3, G::kUsePosition}, {G::kPackedColor, G::kUseColor}};
    ASSERT_TRUE(vertices.Create(4, format, 16, true, true));
    {
      G::VertexBufferLock lock(vertices, true);
      Vertex* v = nullptr;
      ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&v)));
      const Vertex quad[4] = {
          {10, 10, 0, 0xFFFF0000}, {60, 10, 0, 0xFFFF0000}, {60, 60, 0, 0xFFFF0000}, {10, 60, 0, 0xFFFF0000}};
      std::copy(quad, quad + 4, v);
    }
    ASSERT_TRUE(indices.Create(6, true, true));
    G::IndexBufferLock lock(indices, true);
    unsigned short* i = nullptr;
    ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&i)));
    const unsigned short list[6] = {0, 1, 2, 0, 2, 3};
    std::copy(list, list + 6, i);
  }
  void DrawScene(G::VertexBuffer& vertices, G::IndexBuffer& indices, G::Texture& texture, G::RenderTexture& target) {
    G::RenderTargetDesc desc;
    ASSERT_TRUE(target.BeginRender(desc));
    G::Clear(0xFF0000FF, true, true, false, 0);
    target.EndRender();
    BeginClearedFrame(0xFF000000);
    G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
    G::SetCullMode(G::kCullNone);
    G::UnsetTexture(0);
    vertices.Set();
    indices.Set();
    G::RenderIndTris(2);
    G::DrawSprite(100, 10, texture, 1.0f);
    G::DrawRenderTexture(200, 10, target, 1.0f);
    Image image = FinishFrame();
    EXPECT_TRUE(PixelIs(image, 30, 30, 0xFF0000));
    EXPECT_TRUE(PixelIs(image, 103, 13, 0x00FF00));
    EXPECT_TRUE(PixelIs(image, 230, 40, 0x0000FF));
    DXG::EndFrame1();
  }
  static void MakeTexture(G::Texture& texture) {
    ASSERT_TRUE(texture.Create(8, 8, G::kTextureRGBA, 1, false));
    G::TextureLock lock(&texture, false, true);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) lock.SetPixel(x, y, 0xFF00FF00);
  }
};

// Default-pool resources must be let go before a reset: the device refuses
// to reset while any is alive. Each kind is drawn again afterwards.
TEST_F(ResourceLossTest, EveryKindOfResourceDrawsAgainAfterAReset) {
  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  MakeBuffers(vertices, indices);
  G::Texture texture;
  MakeTexture(texture);
  G::RenderTexture target;
  ASSERT_TRUE(target.Create(64, 64, false));
  DrawScene(vertices, indices, texture, target);

  ResultHookScope hook(Scripted());
  level = D3DERR_DEVICENOTRESET;
  ASSERT_TRUE(DXG::BeginFrame(0, true, true)) << "the device resets with no default-pool resource alive";
  DXG::EndFrame0();
  EXPECT_EQ(s_restoredCalls, 1);
  level = D3D_OK;
  DrawScene(vertices, indices, texture, target);
}

// Made after the lost handlers ran, a default-pool object would keep every
// reset failing: such resources are records only until the reset.
TEST_F(ResourceLossTest, ResourcesMadeWhileTheDeviceIsLostAreMadeAtTheReset) {
  ResultHookScope hook(Scripted());
  level = D3DERR_DEVICELOST;
  EXPECT_FALSE(DXG::BeginFrame(0, true, true));
  ASSERT_TRUE(G::IsDeviceLost());

  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  MakeBuffers(vertices, indices);
  EXPECT_EQ(vertices.Record()->api->buffer, nullptr);
  EXPECT_EQ(indices.Record()->api->buffer, nullptr);
  G::Texture texture;
  MakeTexture(texture);
  G::RenderTexture target, cube;
  ASSERT_TRUE(target.Create(64, 64, false));
  ASSERT_TRUE(cube.Create(32, 32, true));
  EXPECT_EQ(target.Record()->api->texture, nullptr);
  EXPECT_EQ(target.Record()->api->renderToSurface, nullptr);
  EXPECT_EQ(cube.Record()->api->cube, nullptr);
  // The managed pool survives a reset: static buffers are made at once.
  G::VertexBuffer fixed;
  ASSERT_TRUE(fixed.Create(4, {{G::kFloat3, G::kUsePosition}}, 12, false, true));
  EXPECT_NE(fixed.Record()->api->buffer, nullptr);

  level = D3DERR_DEVICENOTRESET;
  ASSERT_TRUE(DXG::BeginFrame(0, true, true)) << "the device resets with no default-pool resource alive";
  DXG::EndFrame0();
  EXPECT_FALSE(G::IsDeviceLost());
  EXPECT_NE(cube.Record()->api->cube, nullptr);
  EXPECT_NE(cube.Record()->api->renderToEnvMap, nullptr);
  level = D3D_OK;
  DrawScene(vertices, indices, texture, target);
}

// ---- Statistics ------------------------------------------------------------

TEST_F(DeviceTest, StartAndEndWriteTheStatistics) {
  unsigned available = 256u << 20;
  ResultHookScope hook([&](const std::string& call, long, long* result) {
    if (call != "GetAvailableTextureMem") return false;
    *result = static_cast<long>(available);
    return true;
  });
  G::Shutdown();
  LogTail start("_stat.txt");
  ASSERT_TRUE(Restart(DefaultSetup()));
  EXPECT_EQ(start.Text(),
            "Using Vertex Shader version: vs_3_0\n"
            "Using Pixel Shader version: ps_3_0\n"
            "Initial free texture memory(vid mem + agp mem): 256MB.\n"
            "Device does support Occlusion Queries.\n\n");

  available = 200u << 20;
  {
    G::Texture texture;
    ASSERT_TRUE(texture.Create(16, 16, G::kTextureRGB, 1, false));
  }
  available = 220u << 20;
  {
    G::Texture texture;
    ASSERT_TRUE(texture.Create(16, 16, G::kTextureRGB, 1, false));
  }
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(DXG::BeginFrame(0.5f, true, true));
    DXG::EndFrame0();
  }
  ASSERT_TRUE(DXG::BeginFrame(7.0f, false, true));
  DXG::EndFrame0();

  LogTail end("_stat.txt");
  G::Shutdown();
  // Baseline: 256 MiB + two 320 x 240 32-bit buffers + 512 KiB; lowest seen
  // 200 MiB.
  const unsigned baseline = (256u << 20) + 2 * 4 * 320 * 240 + 0x80000;
  EXPECT_EQ(end.Text(), "Approximate max video memory used: " + std::to_string((baseline - (200u << 20)) >> 20) +
                            "MB\n\nAverage framerate (over 2 seconds): 2 frames/second\n\n");
}

TEST_F(DeviceTest, MissingOcclusionQueriesAreReported) {
  ResultHookScope hook([](const std::string& call, long argument, long* result) {
    if (call != "CreateQuery" || argument != D3DQUERYTYPE_OCCLUSION) return false;
    *result = D3DERR_NOTAVAILABLE;
    return true;
  });
  G::Shutdown();
  LogTail stat("_stat.txt");
  ASSERT_TRUE(Restart(DefaultSetup()));
  std::string text = stat.Text();
  EXPECT_NE(text.find("Device does NOT support Occlusion Queries.\n\n"), std::string::npos) << text;
}

TEST_F(DeviceTest, FramesOverNoTimeWriteNoRate) {
  ASSERT_TRUE(DXG::BeginFrame(0, true, true));
  DXG::EndFrame0();
  LogTail end("_stat.txt");
  G::Shutdown();
  EXPECT_EQ(end.Text().find("Average framerate"), std::string::npos) << end.Text();
}

// ---- Device creation -------------------------------------------------------

class DeviceCreationTest : public D3D9Test {
 protected:
  void SetUp() override {
    D3D9Test::SetUp();
    G::Shutdown();
    fake.script().createDeviceCalls.clear();
  }
  FakeDirect3D fake;
};

TEST_F(DeviceCreationTest, PresentParametersAndBehaviourFollowTheSetup) {
  struct Case {
    bool tripleBuffer, vsync, multithreaded;
    int vertexProcessing;
    UINT backBuffers;
    UINT interval;
    DWORD behaviour;
  } cases[] = {
      {false, false, true, 2, 1, D3DPRESENT_INTERVAL_IMMEDIATE,
       D3DCREATE_MULTITHREADED | D3DCREATE_HARDWARE_VERTEXPROCESSING},
      {true, true, false, 1, 2, D3DPRESENT_INTERVAL_ONE, D3DCREATE_MIXED_VERTEXPROCESSING},
      {false, true, true, 0, 1, D3DPRESENT_INTERVAL_ONE,
       D3DCREATE_MULTITHREADED | D3DCREATE_SOFTWARE_VERTEXPROCESSING},
      {false, false, false, 7, 1, D3DPRESENT_INTERVAL_IMMEDIATE, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vertexProcessing);
    G::Setup setup = DefaultSetup();
    setup.tripleBuffer = c.tripleBuffer;
    setup.vsync = c.vsync;
    setup.multithreaded = c.multithreaded;
    setup.vertexProcessing = c.vertexProcessing;
    fake.script().createDeviceCalls.clear();
    ASSERT_TRUE(Restart(setup));
    ASSERT_EQ(fake.script().createDeviceCalls.size(), 1u);
    const CreateDeviceCall& call = fake.script().createDeviceCalls[0];
    EXPECT_EQ(call.behaviour, c.behaviour);
    EXPECT_EQ(call.parameters.BackBufferCount, c.backBuffers);
    EXPECT_EQ(call.parameters.PresentationInterval, c.interval);
    EXPECT_EQ(call.parameters.BackBufferWidth, 320u);
    EXPECT_EQ(call.parameters.BackBufferHeight, 240u);
    EXPECT_EQ(call.parameters.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(call.parameters.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(call.parameters.hDeviceWindow, TestWindow());
    EXPECT_TRUE(call.parameters.Windowed);
    EXPECT_TRUE(call.parameters.EnableAutoDepthStencil);
    EXPECT_EQ(call.parameters.MultiSampleType, D3DMULTISAMPLE_NONE);
    G::Shutdown();
  }
}

TEST_F(DeviceCreationTest, TheRetriesFallBackToA16BitDepthBufferWithoutStencil) {
  G::Setup setup = DefaultSetup();
  setup.stencil = true;
  {
    fake.script().createDeviceResults = {D3DERR_INVALIDCALL};
    LogTail log;
    ASSERT_TRUE(Restart(setup));
    EXPECT_EQ(log.Text(), "CreateDevice failed... trying again in case the API fixed a parameter... good.\n");
    ASSERT_EQ(fake.script().createDeviceCalls.size(), 2u);
    EXPECT_EQ(fake.script().createDeviceCalls[1].parameters.AutoDepthStencilFormat, D3DFMT_D24S8);
    EXPECT_TRUE(G::HasStencilBuffer());
  }
  fake.script().createDeviceCalls.clear();
  fake.script().createDeviceResults = {D3DERR_INVALIDCALL, D3DERR_NOTAVAILABLE};
  LogTail log;
  ASSERT_TRUE(Restart(setup));
  EXPECT_EQ(log.Text(), "CreateDevice failed... trying again in case the API fixed a parameter... good.\n");
  ASSERT_EQ(fake.script().createDeviceCalls.size(), 3u);
  EXPECT_EQ(fake.script().createDeviceCalls[2].parameters.AutoDepthStencilFormat, D3DFMT_D16);
  EXPECT_FALSE(G::HasStencilBuffer());
  // No stencil buffer: asking to clear it clears the rest all the same.
  ASSERT_TRUE(DXG::BeginFrame(0, false, true));
  EXPECT_TRUE(G::Clear(0xFF112233, true, true, true, 1));
}

TEST_F(DeviceCreationTest, ThreeFailuresNameTheReasonAndFailTheStart) {
  struct Case {
    HRESULT result;
    const char* reason;
  } cases[] = {
      {D3DERR_INVALIDCALL, "  -bad parameters\n"},
      {D3DERR_NOTAVAILABLE, "  -device doesn't support requested features\n"},
      {D3DERR_OUTOFVIDEOMEMORY, "  -device doesn't have enough video memory free\n"},
      {E_FAIL, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    fake.script().createDeviceResults = {c.result, c.result, c.result};
    LogTail log;
    EXPECT_FALSE(Restart(DefaultSetup()));
    EXPECT_EQ(log.Text(), std::string("CreateDevice failed... trying again in case the API fixed a parameter...bad.\n"
                                      "Failed to create D3D device:\n") +
                              c.reason);
    EXPECT_TRUE(G::HasFatalError());
    EXPECT_FALSE(G::IsInitialized());
    EXPECT_EQ(DXG::g_d3d.device, nullptr);
  }
}

TEST_F(DeviceCreationTest, RefusedDisplayFormatsKeepTheFormatOfTheEarlierStart) {
  fake.script().refusedDisplayFormats = {D3DFMT_A2R10G10B10, D3DFMT_X8R8G8B8};
  LogTail log;
  ASSERT_TRUE(Restart(DefaultSetup()));
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(fake.script().createDeviceCalls.back().parameters.BackBufferFormat, D3DFMT_X8R8G8B8);
}

TEST_F(DeviceCreationTest, RefusedStencilFormatsFallBackToPlainDepth) {
  G::Setup setup = DefaultSetup();
  setup.stencil = true;
  fake.script().refusedDepthFormats = {D3DFMT_D24S8, D3DFMT_D15S1, D3DFMT_D32};
  LogTail log;
  ASSERT_TRUE(Restart(setup));
  EXPECT_EQ(log.Text(),
            "Warning: Couldn't find compatible stencil buffer format... reverting to plain depth buffer formats.\n");
  EXPECT_FALSE(G::HasStencilBuffer());
  EXPECT_EQ(fake.script().createDeviceCalls.back().parameters.AutoDepthStencilFormat, D3DFMT_D24X8);
  ASSERT_TRUE(DXG::BeginFrame(0, false, true));
  EXPECT_TRUE(G::Clear(0xFF000000, true, true, true, 3));
}

TEST_F(DeviceCreationTest, NoDepthFormatAtAllTriesSixteenBits) {
  fake.script().refusedDepthFormats = {D3DFMT_D32, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D16};
  LogTail log;
  ASSERT_TRUE(Restart(DefaultSetup()));
  EXPECT_EQ(log.Text(),
            "No valid z buffer formats available\n"
            "This is bad... but never give up! I'll just pick somethething and try it anyways.\n");
  EXPECT_EQ(fake.script().createDeviceCalls.back().parameters.AutoDepthStencilFormat, D3DFMT_D16);
}

TEST_F(DeviceCreationTest, AMachineWithoutDirect3DFailsTheStart) {
  fake.script().noDirect3D = true;
  LogTail log;
  EXPECT_FALSE(Restart(DefaultSetup()));
  EXPECT_EQ(log.Text(), "Failed to create Direct3D9 object\n");
  EXPECT_TRUE(G::HasFatalError());
}

// The first start of a process has no earlier format to fall back on; it
// runs in a child process of its own.
TEST(DeviceFirstStart, NoDisplayFormatAtTheFirstStartTriesX8R8G8B8) {
  if (!std::getenv("QV_D3D9_FIRST_START")) GTEST_SKIP() << "runs in the child process of the test below";
  FakeDirect3D fake;
  fake.script().refusedDisplayFormats = {D3DFMT_A2R10G10B10, D3DFMT_X8R8G8B8};
  LogTail log;
  G::Setup setup = D3D9Test::DefaultSetup();
  ASSERT_TRUE(DXG::Init(TestWindow(), &setup));
  EXPECT_EQ(log.Text(),
            "No valid display formats available\n"
            "Probably going to die... but never give up!  I'll just try a common 32 bit format anyways.\n");
  EXPECT_EQ(fake.script().createDeviceCalls.back().parameters.BackBufferFormat, D3DFMT_X8R8G8B8);
  G::Shutdown();
}

TEST(DeviceFirstStart, RunsInItsOwnProcess) {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string command = std::string("\"") + exe + "\" --gtest_filter=DeviceFirstStart.NoDisplayFormat*";
  SetEnvironmentVariableA("QV_D3D9_FIRST_START", "1");
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &process);
  SetEnvironmentVariableA("QV_D3D9_FIRST_START", nullptr);
  ASSERT_TRUE(started);
  WaitForSingleObject(process.hProcess, 120000);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace

namespace {

// Run as a child only: starts the device and leaves it running, for the
// automatic shut-down at exit to find.
TEST(D3D9Startup, ChildLeavesTheDeviceRunning) {
  if (!std::getenv("QV_LEAVE_D3D9_RUNNING")) GTEST_SKIP() << "runs in the child process of the test below";
  G::Setup setup = D3D9Test::DefaultSetup();
  ASSERT_TRUE(DXG::Init(TestWindow(), &setup));
  G::SetVertexFormat(G::IMVertexFormat());
  ASSERT_FALSE(DXG::VertexDeclarationCache.empty());
}

// The declaration cache has its row between the shader log and the vertex
// buffers, and the device left running is shut down at exit, while the
// cache still exists.
TEST(D3D9Startup, DeclarationCacheRowAndShutdownAtExit) {
  SetEnvironmentVariableA("QV_LEAVE_D3D9_RUNNING", "1");
  std::vector<TracedEvent> events = TraceStartupInChild("D3D9Startup.ChildLeavesTheDeviceRunning");
  SetEnvironmentVariableA("QV_LEAVE_D3D9_RUNNING", nullptr);
  ASSERT_FALSE(events.empty());
  std::vector<std::string> built, tornDown;
  for (const TracedEvent& e : events)
    if (e.row >= 40 && e.row <= 42) (e.built ? built : tornDown).push_back(e.name);
  EXPECT_EQ(built, (std::vector<std::string>{"ShaderLog", "VertexDeclarationCache", "g_vertexBufferRecords"}));
  EXPECT_EQ(tornDown, (std::vector<std::string>{"g_vertexBufferRecords", "VertexDeclarationCache", "ShaderLog"}));
  EXPECT_EQ(ReadFileText("_error.txt"),
            "Warning: Graphics foundation never shut down\n -Attempting automatic shutdown... OK\n");
  EXPECT_NE(ReadFileText("_stat.txt").find("Approximate max video memory used: "), std::string::npos);
}

}  // namespace
