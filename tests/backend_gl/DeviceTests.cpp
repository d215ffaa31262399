// OpenGL start-up and shut-down: the driver report, the old-driver warning,
// pixel-format and display-mode fallbacks, the window's client area, and
// objects that outlive their rendering context.
#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include "GLTestSupport.h"
#include "backend_gl/DeviceSeams.h"
#include "backend_gl/GLExtensions.h"
#include "foundation/CMemMan.h"
#include "foundation/Utility.h"
#include "foundation/WindowSize.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace {

class DeviceTest : public GLTest {
 protected:
  // The tests here start the backend themselves, each on a window of its
  // own: start-up may pick another pixel format.
  void SetUp() override {
    GLTest::SetUp();
    G::Shutdown();
    window_ = FreshWindow();
  }
  WindowHandle window_ = nullptr;
};

void ClientSize(WindowHandle window, int* width, int* height) {
  RECT rect = {};
  GetClientRect(window, &rect);
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
}

// ---- Display modes, recorded -----------------------------------------------------
struct ModeCall {
  int width, height, bits;
};
std::vector<ModeCall> s_modeCalls;
int s_refusedModes;  // how many mode changes (not restores) to refuse

long RecordModeChange(int width, int height, int bits) {
  s_modeCalls.push_back({width, height, bits});
  if (width != 0 && s_refusedModes > 0) {
    --s_refusedModes;
    return DISP_CHANGE_BADMODE;
  }
  return DISP_CHANGE_SUCCESSFUL;
}

void RecordModes(int refused) {
  s_modeCalls.clear();
  s_refusedModes = refused;
  SetDisplayModeChanger(&RecordModeChange);
}

// ---- Pixel formats, reported otherwise --------------------------------------------------
PixelFormatReport s_lastReport;
int s_forceDepth = -1, s_forceStencil = -1, s_forceColor = -1, s_forceNumber = -1;
void FilterFormat(PixelFormatReport* report) {
  s_lastReport = *report;
  if (s_forceDepth >= 0) report->depthBits = s_forceDepth;
  if (s_forceStencil >= 0) report->stencilBits = s_forceStencil;
  if (s_forceColor >= 0) report->colorBits = s_forceColor;
  if (s_forceNumber >= 0) report->number = s_forceNumber;
}
void ReportFormatAs(int depth, int stencil, int color, int number) {
  s_forceDepth = depth;
  s_forceStencil = stencil;
  s_forceColor = color;
  s_forceNumber = number;
  SetPixelFormatFilter(&FilterFormat);
}

TEST_F(DeviceTest, StartUpWritesTheDriverReportAndTheProbe) {
  FakeDriverStrings("Vendor V", "Renderer R", "9.8.7 build");
  LogTail stat("_stat.txt");
  LogTail errors;
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  const std::string text = stat.Text();
  EXPECT_EQ(text.substr(0, text.find("Checking")),
            "OpenGL info:\n  vender: Vendor V\n  renderer: Renderer R\n  version: 9.8.7 build\n\n");
  EXPECT_NE(text.find("Checking OpenGL Extensions:\nGL_ARB_vertex_buffer_object supported.\n"), std::string::npos);
  EXPECT_EQ(errors.Text(), "");
  EXPECT_TRUE(G::IsInitialized());
  EXPECT_FALSE(G::HasFatalError());
  EXPECT_EQ(G::GetSetup()->width, 800);
  EXPECT_EQ(G::GetSetup()->height, 600);
  // Mesa offers both stencil extensions and stencil wrap.
  EXPECT_TRUE(G::HasTwoSidedStencil());
}

TEST_F(DeviceTest, OldDriversOfOneVendorAreReportedInABox) {
  struct Case {
    const char* vendor;
    const char* version;
    bool box;
  } cases[] = {
      {"ATI Technologies Inc.", "2.0.5000 WinXP Release", true},
      {"ATI Technologies Inc.", "2.0.5646 WinXP Release", false},
      {"ati", "1.5.4000", true},
      {"aTi x", "  2.0.12  more", true},
      {"ATI", "2.0 beta", false},
      {"NVIDIA Corporation", "2.0.5000", false},
      {"AT", "2.0.5000", false},
      {"ATI", " ", false},
  };
  for (const Case& c : cases) {
    FakeDriverStrings(c.vendor, "r", c.version);
    MessageBoxRecorder boxes;
    G::Setup setup = WindowedSetup();
    ASSERT_TRUE(DXG::Init(window_, &setup)) << c.vendor << " / " << c.version;
    ASSERT_EQ(boxes.Boxes().size(), c.box ? 1u : 0u) << c.vendor << " / " << c.version;
    if (c.box) {
      EXPECT_EQ(boxes.Boxes()[0].text,
                "It looks like you may have an older driver installed.\n\nYou should update it.\n\n"
                "If you don't things may potentially not run right.\n");
      EXPECT_EQ(boxes.Boxes()[0].caption, "user needs to stop slacking...");
      EXPECT_EQ(boxes.Boxes()[0].style, static_cast<unsigned>(kMessageBoxOk));
    }
    G::Shutdown();
  }
}

TEST_F(DeviceTest, TheClientAreaIsTheSetUpSize) {
  // A window made by the helper has exactly the asked client area.
  int outerWidth = 0, outerHeight = 0;
  MainWindowOuterSize(800, 600, &outerWidth, &outerHeight);
  HWND window = CreateWindowExA(0, "QuorvexGLTests", "client size", kMainWindowStyle, 0, 0, outerWidth, outerHeight,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  RECT rect = {};
  GetClientRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 800);
  EXPECT_EQ(rect.bottom - rect.top, 600);

  // In a window and full screen alike (the window keeps its frame there).
  for (bool fullscreen : {false, true}) {
    SCOPED_TRACE(fullscreen ? "full screen" : "windowed");
    RecordModes(0);
    WindowHandle window = FreshWindow();
    G::Setup setup = WindowedSetup(640, 480);
    setup.fullscreen = fullscreen;
    ASSERT_TRUE(DXG::Init(window, &setup));
    int width = 0, height = 0;
    ClientSize(window, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    ASSERT_TRUE(G::SetDisplayMode(800, 600));
    ClientSize(window, &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_EQ(G::GetSetup()->width, 800);
    EXPECT_EQ(G::GetSetup()->height, 600);
    EXPECT_EQ(s_modeCalls.size(), fullscreen ? 2u : 0u);
    // The back buffer is the client area: its last row and column are drawn
    // (the driver takes the new size at the next present).
    DXG::EndFrame1();
    G::Clear(0xFF00FF00u, true, true, false, 0);
    EXPECT_EQ(Rgb(ReadPixel(799, 599)), 0x00FF00u);
    G::Shutdown();
  }
}

TEST_F(DeviceTest, ARefusedFullScreenModeFallsBackTo1024x768) {
  RecordModes(1);
  LogTail errors;
  G::Setup setup = WindowedSetup();
  setup.fullscreen = true;
  ASSERT_TRUE(DXG::Init(window_, &setup));
  EXPECT_EQ(errors.Text(), "Failed to change display mode.\ninitial display mode  didn't work... trying minimal..\n");
  ASSERT_EQ(s_modeCalls.size(), 2u);
  EXPECT_EQ(s_modeCalls[0].width, 800);
  EXPECT_EQ(s_modeCalls[0].bits, 32);
  EXPECT_EQ(s_modeCalls[1].width, 1024);
  EXPECT_EQ(s_modeCalls[1].height, 768);
  EXPECT_EQ(G::GetSetup()->width, 1024);
  EXPECT_EQ(G::GetSetup()->height, 768);
  EXPECT_EQ(g_resolutionIndex, 1);
  G::Shutdown();
  // Shut-down gives the desktop its own mode back.
  ASSERT_EQ(s_modeCalls.size(), 3u);
  EXPECT_EQ(s_modeCalls[2].width, 0);
  ResetResolution();
}

TEST_F(DeviceTest, StartUpEndsWhenNoDisplayModeWorks) {
  RecordModes(2);
  LogTail errors;
  G::Setup setup = WindowedSetup();
  setup.fullscreen = true;
  setup.colour32 = false;
  EXPECT_FALSE(DXG::Init(window_, &setup));
  EXPECT_EQ(errors.Text(),
            "Failed to change display mode.\ninitial display mode  didn't work... trying minimal..\n"
            "Failed to change display mode.\nInit failing.. can't set display mode.");
  EXPECT_EQ(s_modeCalls[0].bits, 16);
  EXPECT_EQ(s_modeCalls.back().width, 0);
  EXPECT_FALSE(G::IsInitialized());
  EXPECT_FALSE(G::HasFatalError());
  // Nothing keeps a later start from working.
  SetDisplayModeChanger(nullptr);
  setup = WindowedSetup();
  EXPECT_TRUE(DXG::Init(window_, &setup));
}

TEST_F(DeviceTest, PixelFormatShortcomingsAreWarnings) {
  struct Case {
    bool fullscreen, colour32, stencil;
    int depth, stencilBits, colorBits;
    const char* log;
  } cases[] = {
      {false, true, false, 0, -1, -1, "Warning: No depth buffer in selected pixel format.\n"},
      {false, true, true, -1, 0, -1, "Warning: Stencil buffer requested but not being made.\n"},
      {true, true, false, -1, -1, 16, "Warning: 32 bpp format requested but not chosen.\n"},
      {true, false, false, -1, -1, 32, "Warning: 16 bpp format requested but not chosen.\n"},
      {true, false, true, 0, 0, 24,
       "Warning: No depth buffer in selected pixel format.\nWarning: Stencil buffer requested but not being made.\n"
       "Warning: 16 bpp format requested but not chosen.\n"},
  };
  for (const Case& c : cases) {
    RecordModes(0);
    ReportFormatAs(c.depth, c.stencilBits, c.colorBits, -1);
    LogTail errors;
    G::Setup setup = WindowedSetup();
    setup.fullscreen = c.fullscreen;
    setup.colour32 = c.colour32;
    setup.stencil = c.stencil;
    ASSERT_TRUE(DXG::Init(FreshWindow(), &setup)) << c.log;
    EXPECT_EQ(errors.Text(), c.log);
    EXPECT_FALSE(G::HasStencilBuffer());
    G::Shutdown();
  }
}

TEST_F(DeviceTest, WithoutStencilBitsClearLeavesTheStencilAlone) {
  G::Setup setup = WindowedSetup();
  setup.stencil = true;
  ASSERT_TRUE(DXG::Init(window_, &setup));
  EXPECT_TRUE(G::HasStencilBuffer());
  G::Clear(0xFF000000u, true, true, true, 5);
  GLubyte stencil = 0;
  glReadPixels(10, 10, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
  EXPECT_EQ(stencil, 5);
  G::Shutdown();

  // The driver's format still has stencil bits, but the backend was told
  // there are none: it must not clear them.
  ReportFormatAs(-1, 0, -1, -1);
  ASSERT_TRUE(DXG::Init(window_, &setup));
  EXPECT_FALSE(G::HasStencilBuffer());
  G::Clear(0xFF000000u, true, true, true, 0);
  glClearStencil(9);
  glClear(GL_STENCIL_BUFFER_BIT);
  G::Clear(0xFF000000u, true, true, true, 3);
  glReadPixels(10, 10, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
  EXPECT_EQ(stencil, 9);
}

TEST_F(DeviceTest, PixelFormatFailuresEndStartUp) {
  ReportFormatAs(-1, -1, -1, 0);
  LogTail errors;
  G::Setup setup = WindowedSetup();
  EXPECT_FALSE(DXG::Init(window_, &setup));
  EXPECT_EQ(errors.Text(), "Couldn't find a pixel format to use similar to request.\n");
  EXPECT_FALSE(G::IsInitialized());

  // A window holds the first format set on it: another one is refused.
  SetPixelFormatFilter(nullptr);
  ASSERT_TRUE(DXG::Init(window_, &setup));
  G::Shutdown();
  const int current = GetPixelFormat(GetDC(window_));
  ASSERT_GT(current, 0);
  ReportFormatAs(-1, -1, -1, current == 1 ? 2 : 1);
  LogTail errors2;
  EXPECT_FALSE(DXG::Init(window_, &setup));
  EXPECT_EQ(errors2.Text(), "Failed to set pixel format.\n");
  EXPECT_FALSE(G::IsInitialized());
}

TEST_F(DeviceTest, ADesktopOfAnotherDepthIsOnlyAWarning) {
  SetDesktopBitsSource([]() { return 24; });
  LogTail errors;
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  EXPECT_EQ(errors.Text(),
            "Warning: Desktop color bit depth should be 16 or 32.  Change to 16bpp or 32bpp if Init fails.\n");
}

TEST_F(DeviceTest, MisuseOfInitChangesNothing) {
  LogTail errors;
  EXPECT_FALSE(DXG::Init(window_, nullptr));
  EXPECT_EQ(errors.Text(), "");
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  LogTail again;
  EXPECT_FALSE(DXG::Init(window_, &setup));
  EXPECT_EQ(again.Text(), "Attempt to call DXG::Init while already ready\n");
  EXPECT_TRUE(G::IsInitialized());
  G::Clear(0xFF0000FFu, true, true, false, 0);
  EXPECT_EQ(Rgb(ReadPixel(400, 300)), 0x0000FFu);
}

TEST_F(DeviceTest, TheCapabilityCheckOnlyReportsTheSystem) {
  LogTail stat("_stat.txt");
  int mode = 2;
  std::string message = "old";
  EXPECT_FALSE(G::CheckGraphicsCaps(mode, message));
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(message, "");
  EXPECT_NE(stat.Text(), "");
  EXPECT_FALSE(G::IsGraphicsUnavailable());
}

int s_swapInterval = -1;
BOOL WINAPI RecordSwapInterval(int interval) {
  s_swapInterval = interval;
  return TRUE;
}

TEST_F(DeviceTest, TheSwapIntervalFollowsFullScreenNotVsync) {
  ReplaceEntryPoint("wglSwapIntervalEXT", reinterpret_cast<void*>(&RecordSwapInterval));
  G::Setup setup = WindowedSetup();
  setup.vsync = true;
  ASSERT_TRUE(DXG::Init(window_, &setup));
  EXPECT_EQ(s_swapInterval, 0);
  G::Shutdown();
  RecordModes(0);
  setup.fullscreen = true;
  setup.vsync = false;
  ASSERT_TRUE(DXG::Init(window_, &setup));
  EXPECT_EQ(s_swapInterval, 1);
  G::Shutdown();
  // Without the entry point nothing is called.
  s_swapInterval = -1;
  DenyEntryPoints({"wglSwapIntervalEXT"});
  ASSERT_TRUE(DXG::Init(window_, &setup));
  EXPECT_EQ(s_swapInterval, -1);
}

TEST_F(DeviceTest, FramesFlushAndSwap) {
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  LogTail errors;
  for (int frame = 0; frame < 3; ++frame) {
    ASSERT_TRUE(DXG::BeginFrame(0.01f, true, true));
    G::Clear(0xFF202020u, true, true, false, 0);
    DXG::EndFrame0();
    DXG::EndFrame1();
  }
  EXPECT_EQ(errors.Text(), "");
  EXPECT_EQ(DXG::GetDevice(), nullptr);
}

// ---- Objects that outlive their context ---------------------------------------------------

int s_bufferDeletes, s_objectDeletes, s_framebufferDeletes;
void APIENTRY CountBufferDeletes(GLsizei n, const GLuint* names) {
  ++s_bufferDeletes;
  reinterpret_cast<PFNGLDELETEBUFFERSARBPROC>(DriverEntryPoint("glDeleteBuffersARB"))(n, names);
}
void APIENTRY CountObjectDeletes(GLhandleARB object) {
  ++s_objectDeletes;
  reinterpret_cast<PFNGLDELETEOBJECTARBPROC>(DriverEntryPoint("glDeleteObjectARB"))(object);
}
void APIENTRY CountFramebufferDeletes(GLsizei n, const GLuint* names) {
  ++s_framebufferDeletes;
  reinterpret_cast<PFNGLDELETEFRAMEBUFFERSEXTPROC>(DriverEntryPoint("glDeleteFramebuffersEXT"))(n, names);
}

TEST_F(DeviceTest, ObjectsReleasedAfterShutdownCallNoGL) {
  ReplaceEntryPoint("glDeleteBuffersARB", reinterpret_cast<void*>(&CountBufferDeletes));
  ReplaceEntryPoint("glDeleteObjectARB", reinterpret_cast<void*>(&CountObjectDeletes));
  ReplaceEntryPoint("glDeleteFramebuffersEXT", reinterpret_cast<void*>(&CountFramebufferDeletes));
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  const int liveBefore = g_memMan.LiveRecordCount();
  {
    G::VertexBuffer vertices;
    G::IndexBuffer indices;
    G::RenderTexture target;
    G::Texture* texture = new2(G::Texture, G::Texture());
    G::Shader* shader = new2(G::Shader, G::Shader());
    ASSERT_TRUE(vertices.Create(3, {{G::kFloat3, G::kUsePosition}}, 12, false, true));
    ASSERT_TRUE(indices.Create(3, false, true));
    ASSERT_TRUE(target.Create(64, 64, false));
    ASSERT_TRUE(texture->Create(16, 16, G::kTextureRGBA, 1, false));
    ASSERT_TRUE(shader->Load("data\\shaders\\gbfont", ""));
    shader->Set();
    s_bufferDeletes = s_objectDeletes = s_framebufferDeletes = 0;
    G::Shutdown();
    LogTail errors;
    delete2(shader);
    delete2(texture);
    EXPECT_EQ(MaskCallStacks(errors.Text()),
              "Bad: texture being destructed, but graphics is not inited.\n  -call stack:\n\n");
  }
  EXPECT_EQ(s_bufferDeletes, 0);
  EXPECT_EQ(s_objectDeletes, 0);
  EXPECT_EQ(s_framebufferDeletes, 0);
  // Their memory is given back all the same.
  EXPECT_EQ(g_memMan.LiveRecordCount(), liveBefore);
}

TEST_F(DeviceTest, WorkAskedForAfterShutdownIsRefusedWithoutADriver) {
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  G::Shutdown();
  LogTail errors;
  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  G::RenderTexture target;
  G::Shader shader;
  EXPECT_FALSE(vertices.Create(3, {{G::kFloat3, G::kUsePosition}}, 12, false, true));
  EXPECT_FALSE(indices.Create(3, false, true));
  EXPECT_FALSE(target.Create(64, 64, false));
  EXPECT_FALSE(shader.Load("data\\shaders\\gbfont", ""));
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMEnd();
  G::UnsetTexture(1);
  G::UnsetVertexBuffer();
  G::UnsetIndexBuffer();
  shader.Set();
  G::UnbindShader();
  EXPECT_FALSE(G::Clear(0xFF000000u, true, true, true, 0));
  EXPECT_EQ(errors.Text(), "glGenBuffersARB failed... so can't make VB.\nglGenBuffersARB failed... so can't make IB.\n");
  LogTail textureLog;
  { G::Texture late; }
  EXPECT_EQ(MaskCallStacks(textureLog.Text()),
            "Bad: texture created, but graphics is not inited.\n  -call stack:\n\n"
            "Bad: texture being destructed, but graphics is not inited.\n  -call stack:\n\n");
}

// Buffers and targets made before Shutdown have no context to be bound in
// afterwards: setting them binds nothing (the buffers say so, as for any
// buffer without a live object) and calls no GL.
TEST_F(DeviceTest, ObjectsOfAnEndedContextAreSetToNothing) {
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  G::RenderTexture target;
  ASSERT_TRUE(vertices.Create(3, {{G::kFloat3, G::kUsePosition}}, 12, false, true));
  ASSERT_TRUE(indices.Create(3, false, true));
  ASSERT_TRUE(target.Create(64, 64, false));
  vertices.Set();
  indices.Set();
  G::Shutdown();
  LogTail errors;
  vertices.Set();
  indices.Set();
  target.Set(0);
  target.Set(1);
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Attempt to Set a VertexBuffer that doesn't exist.\n  -call stack:\n\n"
            "Attempt to Set an IndexBuffer that doesn't exist.\n  -call stack:\n\n");
}

TEST_F(DeviceTest, ATextureOfAnEarlierContextLeavesTheNewOnesAlone) {
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  G::Texture* old = new2(G::Texture, G::Texture());
  ASSERT_TRUE(old->Create(16, 16, G::kTextureRGBA, 1, false));
  G::Shutdown();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  // The new context hands out the same names again.
  G::Texture fresh;
  ASSERT_TRUE(fresh.Create(16, 16, G::kTextureRGBA, 1, false));
  {
    G::TextureLock lock(&fresh, false, true);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) lock.SetPixel(x, y, 0xFF00FF00u);
  }
  LogTail errors;
  delete2(old);
  EXPECT_EQ(errors.Text(), "");
  // The new texture still draws: the old record did not delete its name.
  StartBlack2D();
  fresh.Set(0);
  G::IMBegin(G::kPrimitiveTriangleFan);
  G::IMTexCoord2(0, 0);
  G::IMPosition2(0, 0);
  G::IMTexCoord2(1, 0);
  G::IMPosition2(100, 0);
  G::IMTexCoord2(1, 1);
  G::IMPosition2(100, 100);
  G::IMTexCoord2(0, 1);
  G::IMPosition2(0, 100);
  G::IMEnd();
  EXPECT_EQ(Rgb(ReadPixel(50, 50)), 0x00FF00u);
  // Setting the old texture in the new context would bind a stranger.
  G::Texture stale;
  ASSERT_TRUE(stale.Create(16, 16, G::kTextureRGBA, 1, false));
  G::Shutdown();
  ASSERT_TRUE(DXG::Init(window_, &setup));
  LogTail setErrors;
  stale.Set(0);
  EXPECT_EQ(MaskCallStacks(setErrors.Text()),
            "Attempt to Set a texture that... isn't set up correctly somehow...\n  -call stack:\n\n");
}

}  // namespace
