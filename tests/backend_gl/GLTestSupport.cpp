// The OpenGL tests' window, fixture, read-back and driver stand-ins.
#include "GLTestSupport.h"

#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <deque>
#include <map>
#include <set>

#include "backend_gl/DeviceSeams.h"
#include "backend_gl/GLExtensions.h"
#include "foundation/WindowSize.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"

namespace {

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* title) {
  static bool registered = [] {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = &TestWindowProc;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "QuorvexGLTests";
    return RegisterClassA(&windowClass) != 0;
  }();
  (void)registered;
  int width = 0, height = 0;
  MainWindowOuterSize(800, 600, &width, &height);
  HWND made = CreateWindowExA(0, "QuorvexGLTests", title, kMainWindowStyle, 0, 0, width, height, nullptr, nullptr,
                              nullptr, nullptr);
  ShowWindow(made, SW_SHOW);
  return made;
}


}  // namespace

WindowHandle TestWindow() {
  static HWND window = MakeWindow("Quorvex OpenGL tests");
  return window;
}

// Never destroyed: under Wine a window with a GL drawable takes seconds
// to go, and the program's end takes them all at once.
WindowHandle FreshWindow() { return MakeWindow("Quorvex OpenGL tests (fresh)"); }

G::Setup WindowedSetup(int width, int height) {
  G::Setup setup;
  setup.adapter = 0;
  setup.fullscreen = false;
  setup.colour32 = true;
  setup.width = width;
  setup.height = height;
  setup.vertexProcessing = 1;
  setup.multithreaded = true;
  return setup;
}

void GLTest::SetUp() {
  RestoreDriverSeams();
  CopyProgramData();
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(TestWindow(), &setup));
}

void GLTest::TearDown() {
  if (G::IsInitialized()) G::Shutdown();
  RestoreDriverSeams();
}

void GLTest::Restart(G::Setup setup, bool freshWindow) {
  if (G::IsInitialized()) G::Shutdown();
  ASSERT_TRUE(DXG::Init(freshWindow ? FreshWindow() : TestWindow(), &setup));
}

void StartBlack2D() {
  G::Set2DMode(0, 0, 800, 600);
  G::Clear(0xFF000000u, true, true, false, 0);
}

void GL2DTest::SetUp() {
  GLTest::SetUp();
  StartBlack2D();
}

// ---- Read-back -------------------------------------------------------------------

std::vector<unsigned> ReadPixels(int x, int y, int width, int height) {
  glFinish();
  GLint framebuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
  if (framebuffer != 0) ADD_FAILURE() << "read-back while a render texture is bound";
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  const int targetHeight = G::GetSetup()->height;
  std::vector<unsigned> bottomUp(static_cast<size_t>(width) * height);
  glReadPixels(x, targetHeight - y - height, width, height, GL_BGRA, GL_UNSIGNED_BYTE, bottomUp.data());
  std::vector<unsigned> topDown(bottomUp.size());
  for (int row = 0; row < height; ++row)
    std::copy(bottomUp.begin() + static_cast<size_t>(height - 1 - row) * width,
              bottomUp.begin() + static_cast<size_t>(height - row) * width,
              topDown.begin() + static_cast<size_t>(row) * width);
  return topDown;
}

unsigned ReadPixel(int x, int y) { return ReadPixels(x, y, 1, 1)[0]; }

// ---- Driver stand-ins -------------------------------------------------------------------

namespace {

bool s_fakeExtensionsOn = false;
std::string s_fakeExtensions;
std::string s_fakeVendor, s_fakeRenderer, s_fakeVersion;
std::set<std::string> s_deniedProcs;
std::map<std::string, void*> s_replacedProcs;
std::deque<unsigned> s_queuedErrors;

const char* FakeString(unsigned name) {
  if (name == GL_EXTENSIONS && s_fakeExtensionsOn) return s_fakeExtensions.c_str();
  if (name == GL_VENDOR && !s_fakeVendor.empty()) return s_fakeVendor.c_str();
  if (name == GL_RENDERER && !s_fakeRenderer.empty()) return s_fakeRenderer.c_str();
  if (name == GL_VERSION && !s_fakeVersion.empty()) return s_fakeVersion.c_str();
  return DriverGLString(name);
}

void* FakeLoader(const char* name) {
  if (s_deniedProcs.count(name)) return nullptr;
  auto replaced = s_replacedProcs.find(name);
  if (replaced != s_replacedProcs.end()) return replaced->second;
  return DriverGLProc(name);
}

unsigned QueuedErrorSource() {
  if (s_queuedErrors.empty()) return DriverGLError();
  const unsigned code = s_queuedErrors.front();
  s_queuedErrors.pop_front();
  return code;
}

}  // namespace

void RestoreDriverSeams() {
  s_fakeExtensionsOn = false;
  s_fakeExtensions.clear();
  s_fakeVendor.clear();
  s_fakeRenderer.clear();
  s_fakeVersion.clear();
  s_deniedProcs.clear();
  s_replacedProcs.clear();
  s_queuedErrors.clear();
  SetGLStringSource(nullptr);
  SetGLProcLoader(nullptr);
  SetGLErrorSource(nullptr);
  SetPixelFormatFilter(nullptr);
  SetDesktopBitsSource(nullptr);
  SetDisplayModeChanger(nullptr);
}

void FakeExtensions(const std::string& extensions) {
  s_fakeExtensionsOn = true;
  s_fakeExtensions = extensions;
  SetGLStringSource(&FakeString);
}

void FakeDriverStrings(const std::string& vendor, const std::string& renderer, const std::string& version) {
  s_fakeVendor = vendor;
  s_fakeRenderer = renderer;
  s_fakeVersion = version;
  SetGLStringSource(&FakeString);
}

std::string DriverExtensions() {
  const char* text = DriverGLString(GL_EXTENSIONS);
  return text ? text : "";
}

void DenyEntryPoints(const std::vector<std::string>& names) {
  s_deniedProcs.insert(names.begin(), names.end());
  SetGLProcLoader(&FakeLoader);
}

void ReplaceEntryPoint(const std::string& name, void* function) {
  s_replacedProcs[name] = function;
  SetGLProcLoader(&FakeLoader);
}

void* DriverEntryPoint(const char* name) { return DriverGLProc(name); }

void QueueGLErrors(const std::vector<unsigned>& codes) {
  s_queuedErrors.insert(s_queuedErrors.end(), codes.begin(), codes.end());
  SetGLErrorSource(&QueuedErrorSource);
}

size_t QueuedGLErrorsLeft() { return s_queuedErrors.size(); }

void CopyProgramData() {
  CreateDirectoryA("data", nullptr);
  CreateDirectoryA("data\\shaders", nullptr);
  for (const char* name : {"glsl_base.glsl", "gbfont.glsl_v", "gbfont.glsl_f", "simple.glsl_v", "simple.glsl_f"}) {
    const std::string bytes = ReadFileBytes(SourceDir() + "/data/shaders/" + name);
    if (bytes.empty()) ADD_FAILURE() << "no program data file " << name;
    WriteFileBytes(std::string("data\\shaders\\") + name, bytes);
  }
}
