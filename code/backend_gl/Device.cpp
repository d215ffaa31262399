// OpenGL start-up and shut-down: display mode and window size, the pixel
// format, the WGL rendering context, the driver report, the extension probe
// and the default states; and the status queries of the graphics interface.
#include <cstdlib>

#include "backend_gl/DeviceSeams.h"
#include "backend_gl/GLBackend.h"
#include "foundation/CriticalSection.h"
#include "foundation/LogFile.h"
#include "foundation/SystemReport.h"
#include "foundation/Utility.h"
#include "foundation/WindowSize.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/GraphicsLock.h"

namespace {

// Plain data only: the automatic shut-down at exit may still read it after
// every global with a destructor is gone.
struct DeviceState {
  G::Setup setup;
  HWND window;
  HDC dc;
  HGLRC context;
  unsigned generation;
};
DeviceState s_device;

int DriverDesktopBits() {
  HDC screen = GetDC(nullptr);
  const int bits = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return bits;
}

long DriverDisplayModeChange(int width, int height, int bitsPerPixel) {
  if (width == 0) return ChangeDisplaySettingsA(nullptr, 0);
  DEVMODEA mode = {};
  mode.dmSize = sizeof mode;
  EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
  mode.dmPelsWidth = width;
  mode.dmPelsHeight = height;
  mode.dmBitsPerPel = bitsPerPixel;
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
}

PixelFormatFilter s_pixelFormatFilter = nullptr;
DesktopBitsSource s_desktopBits = &DriverDesktopBits;
DisplayModeChanger s_displayModeChanger = &DriverDisplayModeChange;

bool StartsWithAtiIgnoringCase(const char* vendor) {
  const char* ati = "ati";
  for (int i = 0; i < 3; ++i) {
    if (!vendor[i] || (vendor[i] | 0x20) != ati[i]) return false;
  }
  return true;
}

// Drivers of one vendor older than build 5646 draw parts of the scene wrong;
// the user is told, and start-up goes on either way.
void WarnAboutOldDriver(const char* vendor, const char* version) {
  if (!StartsWithAtiIgnoringCase(vendor)) return;
  std::vector<std::string> tokens;
  Tokenize(version, tokens, " ");
  if (tokens.empty()) return;
  std::vector<std::string> parts;
  Tokenize(tokens[0], parts, ".");
  if (parts.size() < 3 || std::atoi(parts[2].c_str()) >= 5646) return;
  ShowMessageBox(s_device.window,
                 "It looks like you may have an older driver installed.\n\nYou should update it.\n\n"
                 "If you don't things may potentially not run right.\n",
                 "user needs to stop slacking...", kMessageBoxOk);
}

bool FailInit(const char* message) {
  ErrorLog << message;
  G::Shutdown();
  return false;
}

}  // namespace

// ---- Seams --------------------------------------------------------------------

PixelFormatFilter SetPixelFormatFilter(PixelFormatFilter filter) {
  PixelFormatFilter old = s_pixelFormatFilter;
  s_pixelFormatFilter = filter;
  return old;
}

DesktopBitsSource SetDesktopBitsSource(DesktopBitsSource source) {
  DesktopBitsSource old = s_desktopBits;
  s_desktopBits = source ? source : &DriverDesktopBits;
  return old;
}

DisplayModeChanger SetDisplayModeChanger(DisplayModeChanger changer) {
  DisplayModeChanger old = s_displayModeChanger;
  s_displayModeChanger = changer ? changer : &DriverDisplayModeChange;
  return old;
}

// ---- Backend-internal ----------------------------------------------------------

namespace GLBackend {

bool HasContext() { return s_device.context != nullptr; }
unsigned ContextGeneration() { return s_device.generation; }
bool IsLiveContext(unsigned generation) { return s_device.context && generation == s_device.generation; }
G::Setup& SetupCopy() { return s_device.setup; }
HDC DeviceContext() { return s_device.dc; }

}  // namespace GLBackend

// ---- The interface --------------------------------------------------------------

namespace G {

bool CheckGraphicsCaps(int& vertexProcessing, std::string& message) {
  message.clear();
  ReportSystemInfo();
  vertexProcessing = 1;
  return false;
}

bool IsGraphicsUnavailable() { return false; }

bool SetDisplayMode(int width, int height) {
  Setup& setup = s_device.setup;
  if (setup.fullscreen &&
      s_displayModeChanger(width, height, setup.colour32 ? 32 : 16) != DISP_CHANGE_SUCCESSFUL) {
    ErrorLog << "Failed to change display mode.\n";
    return false;
  }
  // The back buffer is the client area, in a window or full screen (the
  // window keeps its frame): the frame comes on top of it.
  int outerWidth = 0, outerHeight = 0;
  MainWindowOuterSize(width, height, &outerWidth, &outerHeight);
  SetWindowPos(s_device.window, nullptr, 0, 0, outerWidth, outerHeight, SWP_NOMOVE | SWP_NOZORDER);
  setup.width = width;
  setup.height = height;
  return true;
}

void Shutdown() {
  FireShutdownCallbacks();
  CriticalSectionLock lock(g_graphicsLock);
  wglMakeCurrent(nullptr, nullptr);
  if (s_device.context) wglDeleteContext(s_device.context);
  s_device.context = nullptr;
  GLBackend::ForgetEntryPoints();
  GLBackend::ForgetCurrentShader();
  s_displayModeChanger(0, 0, 0);
  if (s_device.dc) ReleaseDC(s_device.window, s_device.dc);
  s_device.dc = nullptr;
}

bool IsInitialized() { return s_device.context != nullptr; }
bool HasFatalError() { return false; }
Setup* GetSetup() { return &s_device.setup; }
bool Is32BitColor() { return s_device.setup.colour32; }
bool HasStencilBuffer() { return s_device.setup.stencil; }
bool HasTwoSidedStencil() { return GLCapabilities.twoSidedStencil && GLCapabilities.stencilWrap; }

}  // namespace G

namespace DXG {

bool Init(WindowHandle window, G::Setup* setup) {
  if (!setup) return false;
  // A second context on the same window would strand the first one and
  // every object made in it.
  if (s_device.context) {
    ErrorLog << "Attempt to call DXG::Init while already ready\n";
    return false;
  }
  G::Setup& copy = s_device.setup;
  copy = *setup;
  s_device.window = window;
  s_device.dc = GetDC(window);
  const int desktopBits = s_desktopBits();
  if (desktopBits != 16 && desktopBits != 32)
    ErrorLog << "Warning: Desktop color bit depth should be 16 or 32.  Change to 16bpp or 32bpp if Init fails.\n";

  if (!G::SetDisplayMode(copy.width, copy.height)) {
    ErrorLog << "initial display mode  didn't work... trying minimal..\n";
    if (!G::SetDisplayMode(1024, 768)) {
      ErrorLog << "Init failing.. can't set display mode.";
      G::Shutdown();
      return false;
    }
    // The table's entry for the size that did work.
    g_resolutionIndex = 1;
    g_appliedResolutionIndex = 1;
  }

  PIXELFORMATDESCRIPTOR format = {};
  format.nSize = sizeof format;
  format.nVersion = 1;
  format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  format.iPixelType = PFD_TYPE_RGBA;
  format.cColorBits = static_cast<BYTE>(copy.fullscreen ? (copy.colour32 ? 32 : 16) : desktopBits);
  format.cDepthBits = 32;
  format.cStencilBits = copy.stencil ? 8 : 0;
  format.iLayerType = PFD_MAIN_PLANE;
  int number = ChoosePixelFormat(s_device.dc, &format);
  // The checks below read what the driver offers, not what was asked.
  if (number) DescribePixelFormat(s_device.dc, number, sizeof format, &format);
  if (s_pixelFormatFilter) {
    PixelFormatReport report = {number, format.cColorBits, format.cDepthBits, format.cStencilBits};
    s_pixelFormatFilter(&report);
    number = report.number;
    format.cColorBits = static_cast<BYTE>(report.colorBits);
    format.cDepthBits = static_cast<BYTE>(report.depthBits);
    format.cStencilBits = static_cast<BYTE>(report.stencilBits);
  }
  if (number == 0) return FailInit("Couldn't find a pixel format to use similar to request.\n");
  if (format.cDepthBits == 0) ErrorLog << "Warning: No depth buffer in selected pixel format.\n";
  if (copy.stencil && format.cStencilBits == 0) {
    ErrorLog << "Warning: Stencil buffer requested but not being made.\n";
    copy.stencil = false;
  }
  if (copy.fullscreen && copy.colour32 && format.cColorBits != 32)
    ErrorLog << "Warning: 32 bpp format requested but not chosen.\n";
  if (copy.fullscreen && !copy.colour32 && format.cColorBits != 16)
    ErrorLog << "Warning: 16 bpp format requested but not chosen.\n";

  if (!SetPixelFormat(s_device.dc, number, &format)) return FailInit("Failed to set pixel format.\n");
  s_device.context = wglCreateContext(s_device.dc);
  if (!s_device.context) return FailInit("Failed to create OpenGL rendering context.\n");
  if (!wglMakeCurrent(s_device.dc, s_device.context))
    return FailInit("Failed to set OpenGL rendering context as the current context.\n");
  ++s_device.generation;
  GLBackend::ResetDrawingState();

  CheckGLErrors("OpenGL Init Errors (will ignore and try anyways:", true);

  const char* vendor = GLBackend::GLString(GL_VENDOR);
  const char* renderer = GLBackend::GLString(GL_RENDERER);
  const char* version = GLBackend::GLString(GL_VERSION);
  StatLog << "OpenGL info:\n"
          << "  vender: " << vendor << "\n"
          << "  renderer: " << renderer << "\n"
          << "  version: " << version << "\n\n";
  WarnAboutOldDriver(vendor, version);

  if (!InitExtensions())
    return FailInit("Some vital OpenGL extension is not available on your video card.  Init aborting.\n");

  // Tearing is accepted in a window; full screen waits for the retrace.
  if (wglSwapIntervalEXT) wglSwapIntervalEXT(copy.fullscreen ? 1 : 0);

  glEnable(GL_BLEND);
  G::SetDefaultRenderStates();

  if (copy.stencil && G::HasTwoSidedStencil() && glActiveStencilFaceEXT) {
    glActiveStencilFaceEXT(GL_BACK);
    glStencilMask(~0u);
    glActiveStencilFaceEXT(GL_FRONT);
    glStencilMask(~0u);
  }
  return true;
}

}  // namespace DXG
