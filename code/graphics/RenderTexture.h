// The graphics interface: render-to-texture targets, plain or cube, each with
// its own depth buffer. The backend owns what sits behind SRendTex_API_Data.
#pragma once
#include <list>

#include "foundation/Maths.h"
#include "foundation/SharedResource_TCPP.h"


namespace G {

struct SRendTex_API_Data;

struct RenderTextureRecord {
  int refCount = 0;
  int width = 0;
  int height = 0;
  bool cube = false;
  // Raised by a backend whose target needs no render-texture-bound flag;
  // while false, RenderTexture::Set raises that flag (Clear then leaves the
  // stencil alone).
  bool ownDepth = false;
  SRendTex_API_Data* api = nullptr;
};

// Cube faces as callers number them: 0 +X, 1 -X, 2 +Y, 3 -Y, 4 -Z, 5 +Z.
struct RenderTargetDesc {
  bool setProjection = false;
  float nearPlane = 1.0f;
  float farPlane = 100.0f;
  const Viewport* viewport = nullptr;  // null: the whole target
  int face = 0;
};

class RenderTexture : public SharedResource<RenderTextureRecord> {
 public:
  RenderTexture();
  RenderTexture(const RenderTexture& other) : SharedResource<RenderTextureRecord>(other) {}
  RenderTexture& operator=(const RenderTexture& other) = default;
  ~RenderTexture() noexcept(false) override;

  // A cube needs width equal to height. Stencil asks the backend to try a
  // target without stencil before giving up (OpenGL); others ignore it.
  bool Create(int width, int height, bool cube, bool stencil = false);
  // Drawing goes into the target until EndRender; a cube takes one
  // BeginRender per face and one EndRender after the last.
  bool BeginRender(const RenderTargetDesc& desc);
  void EndRender();
  // Binds the target as a texture on the stage.
  void Set(int stage) const;
  void Free() override;
};

// The view for a cube face at the eye point, in the backend's conventions;
// the zero matrix for a face outside 0..5.
Matrix4 CubeFaceViewMatrix(int face, const Vector3& eye);

// Shared code: what the backends' BeginRender do alike.
// A cube face as both APIs number them: the callers' 4 (-Z) and 5 (+Z)
// change places.
int ApiCubeFace(int face);
// Where drawing into the target goes: the desc's rectangle, else the whole
// target.
Viewport RenderTargetViewport(const RenderTextureRecord& record, const RenderTargetDesc& desc);
// Only when the desc asks for it: the projection becomes the perspective
// with field of view pi/2 for a cube face and pi/4 for a plain target, the
// desc's planes, and aspect viewport height / width (1 for a cube face
// where the backend keeps its faces square).
void SetRenderTargetProjection(const RenderTargetDesc& desc, const Viewport& viewport, bool cube,
                               bool squareCubeFaces);

extern std::list<RenderTextureRecord*> g_renderTextureRecords;

}  // namespace G

template <>
std::list<G::RenderTextureRecord*>& SharedResource<G::RenderTextureRecord>::Registry();
