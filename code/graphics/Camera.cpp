// Cameras: view matrices from position, look-at point and up, the active
// camera, the perspective viewport, and SmoothCamera's chase of its targets.
#include "graphics/Camera.h"

#include <cmath>

#include "foundation/LogFile.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"

Camera* g_activeCamera = nullptr;

Camera* GetActiveCamera() { return g_activeCamera; }

Camera::~Camera() {
  if (g_activeCamera == this) g_activeCamera = nullptr;
}

void Camera::Apply(const Matrix4* extra, int) {
  Matrix4 view;
  BuildViewMatrix(view);
  if (extra) Matrix4::Multiply(view, *extra, view);
  G::SetViewMatrix(view);
  g_activeCamera = this;
}

void Camera::BuildViewMatrix(Matrix4& out) const {
  Matrix4::LookAt(out, GetPosition(), GetLookAt(), GetUp(), false, false);
}

void SetViewportPerspective(int x, int y, int width, int height, float zNear, float zFar) {
  if (G::IsDeviceLost()) return;
  G::SetViewport(x, y, width, height);
  Matrix4 projection;
  Matrix4::Perspective(projection, 0.7853982f, static_cast<float>(height) / static_cast<float>(width), zNear, zFar);
  G::SetProjectionMatrix(projection);
}

Vector3 NormalizeVec3(const Vector3& v) {
  const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (std::fabs(length) < kMathsEpsilon) {
    ErrorLog << "Attepmt to divide by 0 while doing normal.\n";
    WriteCallStack(ErrorLog, "  -call stack");
  }
  return v * (1.0f / length);
}

// ---- Distance curves -------------------------------------------------------

namespace {

// Piecewise linear over the breakpoints 0.02, 1, 4, 16 and 64; flat outside.
float DistanceCurve(float distance, const float (&values)[5]) {
  static const float kBreaks[5] = {0.02f, 1.0f, 4.0f, 16.0f, 64.0f};
  // 1 / (segment length), as the curves have always used them.
  static const float kScale[4] = {1.0204082f, 0.33333334f, 0.083333336f, 0.020833334f};
  if (distance <= kBreaks[0]) return values[0];
  if (distance >= kBreaks[4]) return values[4];
  int segment = 0;
  while (distance >= kBreaks[segment + 1]) ++segment;
  const float t = (distance - kBreaks[segment]) * kScale[segment];
  return (1.0f - t) * values[segment] + t * values[segment + 1];
}

}  // namespace

float CameraDamping(float distance) {
  static const float kValues[5] = {0.0f, 1.0f, 0.75f, 0.5f, 0.3f};
  return DistanceCurve(distance, kValues);
}

float CameraSpeed(float distance) {
  static const float kValues[5] = {0.0f, 0.5f, 4.0f, 8.0f, 40.0f};
  return DistanceCurve(distance, kValues);
}

float CameraAcceleration(float distance, float speed) { return CameraSpeed(distance) - std::fabs(speed); }

// ---- SmoothCamera ----------------------------------------------------------

SmoothCamera::SmoothCamera() {
  position_.current = position_.target = Vector3(0, 0, 0);
  lookAt_.current = lookAt_.target = Vector3(0, 0, 10);
  up_.current = up_.target = Vector3(1, 0, 0);
}

SmoothCamera::SmoothCamera(const Vector3& position, const Vector3& lookAt, const Vector3& up) {
  position_.current = position_.target = position;
  lookAt_.current = lookAt_.target = lookAt;
  SetUp(up, true);
}

namespace {

void SetComponent(SmoothCamera::Component& component, const Vector3& value, bool immediate) {
  component.target = value;
  if (immediate) {
    component.current = value;
    component.velocity = Vector3();
  }
}

// A zero vector has no direction: it stays zero.
Vector3 DirectionOf(const Vector3& v) {
  const float length = v.Length();
  return length > 0 ? v * (1.0f / length) : Vector3();
}

// Takes loss off along the velocity's own direction; a loss beyond the speed
// turns the velocity round (the pull then brings it back). A zero velocity
// has no direction and stays zero.
void Slow(Vector3& velocity, float loss) { velocity = velocity - DirectionOf(velocity) * loss; }

void Chase(SmoothCamera::Component& c, float dt, float drag, float damping, float pull) {
  const float distance = (c.current - c.target).Length();
  Slow(c.velocity, drag * c.velocity.Length() * dt);
  Slow(c.velocity, CameraDamping(distance) * damping * dt);
  const Vector3 toward = DirectionOf(c.target - c.current);
  c.velocity = c.velocity + toward * (pull * CameraAcceleration(distance, c.velocity.Length()) * dt);
  if (dt * c.velocity.Length() > distance && Vector3::Dot(c.velocity, toward) > 0) {
    // This step would pass the target: stop on it.
    c.current = c.target;
    c.velocity = Vector3();
  }
  c.current = c.current + c.velocity * dt;
}

}  // namespace

void SmoothCamera::SetUp(const Vector3& up, bool immediate) {
  SetComponent(up_, up, immediate);
  up_.current = NormalizeVec3(up_.current);
  up_.target = NormalizeVec3(up_.target);
}

void SmoothCamera::SetPosition(const Vector3& position, bool immediate) {
  SetComponent(position_, position, immediate);
}

void SmoothCamera::SetLookAt(const Vector3& lookAt, bool immediate) { SetComponent(lookAt_, lookAt, immediate); }

void SmoothCamera::Update(float seconds, bool driftTargets, bool driftCurrent) {
  Component* moving[2] = {&position_, &lookAt_};
  for (Component* c : moving) {
    Chase(*c, seconds, 0.05f, 1.0f, 1.0f);
    if (driftCurrent) c->current = c->current + extra_ * seconds;
    if (driftTargets) c->target = c->target + extra_ * seconds;
  }
  Chase(up_, seconds, 0.1f, 0.25f, 2.0f);
  up_.current = NormalizeVec3(up_.current);
  up_.target = NormalizeVec3(up_.target);
}
