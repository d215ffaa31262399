// Test seams of the Direct3D 9 backend, for what a test machine cannot
// produce on demand: other adapters and drivers, refused formats and device
// modes, a lost device, failing creations. The program never sets them.
#pragma once

struct IDirect3D9;

namespace DXG {

// Where the backend gets its IDirect3D9 object (capability check and Init);
// null restores Direct3DCreate9. A factory returning null stands for a
// machine without Direct3D 9.
typedef IDirect3D9* (*Direct3DFactory)(unsigned sdkVersion);
void SetDirect3DFactory(Direct3DFactory factory);

// Asked before each of these calls, with a call-specific argument; when it
// returns true, *result stands in for the call's result and the call is not
// made (out pointers stay null):
//   "DesktopBitsPerPixel" (0; the result is the bit count)
//   "TestCooperativeLevel" (0), "Reset" (0), "BeginScene" (0)
//   "GetAvailableTextureMem" (0; the result is the byte count)
//   "CreateQuery" (the query type)
//   "CreateTexture", "CreateCubeTexture", "CreateVolumeTexture" (the format)
//   "D3DXCreateTextureFromFileExA" (the format asked for)
//   "CreateVertexBuffer" (byte size), "CreateIndexBuffer" (byte size)
//   "CreateVertexDeclaration" (element count)
//   "D3DXCreateRenderToSurface", "D3DXCreateRenderToEnvMap" (depth format)
//   "CreateVertexShader" (the profile's index: 0 vs_2_0, 1 vs_1_0, 2 vs_3_0)
//   "CreatePixelShader" (0)
typedef bool (*ResultHook)(const char* call, long argument, long* result);
void SetResultHook(ResultHook hook);
bool AskResultHook(const char* call, long argument, long* result);

}  // namespace DXG
