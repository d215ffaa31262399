// Render-to-texture targets on Direct3D 9: a render-target texture drawn into
// through D3DX (render-to-surface for plain targets, render-to-environment-
// map for cubes), which also supplies the depth buffer. The targets live in
// the default pool: they are let go before a device reset and made again
// after it.
#include <d3dx9.h>

#include "backend_d3d9/D3D9Backend.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/Maths.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"

namespace DXG {

namespace {

bool s_handlersRegistered = false;

// The device keeps every texture it has bound: a target must be unbound to
// be gone.
void Unbind(IDirect3DBaseTexture9* texture) {
  if (!texture || !g_d3d.device) return;
  for (DWORD stage = 0; stage < 8; ++stage) {
    IDirect3DBaseTexture9* bound = nullptr;
    g_d3d.device->GetTexture(stage, &bound);
    if (bound == texture) g_d3d.device->SetTexture(stage, nullptr);
    ReleaseCom(bound);
  }
}

void ReleaseTargetTextures(G::SRendTex_API_Data* api) {
  Unbind(api->texture);
  Unbind(api->cube);
  ReleaseCom(api->texture);
  ReleaseCom(api->cube);
}

HRESULT CreateTargetTexture(const G::RenderTextureRecord* record) {
  G::SRendTex_API_Data* api = record->api;
  if (record->cube)
    return Hooked("CreateCubeTexture", D3DFMT_X8R8G8B8, [&] {
      return g_d3d.device->CreateCubeTexture(record->width, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                             D3DPOOL_DEFAULT, &api->cube, nullptr);
    });
  return Hooked("CreateTexture", D3DFMT_X8R8G8B8, [&] {
    return g_d3d.device->CreateTexture(record->width, record->height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                       D3DPOOL_DEFAULT, &api->texture, nullptr);
  });
}

void HandleTargetsLost() {
  for (G::RenderTextureRecord* record : G::g_renderTextureRecords) {
    G::SRendTex_API_Data* api = record->api;
    if (!api) continue;
    ReleaseTargetTextures(api);
    if (api->renderToSurface) api->renderToSurface->OnLostDevice();
    if (api->renderToEnvMap) api->renderToEnvMap->OnLostDevice();
    api->inScene = false;
  }
  g_d3d.renderTextureBound = false;
}

bool CreateDrawer(G::RenderTextureRecord* record);

// Targets made while the device was lost have neither their drawing object
// nor their texture yet: both are made here.
void HandleTargetsRestored() {
  for (G::RenderTextureRecord* record : G::g_renderTextureRecords) {
    G::SRendTex_API_Data* api = record->api;
    if (!api) continue;
    if (api->renderToSurface) api->renderToSurface->OnResetDevice();
    if (api->renderToEnvMap) api->renderToEnvMap->OnResetDevice();
    if (!api->renderToSurface && !api->renderToEnvMap && !CreateDrawer(record)) continue;
    if (!api->texture && !api->cube) CreateTargetTexture(record);
  }
}

void RegisterHandlers() {
  if (s_handlersRegistered) return;
  s_handlersRegistered = true;
  G::RegisterDeviceLostCallback(&HandleTargetsLost);
  G::RegisterDeviceRestoredCallback(&HandleTargetsRestored);
}

// Makes a D3DX drawing object with a 24-bit depth buffer, else (logged
// with the retry line) with a 16-bit one; false (logged) when neither.
template <class Make>
bool MakeWithDepthFallback(Make make, const char* retry, const char* failure) {
  if (SUCCEEDED(make(D3DFMT_D24X8))) return true;
  ErrorLog << retry;
  if (SUCCEEDED(make(D3DFMT_D16))) return true;
  ErrorLog << failure;
  return false;
}

// The D3DX drawing object of the target.
bool CreateDrawer(G::RenderTextureRecord* record) {
  G::SRendTex_API_Data* api = record->api;
  IDirect3DDevice9* device = g_d3d.device;
  if (record->cube)
    return MakeWithDepthFallback(
        [&](D3DFORMAT depth) {
          return Hooked("D3DXCreateRenderToEnvMap", depth, [&] {
            return D3DXCreateRenderToEnvMap(device, record->width, 1, D3DFMT_X8R8G8B8, TRUE, depth,
                                            &api->renderToEnvMap);
          });
        },
        "RenderTexture::Create (cube) - failed with 24bpp z buffer... trying 16bpp...\n",
        "RenderTexture - D3DXCreateRenderToEnvMap failed.\n");
  return MakeWithDepthFallback(
      [&](D3DFORMAT depth) {
        return Hooked("D3DXCreateRenderToSurface", depth, [&] {
          return D3DXCreateRenderToSurface(device, record->width, record->height, D3DFMT_X8R8G8B8, TRUE, depth,
                                           &api->renderToSurface);
        });
      },
      "RenderTexture::Create (plain) - failed with 24bpp z buffer... trying 16bpp...\n",
      "RenderTexture - D3DXCreateRenderToSurface failed.\n");
}

}  // namespace

}  // namespace DXG

namespace G {

using DXG::g_d3d;

RenderTexture::RenderTexture() {
  if (!g_d3d.initialised) ErrorLog << "Panic! RenderTexture object made, but Graphics not Init'd yet.\n";
}

RenderTexture::~RenderTexture() noexcept(false) { SRFree(); }

bool RenderTexture::Create(int width, int height, bool cube, bool stencil) {
  if (!g_d3d.initialised) return false;
  DXG::RegisterHandlers();
  SRAlloc();
  record_->width = width;
  record_->height = height;
  record_->cube = cube;
  record_->ownDepth = false;
  record_->api = new2(SRendTex_API_Data, SRendTex_API_Data());

  bool made;
  if (cube && width != height) {
    ErrorLog << "RenderTexture::Create: Cube maps must have the same width as height.\n";
    made = false;
  } else if (G::IsDeviceLost()) {
    // A default-pool target made now would keep every Reset failing (the
    // lost handlers have already run): the restore handler makes it.
    made = true;
  } else {
    made = DXG::CreateDrawer(record_);
    if (made && FAILED(DXG::CreateTargetTexture(record_))) {
      ErrorLog << (cube ? "RenderTexture - CreateCubeTexture failed.\n" : "RenderTexture - CreateTexture failed.\n");
      made = false;
    }
  }
  if (!made) SRFree();
  return made;
}

bool RenderTexture::BeginRender(const RenderTargetDesc& desc) {
  if (!record_ || !record_->api) return false;
  SRendTex_API_Data* api = record_->api;
  const int face = ApiCubeFace(desc.face);

  // D3DX keeps the device's viewport at its begin and puts it back at its
  // end: the target's own is set once the target is bound, so drawing after
  // EndRender is not clipped to the target's rectangle.
  const Viewport rect = RenderTargetViewport(*record_, desc);
  D3DVIEWPORT9 viewport = {static_cast<DWORD>(rect.x), static_cast<DWORD>(rect.y), static_cast<DWORD>(rect.width),
                           static_cast<DWORD>(rect.height), 0.0f, 1.0f};

  if (api->texture) {
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(api->texture->GetSurfaceLevel(0, &surface)) || !surface) {
      ErrorLog << "RenderTexture::BeginRender - GetSurfaceLevel failed.\n";
      return false;
    }
    HRESULT result = api->renderToSurface->BeginScene(surface, &viewport);
    surface->Release();
    if (FAILED(result)) {
      ErrorLog << "RenderTexture::BeginRender - BeginScene failed.\n";
      return false;
    }
  } else if (api->cube) {
    if (!api->inScene && FAILED(api->renderToEnvMap->BeginCube(api->cube))) {
      ErrorLog << "RenderTexture::BeginRender - BeginCube failed\n";
      return false;
    }
    // From here the environment map is begun: EndRender must end it even
    // when the face cannot be selected.
    api->inScene = true;
    if (FAILED(api->renderToEnvMap->Face(static_cast<D3DCUBEMAP_FACES>(face), D3DX_FILTER_POINT))) {
      ErrorLog << "RenderTexture::BeginRender - Face select failed\n";
      return false;
    }
  } else {
    return false;
  }

  SetViewportRect(rect.x, rect.y, rect.width, rect.height);
  SetRenderTargetProjection(desc, rect, record_->cube, /*squareCubeFaces=*/true);
  api->inScene = true;
  return true;
}

void RenderTexture::EndRender() {
  if (record_ && record_->api && record_->api->inScene) {
    SRendTex_API_Data* api = record_->api;
    if (api->renderToSurface)
      api->renderToSurface->EndScene(D3DX_FILTER_NONE);
    else if (api->renderToEnvMap)
      api->renderToEnvMap->End(D3DX_FILTER_POINT);
    api->inScene = false;
  }
  g_d3d.renderTextureBound = false;
}

void RenderTexture::Set(int stage) const {
  if (!record_ || !record_->api) {
    UnsetTexture(stage);
    return;
  }
  SRendTex_API_Data* api = record_->api;
  if (api->inScene) {
    ErrorLog << "Can't Set() a texture that is being rendered to.\n";
    return;
  }
  if (!g_d3d.device) return;  // after Shutdown: nothing to bind to
  if (api->texture)
    g_d3d.device->SetTexture(stage, api->texture);
  else
    g_d3d.device->SetTexture(stage, api->cube);
  if (!record_->ownDepth) g_d3d.renderTextureBound = true;
}

void RenderTexture::Free() {
  SRendTex_API_Data* api = record_->api;
  if (!api) return;
  DXG::ReleaseCom(api->renderToSurface);
  DXG::ReleaseCom(api->renderToEnvMap);
  DXG::ReleaseTargetTextures(api);
  delete2(api);
  record_->api = nullptr;
}

Matrix4 MakeLookAt(const Vector3& eye, const Vector3& target, const Vector3& up) {
  Matrix4 view;
  Matrix4::LookAt(view, eye, target, up, false, false);
  return view;
}

Matrix4 CubeFaceViewMatrix(int face, const Vector3& eye) {
  static const float kDirections[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, -1}, {0, 0, 1}};
  static const float kUps[6][3] = {{0, 1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}};
  if (face < 0 || face > 5) return Matrix4();
  const Vector3 direction(kDirections[face][0], kDirections[face][1], kDirections[face][2]);
  const Vector3 up(kUps[face][0], kUps[face][1], kUps[face][2]);
  return MakeLookAt(eye, eye + direction, up);
}

}  // namespace G
