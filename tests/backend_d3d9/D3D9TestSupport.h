// What the Direct3D 9 backend's tests share: a window and a started backend
// per test, the back buffer read back before the present, and the seams'
// scripts (a Direct3D object that answers for another machine, and result
// hooks for what the device itself cannot be made to do).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "backend_d3d9/D3D9Backend.h"
#include "foundation/Maths.h"
#include "graphics/Device.h"
#include "graphics/RenderState.h"

constexpr int kBackBufferWidth = 320;
constexpr int kBackBufferHeight = 240;

// The test window (made once, client area 320 x 240).
HWND TestWindow();

// The back buffer as 0x00RRGGBB values, top row first.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned> pixels;
  unsigned At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Image ReadBackBuffer();
// Any surface the device can copy from (render targets, cube faces).
Image ReadSurface(IDirect3DSurface9* surface);
// Saves the back buffer as a PNG file.
bool SaveBackBuffer(const std::string& path);

// Equal within 2 per channel (rasterisers round differently).
bool Near(unsigned actual, unsigned expected);
testing::AssertionResult PixelIs(const Image& image, int x, int y, unsigned expected);

// What CreateDevice was given.
struct CreateDeviceCall {
  D3DPRESENT_PARAMETERS parameters;
  DWORD behaviour;
};

// How the scripted Direct3D object differs from the machine's.
struct FakeDirect3DScript {
  std::function<void(D3DCAPS9&)> editCaps;
  bool failCaps = false;
  bool replaceIdentifier = false;
  DWORD vendor = 0;
  unsigned driverHigh = 0;
  unsigned driverLow = 0;
  std::set<D3DFORMAT> refusedDisplayFormats;
  std::set<D3DFORMAT> refusedDepthFormats;
  std::set<D3DFORMAT> refusedTextureFormats;
  // Results of the next CreateDevice calls, in order; then the real call.
  std::vector<HRESULT> createDeviceResults;
  std::vector<CreateDeviceCall> createDeviceCalls;
  bool noDirect3D = false;
};

// Installs the script for the life of the object: the backend then gets a
// Direct3D object that forwards to the real one except where the script says.
class FakeDirect3D {
 public:
  FakeDirect3D();
  ~FakeDirect3D();
  FakeDirect3DScript& script() { return script_; }

 private:
  FakeDirect3DScript script_;
};

// A result hook for the life of the object.
class ResultHookScope {
 public:
  typedef std::function<bool(const std::string& call, long argument, long* result)> Hook;
  explicit ResultHookScope(Hook hook);
  ~ResultHookScope();
  // The calls asked about, "Name(argument)", in order.
  const std::vector<std::string>& Asked() const;
};

// A started backend (320 x 240, 32-bit, hardware vertex processing) around
// each test; shut down afterwards, seams restored.
class D3D9Test : public testing::Test {
 public:
  static G::Setup DefaultSetup();

 protected:
  void SetUp() override;
  void TearDown() override;

  // Shuts down if needed and starts again with the setup.
  bool Restart(const G::Setup& setup);
  // An open frame, cleared to the colour with depth 1.
  void BeginClearedFrame(unsigned color);
  void EndFrame();
  // Ends the frame and reads the back buffer back.
  Image FinishFrame();
};

// A translation, for world matrices.
Matrix4 Translation(float x, float y, float z);

// Writes text to a file in the working folder.
void WriteShaderFile(const std::string& path, const std::string& text);

// Deletes a resource handle that outlived the device: its destructor must
// throw the text that blames the globals.
template <class Handle>
void ExpectGlobalsFaultOnDelete(Handle* handle) {
  bool thrown = false;
  try {
    delete handle;
  } catch (const char* text) {
    thrown = true;
    EXPECT_STREQ(text, "Foolish globals are likely at fault.\n");
  }
  EXPECT_TRUE(thrown);
}
