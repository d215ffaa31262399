// The program benchmark's bare Direct3D 9 window: a device on an 800 x 600
// window (created as the Direct3D 9 program creates its own), cleared to one
// colour, one triangle drawn and presented, frame after frame, until the
// window is closed. The triangle is the least a program that shows anything
// draws: it brings in the driver's drawing machinery (under Wine, its shader
// compiler and the ring that streams vertices to it), which a window that
// only clears never touches.
#include <d3d9.h>

#include "BareWindow.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HWND window = bare::MakeWindow("Bare Direct3D 9 window");
  if (!window) return 1;
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d) return 1;
  D3DPRESENT_PARAMETERS parameters = {};
  parameters.BackBufferWidth = bare::kWidth;
  parameters.BackBufferHeight = bare::kHeight;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.hDeviceWindow = window;
  parameters.Windowed = TRUE;
  parameters.EnableAutoDepthStencil = TRUE;
  parameters.AutoDepthStencilFormat = D3DFMT_D24X8;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  IDirect3DDevice9* device = nullptr;
  if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                               D3DCREATE_MULTITHREADED | D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &device))) {
    d3d->Release();
    return 1;
  }

  const int code = bare::RunFrames([device] {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(51, 77, 128), 1.0f, 0);
    if (SUCCEEDED(device->BeginScene())) {
      struct Vertex {
        float x, y, z, rhw;
        DWORD colour;
      };
      const Vertex triangle[3] = {{400, 150, 0.5f, 1, 0xFFFF8000},
                                  {600, 450, 0.5f, 1, 0xFFFF8000},
                                  {200, 450, 0.5f, 1, 0xFFFF8000}};
      device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
      device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex));
      device->EndScene();
    }
    device->Present(nullptr, nullptr, nullptr, nullptr);
  });

  device->Release();
  d3d->Release();
  return code;
}
