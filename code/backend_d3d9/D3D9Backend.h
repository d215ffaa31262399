// The Direct3D 9 backend's own state and helpers, shared by its source files
// (never included above the backend): the device and its formats, the frame
// and capability flags, the current buffers and the test seams' plumbing.
#pragma once
#include <d3d9.h>
#include <d3dx9.h>

#include <string>
#include <vector>

#include "backend_d3d9/DeviceSeams.h"
#include "foundation/LogFile.h"
#include "graphics/Device.h"
#include "graphics/Texture.h"

#include "graphics/RenderTexture.h"
#include "graphics/VertexBuffer.h"

// The records behind the interface's resource handles.
namespace G {

struct STex_API_Data {
  IDirect3DTexture9* texture = nullptr;
  IDirect3DVolumeTexture9* volume = nullptr;
  IDirect3DCubeTexture9* cube = nullptr;
  // Loaded: the image file's format; created: the format asked for.
  D3DFORMAT format = D3DFMT_UNKNOWN;
  bool wrapU = true, wrapV = true, wrapW = true;
  int filter = kFilterLinear;
};

// What one lock holds: the level-0 surface or volume, or the six cube faces.
struct STexLock_API_Data {
  IDirect3DSurface9* surface = nullptr;
  IDirect3DVolume9* volume = nullptr;
  bool cube = false;
  D3DLOCKED_RECT faces[6] = {};
};

struct SVB_API_Data {
  IDirect3DVertexBuffer9* buffer = nullptr;
  IDirect3DVertexDeclaration9* declaration = nullptr;
  int declarationVertexSize = 0;
  // Dynamic buffers only: what the buffer holds. Locks hand it out; the
  // unlock, and the restore after a reset, put it into the API buffer.
  std::vector<unsigned char> contents;
};

struct SIB_API_Data {
  IDirect3DIndexBuffer9* buffer = nullptr;
  std::vector<unsigned char> contents;  // dynamic buffers only, as above
};

struct SRendTex_API_Data {
  ID3DXRenderToSurface* renderToSurface = nullptr;
  ID3DXRenderToEnvMap* renderToEnvMap = nullptr;
  IDirect3DTexture9* texture = nullptr;
  IDirect3DCubeTexture9* cube = nullptr;
  bool inScene = false;
};

}  // namespace G

namespace DXG {

// Process-wide backend state. Constant-initialised (no constructor runs), so
// it is valid before and after the start-up globals.
struct BackendState {
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;

  bool initialised = false;
  bool setupValid = false;
  bool fatalError = false;
  bool inFrame = false;
  bool graphicsUnavailable = false;
  G::Setup setup;

  // Kept across Shutdown: a later Init falls back on it.
  D3DFORMAT backBufferFormat = D3DFMT_UNKNOWN;
  D3DPRESENT_PARAMETERS presentParameters = {};

  // From the capability check.
  bool pixelShadersAllowed = true;
  bool volumeTextures = false;
  int vertexShaderMajor = 0;

  // Statistics.
  unsigned frames = 0;
  double seconds = 0;
  unsigned lowestTextureMemory = 0;
  unsigned videoMemoryBaseline = 0;
  unsigned initialFreeMemoryMB = 0;

  // Raised by RenderTexture::Set, lowered by RenderTexture::EndRender: while
  // raised, Clear leaves the stencil alone.
  bool renderTextureBound = false;

  // The current buffers of the draws. Only slot 0 (stream 0) is ever set.
  G::VertexBufferRecord* vertexBuffers[8] = {};
  G::IndexBufferRecord* indexBuffer = nullptr;
  IDirect3DVertexDeclaration9* declaration = nullptr;
  int declarationVertexSize = 0;
  bool declarationHasColor = false;
};

extern BackendState g_d3d;

// The IDirect3D9 object from the factory seam (Direct3DCreate9 by default).
IDirect3D9* CreateDirect3D();

// Asks the test hook about the call first: its answer stands in for the
// call, which is then not made.
template <class Call>
HRESULT Hooked(const char* name, long argument, Call call) {
  long result;
  if (AskResultHook(name, argument, &result)) return static_cast<HRESULT>(result);
  return call();
}

// "Error: ", the name, " used when graphics foundation is not initialized.\n"
// and the call stack under the heading.
void LogNotInitialized(const char* name, const char* heading);

// Reads the available texture memory and keeps the lowest value seen.
void TrackTextureMemory();
// The device's defaults after Init and after a reset.
void SetDefaultDeviceStates();

// The texture format for a texture type (1..4), as loading asks for it.
D3DFORMAT CalcFormatFromType(int type);
// What a texture made from an image file of the format counts as (logged
// and RGBA for formats outside the known ones).
G::TextureType TextureTypeFromFormat(D3DFORMAT format);
// Bits per texel; 0 for formats not known here.
int FormatBitsPerPixel(D3DFORMAT format);

// The declarations SetVertexFormat made, in order of creation; emptied at
// Shutdown.
struct DeclarationCacheEntry {
  G::VertexFormat format;
  IDirect3DVertexDeclaration9* declaration;
  int vertexSize;
};
extern std::vector<DeclarationCacheEntry> VertexDeclarationCache;

// Makes the vertex declaration current for the draws; `hasColor` tells
// whether its vertices carry a colour.
void SetCurrentDeclaration(IDirect3DVertexDeclaration9* declaration, int vertexSize, bool hasColor);
// Sets the current shader's "VertexColorFloor" for the current declaration.
void UploadVertexColorFloor();

template <class T>
void ReleaseCom(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// A resource handle's destructor: releases its record. Destroyed while the
// backend is not initialised, it is logged under the heading; a handle that
// still holds a record outlived the device, which is the fault of global
// objects: the text is thrown to the caller (an empty handle holds nothing
// of the device).
template <class Handle>
void ReleaseAtDestruction(Handle& handle, const char* heading) {
  if (!g_d3d.initialised) {
    ErrorLog << heading;
    if (handle.Record()) ErrorLog << "  -AND it still thinks it has d3d resources.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    if (handle.Record()) {
      handle.SRFree();
      throw "Foolish globals are likely at fault.\n";
    }
  }
  handle.SRFree();
}

}  // namespace DXG
