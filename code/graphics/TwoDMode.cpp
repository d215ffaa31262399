// 2D mode, the viewport helpers (the render targets' viewport and
// projection among them) and the default render states every backend
// applies after start-up and after a device reset.
#include "foundation/Maths.h"
#include "graphics/Device.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"

namespace G {

void Set2DMode(int x, int y, int width, int height) {
  SetWorldMatrix(Matrix4::Identity());
  SetViewMatrix(Matrix4::Identity());
  // Orthographic over the rectangle with pixel y growing downward, in the
  // row-vector form the backends take for projections (translation in the
  // fourth row): (x, y) lands on (-1, +1), (x + width, y + height) on (+1, -1).
  const float left = static_cast<float>(x);
  const float right = static_cast<float>(x + width);
  const float top = static_cast<float>(y);
  const float bottom = static_cast<float>(y + height);
  Matrix4 projection;
  projection[0][0] = 2.0f / static_cast<float>(width);
  projection[1][1] = 2.0f / (top - bottom);
  projection[2][2] = -1.0f;
  projection[3][0] = -(right + left) / static_cast<float>(width);
  projection[3][1] = -(bottom + top) / (top - bottom);
  projection[3][2] = -0.0f;
  projection[3][3] = 1.0f;
  SetProjectionMatrix(projection);
  SetViewport(x, y, width, height);
}

void Set2DModeFullScreen() { Set2DMode(0, 0, GetSetup()->width, GetSetup()->height); }

void SetViewportRect(int x, int y, int width, int height) { SetViewport(x, y, width, height); }

void SetFullViewport() { SetViewport(0, 0, GetSetup()->width, GetSetup()->height); }

void GetViewportRect(int& x, int& y, int& width, int& height) { GetViewport(x, y, width, height); }

int ApiCubeFace(int face) {
  if (face == 4) return 5;
  if (face == 5) return 4;
  return face;
}

Viewport RenderTargetViewport(const RenderTextureRecord& record, const RenderTargetDesc& desc) {
  return desc.viewport ? *desc.viewport : Viewport{0, 0, record.width, record.height};
}

void SetRenderTargetProjection(const RenderTargetDesc& desc, const Viewport& viewport, bool cube,
                               bool squareCubeFaces) {
  if (!desc.setProjection) return;
  const float fieldOfView = cube ? 1.5707964f : 0.7853982f;
  const float aspect =
      cube && squareCubeFaces ? 1.0f : static_cast<float>(viewport.height) / static_cast<float>(viewport.width);
  Matrix4 projection;
  Matrix4::Perspective(projection, fieldOfView, aspect, desc.nearPlane, desc.farPlane);
  SetProjectionMatrix(projection);
}

void SetDefaultRenderStates() {
  SetRenderState(kStateDepthTest, true);
  SetRenderState(kStateDepthWrite, true);
  SetRenderState(kStateAlphaBlend, true);
  SetRenderState(kStateAlphaTest, true);
  SetRenderState(kStateStencil, false);
  SetRenderState(kStateLighting, false);
  SetRenderState(kStateWireframe, false);
  SetRenderState(kStateColorWrite, true);
  SetCullMode(kCullCounterClockwise);
  SetAlphaRef(0.0f);
  SetAlphaFunc(kCompareNotEqual);
  SetDepthFunc(kCompareLessEqual);
  SetBlendFunc(kBlendSourceAlpha, kBlendInvSourceAlpha);
  SetProjectionMatrix(Matrix4::Identity());
  SetViewMatrix(Matrix4::Identity());
  SetWorldMatrix(Matrix4::Identity());
  SetViewport(0, 0, GetSetup()->width, GetSetup()->height);
}

}  // namespace G
