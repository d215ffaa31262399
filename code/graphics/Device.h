// The graphics interface: the set-up record, starting and stopping the
// backend, the frame bracket and the status queries. Every backend (Direct3D
// 9, OpenGL, and the tests' null backend) implements these declarations; the
// program picks one when it is linked. A backend's own types never appear in
// these headers. Where a header declares something the shared graphics code
// defines rather than the backend, it says so.
#pragma once
#include <string>

#include "foundation/Platform.h"

struct IDirect3DDevice9;

namespace G {

// What the entry point asks of the backend; the backend keeps its own copy
// for the whole run (GetSetup).
struct Setup {
  int adapter = 0;
  bool fullscreen = false;
  bool colour32 = false;
  int width = 0;
  int height = 0;
  bool tripleBuffer = false;
  int vertexProcessing = 0;  // 2 hardware, 1 mixed, other software
  bool multithreaded = false;
  bool vsync = false;
  bool stencil = false;
};

// Run once before DXG::Init: writes the system report, may change the
// vertex-processing mode and fills a text for the user; true when the text
// is to be shown (message box "warning").
bool CheckGraphicsCaps(int& vertexProcessing, std::string& message);
// True when the capability check found no usable graphics API.
bool IsGraphicsUnavailable();

// Fires the shutdown callbacks and releases the device; safe in any state.
void Shutdown();
bool IsInitialized();
bool HasFatalError();
Setup* GetSetup();
bool Is32BitColor();
bool HasStencilBuffer();
bool HasTwoSidedStencil();
// Changes the display mode (windowed: the window's size) to width x height.
bool SetDisplayMode(int width, int height);
// Makes the display match the resolution table's current index: on
// failure the index goes back to the one applied last and is remembered as
// failed. Shared code, not the backend's.
void ApplyResolution();
// Whether the resolution table's entry (0..3) has not failed to apply.
// Shared code, not the backend's.
bool IsResolutionAvailable(unsigned index);

// Clears the bound target: colour to the packed 0xAARRGGBB, depth to 1,
// stencil to the value (only with a stencil buffer and no render texture
// bound since the last RenderTexture::EndRender).
bool Clear(unsigned color, bool clearColor, bool clearDepth, bool clearStencil, int stencilValue);

}  // namespace G

namespace DXG {

bool Init(WindowHandle window, G::Setup* setup);
// True: a frame is open and drawing may start; false: draw nothing now.
bool BeginFrame(float seconds, bool countFrame, bool allowReset);
// End of the scene's drawing (Direct3D 9: EndScene; nothing elsewhere).
void EndFrame0();
// Shows the finished frame.
void EndFrame1();
// The Direct3D 9 device, for that backend's own code; null in other builds.
IDirect3DDevice9* GetDevice();

}  // namespace DXG
