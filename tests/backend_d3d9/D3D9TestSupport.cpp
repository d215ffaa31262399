// The Direct3D 9 tests' window, fixture, back-buffer read-back and seam
// scripts.
#include "D3D9TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/DeviceCallbacks.h"

namespace {

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND TestWindow() {
  static HWND window = [] {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.lpszClassName = "QuorvexD3D9Tests";
    RegisterClassA(&windowClass);
    RECT rect = {0, 0, kBackBufferWidth, kBackBufferHeight};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    HWND made = CreateWindowA("QuorvexD3D9Tests", "d3d9 tests", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                              rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(made, SW_SHOW);
    return made;
  }();
  return window;
}

// ---- Read-back -------------------------------------------------------------

Image ReadSurface(IDirect3DSurface9* surface) {
  Image image;
  IDirect3DDevice9* device = DXG::g_d3d.device;
  D3DSURFACE_DESC desc;
  if (!surface || !device || FAILED(surface->GetDesc(&desc))) return image;
  IDirect3DSurface9* copy = nullptr;
  if (FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                 nullptr)))
    return image;
  D3DLOCKED_RECT locked;
  if (SUCCEEDED(device->GetRenderTargetData(surface, copy)) &&
      SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
    image.width = static_cast<int>(desc.Width);
    image.height = static_cast<int>(desc.Height);
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
      const unsigned char* row = static_cast<const unsigned char*>(locked.pBits) + y * locked.Pitch;
      for (int x = 0; x < image.width; ++x) {
        unsigned value;
        if (desc.Format == D3DFMT_R5G6B5) {
          unsigned short texel;
          std::memcpy(&texel, row + 2 * x, 2);
          value = ((texel >> 11) * 255 / 31) << 16 | (((texel >> 5) & 63) * 255 / 63) << 8 | ((texel & 31) * 255 / 31);
        } else {
          std::memcpy(&value, row + 4 * x, 4);
        }
        image.pixels[static_cast<size_t>(y) * image.width + x] = value & 0x00FFFFFF;
      }
    }
    copy->UnlockRect();
  }
  copy->Release();
  return image;
}

Image ReadBackBuffer() {
  IDirect3DSurface9* backBuffer = nullptr;
  Image image;
  if (DXG::g_d3d.device &&
      SUCCEEDED(DXG::g_d3d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) {
    image = ReadSurface(backBuffer);
    backBuffer->Release();
  }
  return image;
}

// Through a system-memory copy: the back buffer itself cannot be locked.
bool SaveBackBuffer(const std::string& path) {
  IDirect3DDevice9* device = DXG::g_d3d.device;
  IDirect3DSurface9* backBuffer = nullptr;
  if (!device || FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) return false;
  D3DSURFACE_DESC desc;
  backBuffer->GetDesc(&desc);
  IDirect3DSurface9* copy = nullptr;
  bool saved = false;
  if (SUCCEEDED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                    &copy, nullptr))) {
    saved = SUCCEEDED(device->GetRenderTargetData(backBuffer, copy)) &&
            SUCCEEDED(D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_PNG, copy, nullptr, nullptr));
    copy->Release();
  }
  backBuffer->Release();
  return saved;
}

bool Near(unsigned actual, unsigned expected) {
  for (int shift = 0; shift < 24; shift += 8) {
    int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (a - e > 2 || e - a > 2) return false;
  }
  return true;
}

testing::AssertionResult PixelIs(const Image& image, int x, int y, unsigned expected) {
  if (x < 0 || y < 0 || x >= image.width || y >= image.height)
    return testing::AssertionFailure() << "(" << x << ", " << y << ") is outside the " << image.width << " x "
                                       << image.height << " image";
  unsigned actual = image.At(x, y);
  if (Near(actual, expected)) return testing::AssertionSuccess();
  char text[96];
  std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, expected %06X", x, y, actual, expected & 0xFFFFFF);
  return testing::AssertionFailure() << text;
}

// ---- The scripted Direct3D object ------------------------------------------

namespace {

FakeDirect3DScript* s_script = nullptr;

class ScriptedDirect3D final : public IDirect3D9 {
 public:
  explicit ScriptedDirect3D(IDirect3D9* real) : real_(real) {}
  virtual ~ScriptedDirect3D() = default;

  STDMETHOD_(HRESULT, QueryInterface)(REFIID riid, void** object) override {
    return real_->QueryInterface(riid, object);
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++references_; }
  STDMETHOD_(ULONG, Release)() override {
    ULONG left = --references_;
    if (left == 0) {
      real_->Release();
      delete this;
    }
    return left;
  }
  STDMETHOD(RegisterSoftwareDevice)(void* initialize) override { return real_->RegisterSoftwareDevice(initialize); }
  STDMETHOD_(UINT, GetAdapterCount)() override { return real_->GetAdapterCount(); }
  STDMETHOD(GetAdapterIdentifier)(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* id) override {
    HRESULT result = real_->GetAdapterIdentifier(adapter, flags, id);
    if (s_script && s_script->replaceIdentifier) {
      std::snprintf(id->Description, sizeof id->Description, "Scripted Card");
      id->VendorId = s_script->vendor;
      id->DriverVersion.HighPart = static_cast<LONG>(s_script->driverHigh);
      id->DriverVersion.LowPart = s_script->driverLow;
    }
    return result;
  }
  STDMETHOD_(UINT, GetAdapterModeCount)(UINT adapter, D3DFORMAT format) override {
    return real_->GetAdapterModeCount(adapter, format);
  }
  STDMETHOD(EnumAdapterModes)(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override {
    return real_->EnumAdapterModes(adapter, format, mode, out);
  }
  STDMETHOD(GetAdapterDisplayMode)(UINT adapter, D3DDISPLAYMODE* mode) override {
    return real_->GetAdapterDisplayMode(adapter, mode);
  }
  STDMETHOD(CheckDeviceType)(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT backBuffer,
                             WINBOOL windowed) override {
    if (s_script && s_script->refusedDisplayFormats.count(backBuffer)) return D3DERR_NOTAVAILABLE;
    return real_->CheckDeviceType(adapter, type, display, backBuffer, windowed);
  }
  STDMETHOD(CheckDeviceFormat)(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                               D3DRESOURCETYPE resource, D3DFORMAT format) override {
    if (s_script && (usage & D3DUSAGE_DEPTHSTENCIL) && s_script->refusedDepthFormats.count(format))
      return D3DERR_NOTAVAILABLE;
    if (s_script && resource == D3DRTYPE_TEXTURE && s_script->refusedTextureFormats.count(format))
      return D3DERR_NOTAVAILABLE;
    return real_->CheckDeviceFormat(adapter, type, adapterFormat, usage, resource, format);
  }
  STDMETHOD(CheckDeviceMultiSampleType)(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, WINBOOL windowed,
                                        D3DMULTISAMPLE_TYPE samples, DWORD* quality) override {
    return real_->CheckDeviceMultiSampleType(adapter, type, format, windowed, samples, quality);
  }
  STDMETHOD(CheckDepthStencilMatch)(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT target,
                                    D3DFORMAT depth) override {
    return real_->CheckDepthStencilMatch(adapter, type, adapterFormat, target, depth);
  }
  STDMETHOD(CheckDeviceFormatConversion)(UINT adapter, D3DDEVTYPE type, D3DFORMAT source,
                                         D3DFORMAT target) override {
    return real_->CheckDeviceFormatConversion(adapter, type, source, target);
  }
  STDMETHOD(GetDeviceCaps)(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
    if (s_script && s_script->failCaps) return D3DERR_INVALIDCALL;
    HRESULT result = real_->GetDeviceCaps(adapter, type, caps);
    if (s_script && s_script->editCaps) s_script->editCaps(*caps);
    return result;
  }
  STDMETHOD_(HMONITOR, GetAdapterMonitor)(UINT adapter) override { return real_->GetAdapterMonitor(adapter); }
  STDMETHOD(CreateDevice)(UINT adapter, D3DDEVTYPE type, HWND window, DWORD behaviour,
                          D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override {
    if (s_script) {
      s_script->createDeviceCalls.push_back({*parameters, behaviour});
      if (!s_script->createDeviceResults.empty()) {
        HRESULT result = s_script->createDeviceResults.front();
        s_script->createDeviceResults.erase(s_script->createDeviceResults.begin());
        if (FAILED(result)) return result;
      }
    }
    return real_->CreateDevice(adapter, type, window, behaviour, parameters, device);
  }

 private:
  IDirect3D9* real_;
  ULONG references_ = 1;
};

IDirect3D9* CreateScripted(unsigned sdkVersion) {
  if (s_script && s_script->noDirect3D) return nullptr;
  IDirect3D9* real = Direct3DCreate9(sdkVersion);
  return real ? new ScriptedDirect3D(real) : nullptr;
}

// ---- Result hooks ----------------------------------------------------------

ResultHookScope::Hook s_hook;
std::vector<std::string> s_asked;

bool AskHook(const char* call, long argument, long* result) {
  s_asked.push_back(std::string(call) + "(" + std::to_string(argument) + ")");
  return s_hook && s_hook(call, argument, result);
}

}  // namespace

FakeDirect3D::FakeDirect3D() {
  s_script = &script_;
  DXG::SetDirect3DFactory(&CreateScripted);
}

FakeDirect3D::~FakeDirect3D() {
  DXG::SetDirect3DFactory(nullptr);
  s_script = nullptr;
}

ResultHookScope::ResultHookScope(Hook hook) {
  s_hook = std::move(hook);
  s_asked.clear();
  DXG::SetResultHook(&AskHook);
}

ResultHookScope::~ResultHookScope() {
  DXG::SetResultHook(nullptr);
  s_hook = nullptr;
}

const std::vector<std::string>& ResultHookScope::Asked() const { return s_asked; }

// ---- Fixture ---------------------------------------------------------------

G::Setup D3D9Test::DefaultSetup() {
  G::Setup setup;
  setup.adapter = 0;
  setup.fullscreen = false;
  setup.colour32 = true;
  setup.width = kBackBufferWidth;
  setup.height = kBackBufferHeight;
  setup.tripleBuffer = false;
  setup.vertexProcessing = 2;
  setup.multithreaded = true;
  setup.vsync = false;
  setup.stencil = false;
  return setup;
}

void D3D9Test::SetUp() {
  static bool capsChecked = [] {
    int mode = 1;
    std::string message;
    G::CheckGraphicsCaps(mode, message);
    return true;
  }();
  (void)capsChecked;
  // A failed start in an earlier test leaves the fatal-error flag raised,
  // which would refuse every later start.
  DXG::g_d3d.fatalError = false;
  G::Setup setup = DefaultSetup();
  ASSERT_TRUE(DXG::Init(TestWindow(), &setup));
}

void D3D9Test::TearDown() {
  if (DXG::g_d3d.inFrame) DXG::EndFrame0();
  if (G::IsInitialized()) G::SetCullReverse(false);
  if (G::IsInitialized()) G::Shutdown();
  DXG::SetResultHook(nullptr);
  DXG::SetDirect3DFactory(nullptr);
  DXG::g_d3d.fatalError = false;
  G::SetDeviceLost(false);
}

bool D3D9Test::Restart(const G::Setup& setup) {
  if (G::IsInitialized()) G::Shutdown();
  DXG::g_d3d.fatalError = false;
  G::Setup copy = setup;
  return DXG::Init(TestWindow(), &copy);
}

void D3D9Test::BeginClearedFrame(unsigned color) {
  ASSERT_TRUE(DXG::BeginFrame(0.0f, false, true));
  ASSERT_TRUE(G::Clear(color, true, true, false, 0));
}

void D3D9Test::EndFrame() { DXG::EndFrame0(); }

Image D3D9Test::FinishFrame() {
  EndFrame();
  return ReadBackBuffer();
}

Matrix4 Translation(float x, float y, float z) { return Matrix4(1, 0, 0, x, 0, 1, 0, y, 0, 0, 1, z, 0, 0, 0, 1); }

void WriteShaderFile(const std::string& path, const std::string& text) { WriteFileText(path, text); }
