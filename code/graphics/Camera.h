// Cameras: a position, a look-at point and an up vector turned into the view
// matrix, the camera applied last, and the viewport with its perspective
// projection. SmoothCamera lets each vector chase a target over time.
#pragma once
#include "foundation/Maths.h"

class Camera {
 public:
  // Leaves no dangling active camera behind.
  virtual ~Camera();

  virtual void SetUp(const Vector3& up, bool immediate) = 0;
  virtual Vector3 GetUp() const = 0;
  virtual void SetPosition(const Vector3& position, bool immediate) = 0;
  virtual Vector3 GetPosition() const = 0;
  virtual void SetLookAt(const Vector3& lookAt, bool immediate) = 0;
  virtual Vector3 GetLookAt() const = 0;
  virtual void SetExtraVector(const Vector3& extra) = 0;
  virtual Vector3 GetExtraVector() const = 0;
  virtual void Update(float seconds, bool driftTargets, bool driftCurrent) = 0;

  // Sets the view matrix (extra x view when extra is given) and makes this
  // the active camera. The flag is kept for callers; it changes nothing.
  void Apply(const Matrix4* extra = nullptr, int flag = 1);
  // The view matrix of the current values, without setting it.
  void BuildViewMatrix(Matrix4& out) const;
};

// The camera applied last; null at start and after it is destroyed.
extern Camera* g_activeCamera;
Camera* GetActiveCamera();

// Viewport and a perspective projection of pi/4 vertical field of view;
// nothing while the device is lost.
void SetViewportPerspective(int x, int y, int width, int height, float zNear, float zFar);

// Unit vector; a (near) zero vector is logged and comes out non-finite.
Vector3 NormalizeVec3(const Vector3& v);

// SmoothCamera's curves over the distance between a value and its target.
float CameraDamping(float distance);
float CameraSpeed(float distance);
// The wanted speed minus the current one.
float CameraAcceleration(float distance, float speed);

class SmoothCamera : public Camera {
 public:
  // At the origin, looking at (0, 0, 10), up (1, 0, 0).
  SmoothCamera();
  SmoothCamera(const Vector3& position, const Vector3& lookAt, const Vector3& up);

  // Each sets the target; immediate also moves the current value there and
  // stops it. Up is kept at unit length (current and target).
  void SetUp(const Vector3& up, bool immediate) override;
  Vector3 GetUp() const override { return up_.current; }
  void SetPosition(const Vector3& position, bool immediate) override;
  Vector3 GetPosition() const override { return position_.current; }
  void SetLookAt(const Vector3& lookAt, bool immediate) override;
  Vector3 GetLookAt() const override { return lookAt_.current; }
  // A per-second drift of position and look-at, applied by Update on request.
  void SetExtraVector(const Vector3& extra) override { extra_ = extra; }
  Vector3 GetExtraVector() const override { return extra_; }
  // Drag, damping and a pull toward the target, per vector.
  void Update(float seconds, bool driftTargets, bool driftCurrent) override;

  struct Component {
    Vector3 current;
    Vector3 target;
    Vector3 velocity;
  };
  const Component& PositionState() const { return position_; }
  const Component& LookAtState() const { return lookAt_; }
  const Component& UpState() const { return up_; }

 protected:
  Component position_;
  Component lookAt_;
  Component up_;
  Vector3 extra_;
};
