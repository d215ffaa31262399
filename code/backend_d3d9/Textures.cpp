// Textures on Direct3D 9: image files through D3DX, empty 2D, volume and cube
// textures from the device, binding with filter and wrap states, and locks
// of level 0 for pixel access. Every texture lives in the managed pool, so a
// device reset keeps it.
#include <d3dx9.h>

#include <algorithm>
#include <type_traits>

#include "backend_d3d9/D3D9Backend.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "graphics/GraphicsLock.h"
#include "graphics/Texture.h"

namespace DXG {

namespace {

int Log2(int value) {
  int bits = 0;
  while (value > 1) {
    value >>= 1;
    ++bits;
  }
  return bits;
}

bool FormatAccepted(D3DFORMAT format) {
  if (!g_d3d.d3d) return false;
  return SUCCEEDED(g_d3d.d3d->CheckDeviceFormat(g_d3d.setup.adapter, D3DDEVTYPE_HAL, g_d3d.backBufferFormat, 0,
                                                D3DRTYPE_TEXTURE, format));
}

// The texel size of a surface as the device made it.
template <class Level>
int LevelBitsPerPixel(Level* level, D3DFORMAT fallback);

}  // namespace

G::TextureType TextureTypeFromFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_R3G3B2:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_X8B8G8R8:
      return G::kTextureRGB;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_A16B16G16R16:
      return G::kTextureRGBA;
    case D3DFMT_A8:
    case D3DFMT_P8:
    case D3DFMT_L8:
      return G::kTextureAlpha;
    default:
      ErrorLog << "Internal DXG Error: unable to deduce texture type from d3d format\n";
      WriteCallStack(ErrorLog, "  -stack:");
      return G::kTextureRGBA;
  }
}

int FormatBitsPerPixel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_P8:
    case D3DFMT_L8:
    case D3DFMT_A4L4:
      return 8;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8P8:
    case D3DFMT_A8L8:
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D15S1:
    case D3DFMT_D16:
    case D3DFMT_L16:
    case D3DFMT_R16F:
    case D3DFMT_CxV8U8:
      return 16;
    case D3DFMT_R8G8B8:
      return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_G16R16:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_V16U16:
    case D3DFMT_A2W10V10U10:
    case D3DFMT_D32:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D32F_LOCKABLE:
    case D3DFMT_D24FS8:
    case D3DFMT_G16R16F:
    case D3DFMT_R32F:
      return 32;
    case D3DFMT_A16B16G16R16:
    case D3DFMT_Q16W16V16U16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F:
      return 64;
    case D3DFMT_A32B32G32R32F:
      return 128;
    default:
      return 0;
  }
}

namespace {

// A loaded texture's recorded format is its file's, which need not be the
// texels' (a 24-bit file loaded as RGBA has 32-bit texels): the size comes
// from what the device made, the recorded format only when that is unknown.
template <class Level>
int LevelBitsPerPixel(Level* level, D3DFORMAT fallback) {
  D3DFORMAT format = fallback;
  if (level) {
    typename std::conditional<std::is_same<Level, IDirect3DVolume9>::value, D3DVOLUME_DESC, D3DSURFACE_DESC>::type
        desc;
    if (SUCCEEDED(level->GetDesc(&desc))) format = desc.Format;
  }
  int bits = FormatBitsPerPixel(format);
  return bits ? bits : FormatBitsPerPixel(fallback);
}

}  // namespace

D3DFORMAT CalcFormatFromType(int type) {
  bool colour32 = g_d3d.setup.colour32;
  switch (type) {
    case G::kTextureFileFormat:
      return D3DFMT_UNKNOWN;
    case G::kTextureAlpha:
      return D3DFMT_A8;
    case G::kTextureRGB:
      if (colour32) return D3DFMT_X8R8G8B8;
      return FormatAccepted(D3DFMT_R5G6B5) ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
    case G::kTextureRGBA:
      if (colour32) return D3DFMT_A8R8G8B8;
      return FormatAccepted(D3DFMT_A4R4G4B4) ? D3DFMT_A4R4G4B4 : D3DFMT_A1R5G5B5;
    default:
      ErrorLog << "Internal DXG error: Unable to find compatible format in CalcFormatFromType.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      // The file's own format: the image still loads, as a 2D texture.
      return D3DFMT_UNKNOWN;
  }
}

}  // namespace DXG

namespace G {

using DXG::g_d3d;

namespace {

void ReleaseApiObjects(STex_API_Data* api) {
  DXG::ReleaseCom(api->texture);
  DXG::ReleaseCom(api->volume);
  DXG::ReleaseCom(api->cube);
}

}  // namespace

Texture::~Texture() noexcept(false) {
  DXG::ReleaseAtDestruction(*this, "Bad: texture being destructed, but graphics is not inited.\n");
}

bool Texture::Load(const std::string& name, TextureType type, bool mipmaps, bool dither) {
  if (!g_d3d.initialised) DXG::LogNotInitialized("DXG::Texture::Load", "  -call stack:\n");
  // Volume lists load without mipmaps whatever is asked. The warning is for
  // a list that will load: the search for a shared one and the load are
  // one step under the lock (which LoadFile takes again).
  CriticalSectionLock hold(g_graphicsLock);
  if (mipmaps && type != kTextureFree && ToLowerCase(GetFileExtension(name)) == "t3d" &&
      !(record_ && ToLowerCase(record_->name) == ToLowerCase(name)) && !FindSharedTexture(name))
    ErrorLog << "warning: 3D textures can't be mipmapped, but was requested (no plans to implement).\n";
  return LoadFile(name, false, type, mipmaps, dither);
}

bool Texture::LoadCC(const std::string& name) {
  if (!g_d3d.initialised) DXG::LogNotInitialized("DXG::Texture::LoadCC", "  -call stack:\n");
  bool loaded = LoadFile(name, true, kTextureFileFormat, false, false);
  if (record_) SetWrap(false, false, true);
  return loaded;
}

bool Texture::LoadImageFile(const std::string& name, bool colorKey, TextureType type, bool mipmaps, bool dither) {
  CriticalSectionLock hold(g_graphicsLock);
  D3DXIMAGE_INFO info = {};
  if (FAILED(D3DXGetImageInfoFromFileA(name.c_str(), &info))) {
    ErrorLog << "Failed to load image \"" << name << "\"\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return false;
  }
  if (ToLowerCase(GetFileExtension(name)) == "dds") {
    ErrorLog << "Error: .dds file(" << name
             << ") being loaded.  This format is depreciated for compatability reasons. Failing.\n";
    return false;
  }
  const int width = static_cast<int>(info.Width);
  const int height = static_cast<int>(info.Height);
  if (!CheckImageDimensions(name, width, height)) return false;
  if (info.ResourceType != D3DRTYPE_SURFACE && info.ResourceType != D3DRTYPE_TEXTURE) {
    LogImageLoadFailure(name, "  -image type must be either a surface or a texture\n");
    return false;
  }

  D3DFORMAT format = DXG::CalcFormatFromType(type);
  const int smaller = std::min(width, height);
  const UINT levels = mipmaps && smaller >= 8 ? static_cast<UINT>(DXG::Log2(smaller) - 2) : 1;
  IDirect3DTexture9* texture = nullptr;
  HRESULT result = DXG::Hooked("D3DXCreateTextureFromFileExA", format, [&] {
    return D3DXCreateTextureFromFileExA(g_d3d.device, name.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, levels, 0, format,
                                        D3DPOOL_MANAGED,
                                        dither ? D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER : D3DX_FILTER_NONE,
                                        dither ? D3DX_FILTER_BOX : D3DX_FILTER_POINT,
                                        colorKey ? 0xFF000000 : 0, nullptr, nullptr, &texture);
  });
  if (FAILED(result) || !texture) {
    ErrorLog << "Failed to load image \"" << name << "\"\n";
    if (result == D3DERR_OUTOFVIDEOMEMORY)
      ErrorLog << "  -graphics device out of memory\n";
    else if (result == D3DERR_NOTAVAILABLE)
      ErrorLog << "  -graphics device doesn't support requested type\n";
    else if (result == D3DXERR_INVALIDDATA)
      ErrorLog << "  -file contains invalid data\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    DXG::ReleaseCom(texture);
    return false;
  }

  // The type follows the file's format; the created size is the level's,
  // read below.
  TextureRecord* r = NewRecord(DXG::TextureTypeFromFormat(info.Format), width, height, 1, mipmaps);
  r->name = name;
  r->api = new2(STex_API_Data, STex_API_Data());
  r->api->texture = texture;
  r->api->format = info.Format;

  const int longer = std::max(width, height);
  if (static_cast<unsigned>(longer) / static_cast<unsigned>(smaller) > 8) {
    ErrorLog << "warning: image \"" << name << "\" loaded successfully, but aspect ratio is greater than 8\n"
             << "  -aspect ratio more than 8 not recommended for best compatability with older hardware\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
  }

  D3DSURFACE_DESC desc = {};
  texture->GetLevelDesc(0, &desc);
  r->createdWidth = static_cast<int>(desc.Width);
  r->createdHeight = static_cast<int>(desc.Height);
  DXG::TrackTextureMemory();
  return true;
}

bool Texture::Create(int width, int height, TextureType type, int depth, bool mipmaps) {
  if (!g_d3d.initialised) DXG::LogNotInitialized("DXG::Texture::Create", "  -call stack:\n");
  SRFree();
  TextureCreateLimits limits;
  limits.volumeTextures = g_d3d.volumeTextures;
  if (!CheckTextureCreate(width, height, type, depth, mipmaps, limits)) return false;

  CriticalSectionLock hold(g_graphicsLock);
  const bool colour32 = g_d3d.setup.colour32;
  D3DFORMAT format;
  if (type == kTextureAlpha)
    format = D3DFMT_A8;
  else if (type == kTextureRGB)
    format = colour32 ? D3DFMT_X8R8G8B8 : D3DFMT_R5G6B5;
  else if (type == kTextureRGBA || type == kTextureCube)
    format = colour32 ? D3DFMT_A8R8G8B8 : D3DFMT_A4R4G4B4;
  else {
    ErrorLog << "unsupported or unimplemented format in (DirectX)Texture::Create.\n";
    return false;
  }
  if (!g_d3d.device) return false;

  STex_API_Data made;
  HRESULT result;
  const char* failure;
  if (type == kTextureCube) {
    result = DXG::Hooked("CreateCubeTexture", format, [&] {
      return g_d3d.device->CreateCubeTexture(width, 0, 0, format, D3DPOOL_MANAGED, &made.cube, nullptr);
    });
    failure = "pD3DDev->CreateCubeTexture failed.\n  -call stack: ";
  } else if (depth == 1) {
    result = DXG::Hooked("CreateTexture", format, [&] {
      return g_d3d.device->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &made.texture, nullptr);
    });
    failure = "pD3DDev->CreateTexture failed.\n  -call stack: ";
  } else {
    result = DXG::Hooked("CreateVolumeTexture", format, [&] {
      return g_d3d.device->CreateVolumeTexture(width, height, depth, 1, 0, format, D3DPOOL_MANAGED, &made.volume,
                                               nullptr);
    });
    failure = "pD3DDev->CreateVolumeTexture failed.\n  -call stack: ";
  }
  if (FAILED(result) || !(made.texture || made.cube || made.volume)) {
    WriteCallStack(ErrorLog, failure);
    ReleaseApiObjects(&made);
    return false;
  }

  TextureRecord* r = NewRecord(type, width, height, depth, mipmaps);
  r->api = new2(STex_API_Data, STex_API_Data(made));
  r->api->format = format;
  DXG::TrackTextureMemory();
  return true;
}

void Texture::Set(int stage) const {
  IDirect3DDevice9* device = g_d3d.device;
  if (!record_) {
    ErrorLog << "Set called on a non-loaded texture.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    if (device) device->SetTexture(stage, nullptr);
    return;
  }
  STex_API_Data* api = record_->api;
  if (!device || !api) return;
  if (api->texture) device->SetTexture(stage, api->texture);
  if (api->volume) device->SetTexture(stage, api->volume);
  if (api->cube) device->SetTexture(stage, api->cube);
  DWORD filter = api->filter == kFilterNone    ? D3DTEXF_NONE
                 : api->filter == kFilterPoint  ? D3DTEXF_POINT
                 : api->filter == kFilterLinear ? D3DTEXF_LINEAR
                                                : D3DTEXF_ANISOTROPIC;
  device->SetSamplerState(stage, D3DSAMP_MINFILTER, filter);
  device->SetSamplerState(stage, D3DSAMP_MAGFILTER, filter);
  device->SetSamplerState(stage, D3DSAMP_ADDRESSU, api->wrapU ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP);
  device->SetSamplerState(stage, D3DSAMP_ADDRESSV, api->wrapV ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP);
  if (api->volume)
    device->SetSamplerState(stage, D3DSAMP_ADDRESSW, api->wrapW ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP);
}

void Texture::SetWrap(bool u, bool v, bool w) {
  if (!record_ || !record_->api) return;
  record_->api->wrapU = u;
  record_->api->wrapV = v;
  record_->api->wrapW = w;
}

void Texture::SetFilter(TextureFilter filter) {
  if (!record_ || !record_->api) return;
  record_->api->filter = filter;
}

void Texture::Free() {
  if (!g_d3d.initialised) DXG::LogNotInitialized("DXG::Texture::Load", "  -call stack:\n");
  CriticalSectionLock hold(g_graphicsLock);
  if (!record_->api) return;
  ReleaseApiObjects(record_->api);
  delete2(record_->api);
  record_->api = nullptr;
}

void UnsetTexture(int stage) {
  if (g_d3d.device) g_d3d.device->SetTexture(stage, nullptr);
}

// ---- Locks -----------------------------------------------------------------

TextureLock::TextureLock(Texture* texture, bool read, bool write) : texture_(texture) {
  TextureRecord* record = texture ? texture->Record() : nullptr;
  if (!record) {
    ErrorLog << "Error... attempt to lock a non-existant texture.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  STex_API_Data* api = record->api;
  if (!api || !(api->texture || api->volume || api->cube)) return;
  const DWORD flags = read && !write ? D3DLOCK_READONLY : 0;

  if (api->texture) {
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(api->texture->GetSurfaceLevel(0, &surface)) || !surface) {
      ErrorLog << "Failed to get texture surface!? (LockTexture)\n";
      return;
    }
    D3DLOCKED_RECT locked;
    if (FAILED(surface->LockRect(&locked, nullptr, flags))) {
      surface->Release();
      ErrorLog << "Failed to lock texture for some reason...\n";
      return;
    }
    apiLock_ = new2(STexLock_API_Data, STexLock_API_Data());
    apiLock_->surface = surface;
    bits_ = locked.pBits;
    rowPitch_ = locked.Pitch;
    slicePitch_ = locked.Pitch * record->createdHeight;
    bitsPerPixel_ = DXG::LevelBitsPerPixel(surface, api->format);
  } else if (api->volume) {
    IDirect3DVolume9* volume = nullptr;
    if (FAILED(api->volume->GetVolumeLevel(0, &volume)) || !volume) {
      ErrorLog << "Failed to get texture volume!? (LockTexture)\n";
      return;
    }
    D3DLOCKED_BOX locked;
    if (FAILED(volume->LockBox(&locked, nullptr, flags))) {
      volume->Release();
      ErrorLog << "Failed to lock volume for some reason...\n";
      return;
    }
    apiLock_ = new2(STexLock_API_Data, STexLock_API_Data());
    apiLock_->volume = volume;
    bits_ = locked.pBits;
    rowPitch_ = locked.RowPitch;
    slicePitch_ = locked.SlicePitch;
    bitsPerPixel_ = DXG::LevelBitsPerPixel(volume, api->format);
  } else {
    apiLock_ = new2(STexLock_API_Data, STexLock_API_Data());
    apiLock_->cube = true;
    for (int face = 0; face < 6; ++face) {
      if (FAILED(api->cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &apiLock_->faces[face], nullptr,
                                     flags))) {
        apiLock_->faces[face].pBits = nullptr;
        ErrorLog << "cube face failed to lock.\n";
        break;
      }
    }
    IDirect3DSurface9* face0 = nullptr;
    api->cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_X, 0, &face0);
    bitsPerPixel_ = DXG::LevelBitsPerPixel(face0, api->format);
    DXG::ReleaseCom(face0);
  }
}

bool TextureLock::GetFace(int face, void** bits, int* rowPitch, int* slicePitch, int* bitsPerPixel, int* width,
                          int* height) {
  const TextureRecord* record = texture_ ? texture_->Record() : nullptr;
  if (!record || !record->api || !record->api->cube || !apiLock_ || !apiLock_->cube || face < 0 || face > 5)
    return false;
  const D3DLOCKED_RECT& locked = apiLock_->faces[face];
  if (bits) *bits = locked.pBits;
  if (rowPitch) *rowPitch = locked.Pitch;
  if (slicePitch) *slicePitch = locked.Pitch * record->createdHeight;
  if (bitsPerPixel) *bitsPerPixel = bitsPerPixel_;
  if (width) *width = record->createdWidth;
  if (height) *height = record->createdHeight;
  return locked.pBits != nullptr;
}

void TextureLock::Unlock() {
  if (!apiLock_) return;
  if (apiLock_->surface) {
    apiLock_->surface->UnlockRect();
    DXG::ReleaseCom(apiLock_->surface);
  } else if (apiLock_->volume) {
    apiLock_->volume->UnlockBox();
    DXG::ReleaseCom(apiLock_->volume);
  } else if (apiLock_->cube) {
    const TextureRecord* record = texture_ ? texture_->Record() : nullptr;
    if (record && record->api && record->api->cube)
      for (int face = 0; face < 6; ++face)
        if (apiLock_->faces[face].pBits)
          record->api->cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
  }
  delete2(apiLock_);
  apiLock_ = nullptr;
  bits_ = nullptr;
}

}  // namespace G
