// The world camera: it orbits the own tile at a height, turned with keypad 4,
// 5 and 6 and gliding to each new position; and the grid tile under a
// screen point, found on the ground plane z = 0.
#include <cmath>
#include <limits>
#include <vector>

#include "foundation/Input.h"
#include "foundation/StartupOrder.h"
#include "game/service/VantDataManager.h"
#include "game/world/VantRenderer.h"
#include "game/world/VantRendererObjects.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"
#include "graphics/ScreenProjection.h"

QV_STARTUP_MARK(kRowWorldCamera, "WorldCameraObject");
WorldCamera WorldCameraObject QV_STARTUP(kRowWorldCamera);
// A 31 x 31 bit per tile around the view; nothing reads or writes it, it
// keeps its place among the program's globals.
QV_STARTUP_MARK(kRowTileBitGrid, "TileBitGridObject");
static std::vector<bool> TileBitGridObject QV_STARTUP(kRowTileBitGrid)(31 * 31);
// A constant, set before any code runs; its mark keeps its row.
QV_STARTUP_MARK(kRowCameraYaw, "CameraYaw");
float CameraYaw = 0.7853982f;

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

// DirectInput codes of the keypad keys that turn the camera.
constexpr int kKeyTurnLeft = 75;   // keypad 4
constexpr int kKeyTurnReset = 76;  // keypad 5
constexpr int kKeyTurnRight = 77;  // keypad 6

// Where the camera sits relative to the tile it looks at.
constexpr float kOrbitRadius = 6.8f;
constexpr float kOrbitHeight = 7.9f;

// Linear in the table; the segment is the one whose upper breakpoint is the
// first one at or above q.
float TableValue(float q, const float* qs, const float* values, int count) {
  int upper = 1;
  while (upper < count - 1 && qs[upper] < q) ++upper;
  const float t = (q - qs[upper - 1]) / (qs[upper] - qs[upper - 1]);
  return values[upper - 1] + t * (values[upper] - values[upper - 1]);
}

void Glide(SmoothCamera::Component& c, float seconds, bool driftTargets, bool driftCurrent, const Vector3& extra,
           bool drifts, float (*speedOf)(float)) {
  const float distance = (c.current - c.target).Length();
  if (distance >= 0.0001f) {
    const Vector3 direction = NormalizeVec3(c.target - c.current);
    const float speed = speedOf(distance);
    if (distance < speed * seconds) {
      // Arrives within this step: on the target, and done (no drift).
      c.current = c.target;
      c.velocity = Vector3();
      return;
    }
    c.current = c.current + direction * (speed * seconds);
  }
  if (!drifts) return;
  if (driftCurrent) c.current = c.current + extra * seconds;
  if (driftTargets) c.target = c.target + extra * seconds;
}

}  // namespace

float WorldCameraSpeed(float distance) {
  static const float kQ[7] = {0.0f, 0.05f, 0.1f, 0.2f, 0.4f, 0.8f, 1.0f};
  static const float kSpeed[7] = {0.0f, 4.0f, 12.0f, 20.0f, 40.0f, 100.0f, 300.0f};
  const float q = distance * 0.02f;
  if (q <= 0) return 0;
  if (q >= 1) return 300;
  return TableValue(q, kQ, kSpeed, 7);
}

float WorldCameraUpSpeed(float distance) {
  static const float kQ[4] = {0.0f, 0.25f, 0.5f, 1.0f};
  static const float kSpeed[4] = {0.0f, 0.2f, 0.5f, 1.0f};
  const float q = distance * 0.5f;
  if (q <= 0) return 0;
  if (q >= 1) return 1;
  return TableValue(q, kQ, kSpeed, 4);
}

void WorldCamera::Update(float seconds, bool driftTargets, bool driftCurrent) {
  Glide(position_, seconds, driftTargets, driftCurrent, extra_, true, WorldCameraSpeed);
  Glide(lookAt_, seconds, driftTargets, driftCurrent, extra_, true, WorldCameraSpeed);
  Glide(up_, seconds, driftTargets, driftCurrent, extra_, false, WorldCameraUpSpeed);
}

void UpdateCamera(float seconds) {
  if (IsKeyDown(kKeyTurnLeft)) CameraYaw -= kPi * seconds;
  if (IsKeyDown(kKeyTurnRight)) CameraYaw += kPi * seconds;
  if (IsKeyDown(kKeyTurnReset)) CameraYaw = kPi / 4;
  if (CameraYaw < 0) CameraYaw += kTwoPi;
  if (CameraYaw > kTwoPi) CameraYaw -= kTwoPi;
  // A step of more than a turn (the first update runs with 999 s) needs more
  // than one wrap.
  if (!(CameraYaw >= 0 && CameraYaw <= kTwoPi)) {
    CameraYaw = std::fmod(CameraYaw, kTwoPi);
    if (CameraYaw < 0) CameraYaw += kTwoPi;
    if (!(CameraYaw >= 0 && CameraYaw <= kTwoPi)) CameraYaw = kPi / 4;  // not finite
  }

  WorldCameraObject.SetUp(Vector3(0, 0, 1), false);
  int x = 0, y = 0;
  GetViewPosition(x, y);
  const float tx = static_cast<float>(x), ty = static_cast<float>(y);
  WorldCameraObject.SetLookAt(Vector3(tx, ty, 0), false);
  WorldCameraObject.SetPosition(
      Vector3(tx + kOrbitRadius * std::cos(CameraYaw), ty + kOrbitRadius * std::sin(CameraYaw), kOrbitHeight), false);
  WorldCameraObject.Update(2 * seconds, false, true);
}

namespace {

// The pointer's ray at depths 0 and 1 under the world's fixed projection.
void PointerRay(int screenX, int screenY, Vector3& nearPoint, Vector3& farPoint) {
  const float x = static_cast<float>(screenX), y = static_cast<float>(screenY);
  if (G::IsDeviceLost()) {
    // The device keeps no state now: the same matrices, built here.
    Matrix4 view, projection;
    WorldCameraObject.BuildViewMatrix(view);
    Matrix4::Perspective(projection, 0.7853982f, 600.0f / 800.0f, 1, 100);
    const Viewport viewport = {0, 0, 800, 600};
    UnprojectPoint(nearPoint, view, projection, viewport, x, y, 0);
    UnprojectPoint(farPoint, view, projection, viewport, x, y, 1);
    return;
  }
  const Matrix4 projection = G::GetProjectionMatrix();
  const Matrix4 view = G::GetViewMatrix();
  const Matrix4 world = G::GetWorldMatrix();
  G::SetWorldMatrix(Matrix4::Identity());
  WorldCameraObject.Apply();
  SetViewportPerspective(0, 0, 800, 600, 1, 100);
  G::ScreenToWorld(nearPoint, x, y, 0);
  G::ScreenToWorld(farPoint, x, y, 1);
  G::SetWorldMatrix(world);
  G::SetViewMatrix(view);
  G::SetProjectionMatrix(projection);
}

// Rounds half up, truncating toward zero (-0.7 gives 0): the tile numbers the
// game server has always been sent.
bool TileOf(float coordinate, int& tile) {
  const float shifted = coordinate + 0.5f;
  if (!std::isfinite(shifted) || std::fabs(shifted) >= 2147483520.0f) return false;
  tile = static_cast<int>(shifted);
  return true;
}

}  // namespace

void PickTile(int screenX, int screenY, int& tileX, int& tileY) {
  Vector3 nearPoint, farPoint;
  PointerRay(screenX, screenY, nearPoint, farPoint);
  Ray ray;
  ray.origin = nearPoint;
  ray.direction = farPoint - nearPoint;
  Vector3 hit;
  int x = 0, y = 0;
  if (IntersectRayPlane(ray, NormalizeVec3(Vector3(0, 0, 10)), hit) && TileOf(hit.x, x) && TileOf(hit.y, y)) {
    tileX = x;
    tileY = y;
    return;
  }
  // A ray along the ground (or one that meets it out of range) has no
  // tile: the one the camera looks at stands in.
  GetViewPosition(tileX, tileY);
}
