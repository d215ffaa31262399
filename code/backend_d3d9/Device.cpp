// Direct3D 9 start-up, device and frames: Init with its format choices and
// creation retries, the frame bracket with device-loss handling and reset,
// Clear, the status queries, the device defaults and the statistics written
// at start and end.
#include <windows.h>

#include <d3dx9.h>

#include "backend_d3d9/D3D9Backend.h"
#include "foundation/LogFile.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/GraphicsLock.h"

namespace DXG {

BackendState g_d3d;

namespace {

Direct3DFactory s_factory = nullptr;
ResultHook s_resultHook = nullptr;

int DesktopBitsPerPixel() {
  long bits;
  if (AskResultHook("DesktopBitsPerPixel", 0, &bits)) return static_cast<int>(bits);
  HDC screen = GetDC(nullptr);
  int result = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return result;
}

unsigned AvailableTextureMemory() {
  long bytes;
  if (AskResultHook("GetAvailableTextureMem", 0, &bytes)) return static_cast<unsigned>(bytes);
  return g_d3d.device->GetAvailableTextureMem();
}

bool ValidateSetup(const G::Setup* setup, std::string& reason) {
  if (!setup) {
    reason = "Invalid pointer passed for Setup struct.";
    return false;
  }
  if (!setup->fullscreen) {
    int bits = DesktopBitsPerPixel();
    if (bits != 16 && bits != 32)
      ErrorLog << "Windows desktop should be set to either 16 or 32 bit color to run in windowed mode... but will "
                  "try it anyways...\n";
  }
  return true;
}

D3DFORMAT ChooseBackBufferFormat() {
  const G::Setup& setup = g_d3d.setup;
  const D3DFORMAT colour32[] = {D3DFMT_A2R10G10B10, D3DFMT_X8R8G8B8};
  const D3DFORMAT colour16[] = {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
  const D3DFORMAT* candidates = setup.colour32 ? colour32 : colour16;
  for (int i = 0; i < 2; ++i)
    if (SUCCEEDED(g_d3d.d3d->CheckDeviceType(setup.adapter, D3DDEVTYPE_HAL, candidates[i], candidates[i],
                                             !setup.fullscreen)))
      return candidates[i];
  if (g_d3d.backBufferFormat != D3DFMT_UNKNOWN) return g_d3d.backBufferFormat;
  ErrorLog << "No valid display formats available\n"
           << "Probably going to die... but never give up!  I'll just try a common 32 bit format anyways.\n";
  return D3DFMT_X8R8G8B8;
}

bool DepthFormatAvailable(D3DFORMAT format) {
  return SUCCEEDED(g_d3d.d3d->CheckDeviceFormat(g_d3d.setup.adapter, D3DDEVTYPE_HAL, g_d3d.backBufferFormat,
                                                D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format));
}

D3DFORMAT ChooseDepthFormat() {
  if (g_d3d.setup.stencil) {
    for (D3DFORMAT format : {D3DFMT_D24S8, D3DFMT_D15S1})
      if (DepthFormatAvailable(format)) return format;
    g_d3d.setup.stencil = false;
    ErrorLog << "Warning: Couldn't find compatible stencil buffer format... reverting to plain depth buffer "
                "formats.\n";
  }
  for (D3DFORMAT format : {D3DFMT_D32, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D16})
    if (DepthFormatAvailable(format)) return format;
  ErrorLog << "No valid z buffer formats available\n"
           << "This is bad... but never give up! I'll just pick somethething and try it anyways.\n";
  return D3DFMT_D16;
}

HRESULT CallCreateDevice(HWND window, DWORD behaviour) {
  return g_d3d.d3d->CreateDevice(g_d3d.setup.adapter, D3DDEVTYPE_HAL, window, behaviour, &g_d3d.presentParameters,
                                 &g_d3d.device);
}

// Formats, present parameters and the device, with its two retries.
bool CreateDeviceObjects(HWND window) {
  g_d3d.d3d = CreateDirect3D();
  if (!g_d3d.d3d) {
    ErrorLog << "Failed to create Direct3D9 object\n";
    return false;
  }
  G::Setup& setup = g_d3d.setup;
  g_d3d.backBufferFormat = ChooseBackBufferFormat();
  D3DFORMAT depthFormat = ChooseDepthFormat();

  DWORD behaviour = setup.multithreaded ? D3DCREATE_MULTITHREADED : 0;
  if (setup.vertexProcessing == 2)
    behaviour |= D3DCREATE_HARDWARE_VERTEXPROCESSING;
  else if (setup.vertexProcessing == 1)
    behaviour |= D3DCREATE_MIXED_VERTEXPROCESSING;
  else
    behaviour |= D3DCREATE_SOFTWARE_VERTEXPROCESSING;

  D3DPRESENT_PARAMETERS& pp = g_d3d.presentParameters;
  pp = D3DPRESENT_PARAMETERS();
  pp.BackBufferWidth = setup.width;
  pp.BackBufferHeight = setup.height;
  pp.BackBufferFormat = g_d3d.backBufferFormat;
  pp.BackBufferCount = setup.tripleBuffer ? 2 : 1;
  pp.MultiSampleType = D3DMULTISAMPLE_NONE;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = window;
  pp.Windowed = !setup.fullscreen;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = depthFormat;
  pp.Flags = 0;
  pp.FullScreen_RefreshRateInHz = 0;
  pp.PresentationInterval = setup.vsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;

  HRESULT result = CallCreateDevice(window, behaviour);
  if (FAILED(result)) {
    ErrorLog << "CreateDevice failed... trying again in case the API fixed a parameter...";
    result = CallCreateDevice(window, behaviour);
    if (FAILED(result)) {
      pp.AutoDepthStencilFormat = D3DFMT_D16;
      setup.stencil = false;
      result = CallCreateDevice(window, behaviour);
    }
    // Every outcome ends the line the retry began.
    if (SUCCEEDED(result)) {
      ErrorLog << " good.\n";
    } else {
      ErrorLog << "bad.\nFailed to create D3D device:\n";
      if (result == D3DERR_INVALIDCALL)
        ErrorLog << "  -bad parameters\n";
      else if (result == D3DERR_NOTAVAILABLE)
        ErrorLog << "  -device doesn't support requested features\n";
      else if (result == D3DERR_OUTOFVIDEOMEMORY)
        ErrorLog << "  -device doesn't have enough video memory free\n";
      g_d3d.device = nullptr;
      return false;
    }
  }
  return true;
}

void WriteStartStatistics() {
  StatLog << "Using Vertex Shader version: " << D3DXGetVertexShaderProfile(g_d3d.device) << "\n";
  const char* pixelProfile = D3DXGetPixelShaderProfile(g_d3d.device);
  StatLog << "Using Pixel Shader version: " << (pixelProfile ? pixelProfile : "") << "\n";
  StatLog << "Initial free texture memory(vid mem + agp mem): " << static_cast<int>(g_d3d.initialFreeMemoryMB)
          << "MB.\n";
}

void ProbeOcclusionQueries() {
  IDirect3DQuery9* query = nullptr;
  HRESULT result = Hooked("CreateQuery", D3DQUERYTYPE_OCCLUSION,
                          [&] { return g_d3d.device->CreateQuery(D3DQUERYTYPE_OCCLUSION, &query); });
  if (SUCCEEDED(result) && query)
    StatLog << "Device does support Occlusion Queries.\n\n";
  else
    StatLog << "Device does NOT support Occlusion Queries.\n\n";
  ReleaseCom(query);
}

void OpenFrame(bool countFrame, float seconds) {
  g_d3d.inFrame = true;
  if (countFrame) {
    ++g_d3d.frames;
    g_d3d.seconds += seconds;
  }
}

unsigned Rounded(double value) { return static_cast<unsigned>(value + 0.5); }

}  // namespace

// ---- Seams -----------------------------------------------------------------

void SetDirect3DFactory(Direct3DFactory factory) { s_factory = factory; }
void SetResultHook(ResultHook hook) { s_resultHook = hook; }
bool AskResultHook(const char* call, long argument, long* result) {
  return s_resultHook && s_resultHook(call, argument, result);
}

IDirect3D9* CreateDirect3D() {
  return s_factory ? s_factory(D3D_SDK_VERSION) : Direct3DCreate9(D3D_SDK_VERSION);
}

// ---- Helpers of the other files --------------------------------------------

void LogNotInitialized(const char* name, const char* heading) {
  ErrorLog << "Error: " << name << " used when graphics foundation is not initialized.\n";
  WriteCallStack(ErrorLog, heading);
}

void TrackTextureMemory() {
  if (!g_d3d.device) return;
  unsigned available = AvailableTextureMemory();
  if (available < g_d3d.lowestTextureMemory) g_d3d.lowestTextureMemory = available;
}

void SetDefaultDeviceStates() {
  if (!g_d3d.initialised || G::IsDeviceLost()) return;
  IDirect3DDevice9* device = g_d3d.device;
  device->SetRenderState(D3DRS_CLIPPING, TRUE);
  device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  for (DWORD stage = 1; stage < 8; ++stage) {
    device->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  }
  G::SetDefaultRenderStates();
}

// ---- Start and stop --------------------------------------------------------

bool Init(WindowHandle window, G::Setup* setup) {
  CriticalSectionLock hold(g_graphicsLock);
  if (g_d3d.fatalError) return false;
  g_d3d.fatalError = true;
  if (g_d3d.initialised) {
    ErrorLog << "Attempt to call DXG::Init while already ready\n";
    return false;
  }
  if (!window) {
    ErrorLog << "Null window passed to DXG::Init\n";
    return false;
  }
  std::string reason;
  if (!ValidateSetup(setup, reason)) {
    ErrorLog << "DXG::Init failed:\n  -" << reason << "\n";
    G::Shutdown();
    return false;
  }
  g_d3d.setup = *setup;
  g_d3d.setupValid = true;
  if (!setup->fullscreen) g_d3d.setup.colour32 = DesktopBitsPerPixel() == 32;

  if (!CreateDeviceObjects(window)) {
    G::Shutdown();
    return false;
  }

  D3DVIEWPORT9 viewport = {0, 0, static_cast<DWORD>(g_d3d.setup.width), static_cast<DWORD>(g_d3d.setup.height),
                           0.0f, 1.0f};
  g_d3d.device->SetViewport(&viewport);
  // Unsigned arithmetic throughout: with more than 4 GiB reported the sum
  // wraps, and the difference taken at shutdown still comes out right.
  unsigned available = AvailableTextureMemory();
  unsigned buffers = g_d3d.setup.tripleBuffer ? 3 : 2;
  unsigned bytesPerPixel = g_d3d.setup.colour32 ? 4 : 2;
  unsigned frameBytes = buffers * bytesPerPixel * static_cast<unsigned>(g_d3d.setup.width) *
                        static_cast<unsigned>(g_d3d.setup.height);
  g_d3d.videoMemoryBaseline = available + frameBytes / 1024 * 1024 + 0x80000;
  g_d3d.lowestTextureMemory = available;

  g_d3d.fatalError = false;
  g_d3d.initialised = true;
  g_d3d.inFrame = false;
  SetDefaultDeviceStates();
  g_d3d.initialFreeMemoryMB = available >> 20;
  WriteStartStatistics();
  ProbeOcclusionQueries();
  return true;
}

}  // namespace DXG

namespace G {

void Shutdown() {
  FireShutdownCallbacks();
  CriticalSectionLock hold(g_graphicsLock);
  DXG::BackendState& d = DXG::g_d3d;
  DXG::ReleaseCom(d.device);
  DXG::ReleaseCom(d.d3d);
  if (d.videoMemoryBaseline) {
    StatLog << "Approximate max video memory used: "
            << static_cast<int>((d.videoMemoryBaseline - d.lowestTextureMemory) >> 20) << "MB\n\n";
    d.videoMemoryBaseline = 0;
  }
  // No rate over no time: frames counted with zero seconds write nothing.
  if (d.frames && d.seconds > 0) {
    StatLog << "Average framerate (over " << static_cast<int>(DXG::Rounded(d.seconds))
            << " seconds): " << static_cast<int>(DXG::Rounded(d.frames / d.seconds)) << " frames/second\n\n";
  }
  d.frames = 0;
  d.seconds = 0;
  d.inFrame = false;
  d.initialised = false;
}

bool IsInitialized() { return DXG::g_d3d.initialised; }
bool HasFatalError() { return DXG::g_d3d.fatalError; }

Setup* GetSetup() {
  if (!DXG::g_d3d.setupValid) ErrorLog << "Warning: GetSetup used, and setup is not valid.\n";
  return &DXG::g_d3d.setup;
}

bool Is32BitColor() { return DXG::g_d3d.setup.colour32; }
bool HasStencilBuffer() { return DXG::g_d3d.setup.stencil; }
bool HasTwoSidedStencil() { return true; }

bool SetDisplayMode(int width, int height) {
  ErrorLog << "Can't change resolution on dx yet.\n";
  return false;
}

bool Clear(unsigned color, bool clearColor, bool clearDepth, bool clearStencil, int stencilValue) {
  DXG::BackendState& d = DXG::g_d3d;
  if (!d.initialised || IsDeviceLost()) return false;
  DWORD flags = 0;
  if (clearColor) flags |= D3DCLEAR_TARGET;
  if (clearDepth) flags |= D3DCLEAR_ZBUFFER;
  if (clearStencil && d.setup.stencil && !d.renderTextureBound) flags |= D3DCLEAR_STENCIL;
  if (!flags) return true;
  return SUCCEEDED(d.device->Clear(0, nullptr, flags, color, 1.0f, static_cast<DWORD>(stencilValue)));
}

}  // namespace G

namespace DXG {

// ---- Frames ----------------------------------------------------------------

bool BeginFrame(float seconds, bool countFrame, bool allowReset) {
  if (!g_d3d.initialised) {
    LogNotInitialized("DXG::BeginFrame", "  -call made from:\n");
    return false;
  }
  if (g_d3d.inFrame) {
    ErrorLog << "Error: Previous BeginFrame call was not matched with an EndFrame call\n";
    WriteCallStack(ErrorLog, "  -2nd call made from:\n");
    return false;
  }
  IDirect3DDevice9* device = g_d3d.device;
  HRESULT level = Hooked("TestCooperativeLevel", 0, [&] { return device->TestCooperativeLevel(); });
  if (level == D3D_OK) {
    if (FAILED(Hooked("BeginScene", 0, [&] { return device->BeginScene(); }))) return false;
    G::SetDeviceLost(false);
    OpenFrame(countFrame, seconds);
    return true;
  }
  G::SetDeviceLost(true);
  if (level == D3DERR_DEVICELOST) {
    Sleep(100);
    return false;
  }
  if (level != D3DERR_DEVICENOTRESET || !allowReset) return false;

  HRESULT reset = Hooked("Reset", 0, [&] { return device->Reset(&g_d3d.presentParameters); });
  if (FAILED(reset)) {
    if (reset == D3DERR_DRIVERINTERNALERROR) {
      ErrorLog << "Internal graphics driver error occured\n";
      g_d3d.fatalError = true;
    } else if (reset == D3DERR_OUTOFVIDEOMEMORY) {
      ErrorLog << "Graphics device out of memory\n";
      g_d3d.fatalError = true;
    }
    return false;
  }
  if (FAILED(Hooked("BeginScene", 0, [&] { return device->BeginScene(); }))) return false;
  G::SetDeviceLost(false);
  OpenFrame(false, seconds);
  SetDefaultDeviceStates();
  return true;
}

void EndFrame0() {
  if (!g_d3d.initialised) {
    LogNotInitialized("DXG::EndFrame0", "  -call made from:\n");
    return;
  }
  if (!g_d3d.inFrame) {
    ErrorLog << "EndFrame should not be called if BeginFrame was not successfully called before.\n";
    return;
  }
  g_d3d.device->EndScene();
  g_d3d.inFrame = false;
}

void EndFrame1() {
  if (!g_d3d.initialised) {
    LogNotInitialized("DXG::EndFrame1", "  -call made from:\n");
    return;
  }
  g_d3d.device->Present(nullptr, nullptr, nullptr, nullptr);
}

IDirect3DDevice9* GetDevice() {
  if (!g_d3d.initialised) LogNotInitialized("DXG::GetDevice", "  -call made from:\n");
  return g_d3d.device;
}

}  // namespace DXG
