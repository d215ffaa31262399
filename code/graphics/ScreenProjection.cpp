// World-to-screen projection through the graphics interface's state.
#include "graphics/ScreenProjection.h"

#include "foundation/Maths.h"
#include "graphics/RenderState.h"

namespace G {

namespace {
Viewport CurrentViewport() {
  Viewport viewport;
  GetViewport(viewport.x, viewport.y, viewport.width, viewport.height);
  return viewport;
}
}  // namespace

bool WorldToScreen(Vector3& out, const Vector3& world) {
  return ProjectPoint(out, GetViewMatrix(), GetProjectionMatrix(), CurrentViewport(), world);
}

void ScreenToWorld(Vector3& out, float screenX, float screenY, float depth) {
  UnprojectPoint(out, GetViewMatrix(), GetProjectionMatrix(), CurrentViewport(), screenX, screenY, depth);
}

}  // namespace G
