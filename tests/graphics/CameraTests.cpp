// Cameras through the null backend: targets and current values, the view
// matrix and the active camera, the perspective viewport, the distance
// curves and SmoothCamera's steps.
#include <cmath>

#include "GraphicsFixture.h"
#include "graphics/Camera.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"

namespace {

void ExpectVectorNear(const Vector3& actual, const Vector3& expected, float tolerance, const std::string& what = "") {
  EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
  EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
  EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

void ExpectMatrixNear(const Matrix4& actual, const Matrix4& expected, float tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
}

// The warning glues the stack's first frame to its heading: cut it there.
std::string WithoutStack(const std::string& text, const std::string& heading) {
  if (text.compare(0, heading.size(), heading) != 0) return "(missing heading) " + text;
  return heading + MaskCallStacks("\n" + text.substr(heading.size())).substr(1);
}

class CameraTest : public GraphicsTest {};

// A camera given its velocity directly: slower than any first step makes it.
struct MovingCamera : SmoothCamera {
  MovingCamera(const Vector3& position, const Vector3& lookAt, const Vector3& up, const Vector3& velocity)
      : SmoothCamera(position, lookAt, up) {
    position_.velocity = velocity;
  }
};

TEST_F(CameraTest, DefaultsAndTheThreeVectorConstructor) {
  SmoothCamera camera;
  ExpectVectorNear(camera.GetPosition(), Vector3(0, 0, 0), 0);
  ExpectVectorNear(camera.GetLookAt(), Vector3(0, 0, 10), 0);
  ExpectVectorNear(camera.GetUp(), Vector3(1, 0, 0), 0);
  ExpectVectorNear(camera.UpState().target, Vector3(1, 0, 0), 0);
  ExpectVectorNear(camera.PositionState().velocity, Vector3(), 0);
  ExpectVectorNear(camera.GetExtraVector(), Vector3(), 0);

  SmoothCamera placed(Vector3(1, 2, 3), Vector3(4, 5, 6), Vector3(0, 0, 2));
  ExpectVectorNear(placed.GetPosition(), Vector3(1, 2, 3), 0);
  ExpectVectorNear(placed.PositionState().target, Vector3(1, 2, 3), 0);
  ExpectVectorNear(placed.LookAtState().target, Vector3(4, 5, 6), 0);
  ExpectVectorNear(placed.GetUp(), Vector3(0, 0, 1), 0);
  ExpectVectorNear(placed.UpState().target, Vector3(0, 0, 1), 0);
}

TEST_F(CameraTest, SettersMoveTargetsAndImmediateAlsoTheCurrentValue) {
  SmoothCamera camera;
  camera.SetPosition(Vector3(5, 6, 7), false);
  ExpectVectorNear(camera.GetPosition(), Vector3(0, 0, 0), 0);
  ExpectVectorNear(camera.PositionState().target, Vector3(5, 6, 7), 0);
  camera.SetLookAt(Vector3(1, 1, 1), false);
  ExpectVectorNear(camera.GetLookAt(), Vector3(0, 0, 10), 0);
  ExpectVectorNear(camera.LookAtState().target, Vector3(1, 1, 1), 0);

  // A moving camera stops where it is put.
  camera.Update(0.5f, false, false);
  ASSERT_GT(camera.PositionState().velocity.Length(), 0);
  camera.SetPosition(Vector3(-2, 0, 1), true);
  ExpectVectorNear(camera.GetPosition(), Vector3(-2, 0, 1), 0);
  ExpectVectorNear(camera.PositionState().velocity, Vector3(), 0);
  camera.SetLookAt(Vector3(3, 3, 3), true);
  ExpectVectorNear(camera.GetLookAt(), Vector3(3, 3, 3), 0);
  ExpectVectorNear(camera.LookAtState().velocity, Vector3(), 0);

  // Up is kept at unit length, current and target.
  camera.SetUp(Vector3(0, 0, 5), false);
  ExpectVectorNear(camera.UpState().target, Vector3(0, 0, 1), 0);
  ExpectVectorNear(camera.GetUp(), Vector3(1, 0, 0), 0);
  camera.SetUp(Vector3(0, 3, 4), true);
  ExpectVectorNear(camera.GetUp(), Vector3(0, 0.6f, 0.8f), 1e-7f);

  camera.SetExtraVector(Vector3(1, 2, 3));
  ExpectVectorNear(camera.GetExtraVector(), Vector3(1, 2, 3), 0);
}

TEST_F(CameraTest, ApplySetsTheLookAtViewAndBecomesActive) {
  SmoothCamera camera(Vector3(0, 0, -10), Vector3(0, 0, 0), Vector3(0, 1, 0));
  const Matrix4 expected(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 10, 0, 0, 0, 1);
  Matrix4 built;
  camera.BuildViewMatrix(built);
  ExpectMatrixNear(built, expected, 1e-6f);
  EXPECT_EQ(NullBackend::CallText(), "");  // building sets nothing
  EXPECT_EQ(GetActiveCamera(), nullptr);

  camera.Apply(nullptr, 1);
  EXPECT_EQ(NullBackend::CallText(), "SetViewMatrix\n");
  ExpectMatrixNear(G::GetViewMatrix(), expected, 1e-6f);
  EXPECT_EQ(GetActiveCamera(), &camera);
  EXPECT_EQ(g_activeCamera, &camera);

  // An extra matrix goes in front of the view (extra x view): a quarter turn
  // about x turns the view's translation (0, 0, 10) into (0, -10, 0), where
  // view x extra would leave it.
  const Matrix4 turn(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);
  SmoothCamera other(Vector3(0, 0, -10), Vector3(0, 0, 0), Vector3(0, 1, 0));
  other.Apply(&turn);
  ExpectMatrixNear(G::GetViewMatrix(), Matrix4(1, 0, 0, 0, 0, 0, -1, -10, 0, 1, 0, 0, 0, 0, 0, 1), 1e-6f);
  EXPECT_EQ(GetActiveCamera(), &other);
}

TEST_F(CameraTest, DestroyingTheActiveCameraLeavesNoneActive) {
  {
    SmoothCamera first(Vector3(0, 0, -10), Vector3(0, 0, 0), Vector3(0, 1, 0));
    {
      SmoothCamera second(Vector3(0, 0, -10), Vector3(0, 0, 0), Vector3(0, 1, 0));
      first.Apply();
    }
    EXPECT_EQ(GetActiveCamera(), &first);
  }
  EXPECT_EQ(GetActiveCamera(), nullptr);
}

TEST_F(CameraTest, ViewportPerspective) {
  SetViewportPerspective(0, 0, 800, 600, 1, 100);
  EXPECT_EQ(NullBackend::CallText(), "SetViewport(0,0,800,600)\nSetProjectionMatrix\n");
  const float f = 1.0f / std::tan(0.7853982f / 2);  // 2.4142137
  Matrix4 expected;
  expected[0][0] = f * 0.75f;
  expected[1][1] = f;
  expected[2][2] = 100.0f / 99.0f;
  expected[2][3] = 1;
  expected[3][2] = -100.0f / 99.0f;
  ExpectMatrixNear(G::GetProjectionMatrix(), expected, 1e-5f);
  int x, y, w, h;
  G::GetViewport(x, y, w, h);
  EXPECT_EQ(w, 800);

  // A tall viewport: the ratio is height over width.
  SetViewportPerspective(10, 20, 300, 600, 2, 50);
  EXPECT_NEAR(G::GetProjectionMatrix()[0][0], f * 2, 1e-5f);
  EXPECT_NEAR(G::GetProjectionMatrix()[3][2], 2 * 50 / (2.0f - 50), 1e-5f);

  // Nothing at all while the device is lost.
  const Matrix4 before = G::GetProjectionMatrix();
  G::SetDeviceLost(true);
  NullBackend::ClearCalls();
  SetViewportPerspective(0, 0, 640, 480, 1, 10);
  EXPECT_EQ(NullBackend::CallText(), "");
  ExpectMatrixNear(G::GetProjectionMatrix(), before, 0);
  G::GetViewport(x, y, w, h);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(w, 300);
  G::SetDeviceLost(false);
}

TEST_F(CameraTest, NormalizeVec3) {
  LogTail quiet;
  ExpectVectorNear(NormalizeVec3(Vector3(3, 0, 4)), Vector3(0.6f, 0, 0.8f), 1e-7f);
  ExpectVectorNear(NormalizeVec3(Vector3(0, -0.5f, 0)), Vector3(0, -1, 0), 0);
  EXPECT_EQ(quiet.Text(), "");

  const std::string heading = "Attepmt to divide by 0 while doing normal.\n  -call stack";
  LogTail errors;
  const Vector3 zero = NormalizeVec3(Vector3(0, 0, 0));
  EXPECT_FALSE(std::isfinite(zero.x));
  EXPECT_FALSE(std::isfinite(zero.z));
  EXPECT_EQ(WithoutStack(errors.Text(), heading), heading + "\n");
  // Below the tolerance but not zero: logged, still scaled.
  LogTail tinyErrors;
  ExpectVectorNear(NormalizeVec3(Vector3(0.000001f, 0, 0)), Vector3(1, 0, 0), 1e-6f);
  EXPECT_EQ(WithoutStack(tinyErrors.Text(), heading), heading + "\n");
}

TEST(CameraCurves, DampingAndSpeedOverTheDistance) {
  struct Case {
    float distance, damping, speed;
  };
  const Case cases[] = {
      {0, 0, 0},          {0.02f, 0, 0},      {0.51f, 0.5f, 0.25f}, {1, 1, 0.5f},   {2.5f, 0.875f, 2.25f},
      {4, 0.75f, 4},      {10, 0.625f, 6},    {16, 0.5f, 8},        {40, 0.4f, 24}, {64, 0.3f, 40},
      {1000, 0.3f, 40},   {-3, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(CameraDamping(c.distance), c.damping, 1e-6f) << c.distance;
    EXPECT_NEAR(CameraSpeed(c.distance), c.speed, 2e-6f) << c.distance;
  }
  // The wanted speed less the current one, whatever its sign.
  EXPECT_NEAR(CameraAcceleration(2.5f, 1), 1.25f, 1e-6f);
  EXPECT_NEAR(CameraAcceleration(2.5f, -1), 1.25f, 1e-6f);
  EXPECT_NEAR(CameraAcceleration(1, 3), -2.5f, 1e-6f);
}

TEST_F(CameraTest, SmoothStepsTowardTheTargets) {
  LogTail errors;
  // At rest on its targets nothing moves (a zero velocity has no
  // direction, and none is made up).
  SmoothCamera still(Vector3(1, 2, 3), Vector3(4, 5, 6), Vector3(0, 0, 1));
  still.Update(0.1f, false, false);
  ExpectVectorNear(still.GetPosition(), Vector3(1, 2, 3), 0);
  ExpectVectorNear(still.GetLookAt(), Vector3(4, 5, 6), 0);
  ExpectVectorNear(still.GetUp(), Vector3(0, 0, 1), 0);
  ExpectVectorNear(still.PositionState().velocity, Vector3(), 0);

  // Position 10 away, three steps of 0.1 s: pulled by the speed curve,
  // held back by drag and damping.
  SmoothCamera camera(Vector3(0, 0, 0), Vector3(0, 0, 10), Vector3(0, 1, 0));
  camera.SetPosition(Vector3(10, 0, 0), false);
  const float positions[3] = {0.06f, 0.16789375f, 0.31829648f};
  const float speeds[3] = {0.6f, 1.0789375f, 1.5040273f};
  for (int i = 0; i < 3; ++i) {
    camera.Update(0.1f, false, false);
    ExpectVectorNear(camera.GetPosition(), Vector3(positions[i], 0, 0), 1e-5f, "step " + std::to_string(i));
    ExpectVectorNear(camera.PositionState().velocity, Vector3(speeds[i], 0, 0), 1e-5f, "step " + std::to_string(i));
  }
  ExpectVectorNear(camera.GetLookAt(), Vector3(0, 0, 10), 0);

  // Damping that takes more than the speed turns the velocity round; the
  // pull then brings it back. Position 2 away at 0.05, a step of 0.1 s:
  // drag 0.05 x 0.05 x 0.1 leaves 0.04975; damping 0.9166667 x 0.1 takes
  // 0.09166667, leaving -0.04191667; the pull adds (1.6666667 - 0.04191667)
  // x 0.1, giving 0.12055833, and the camera moves 0.012055833.
  MovingCamera slow(Vector3(0, 0, 0), Vector3(0, 0, 10), Vector3(0, 1, 0), Vector3(0.05f, 0, 0));
  slow.SetPosition(Vector3(2, 0, 0), false);
  slow.Update(0.1f, false, false);
  ExpectVectorNear(slow.PositionState().velocity, Vector3(0.12055833f, 0, 0), 1e-6f);
  ExpectVectorNear(slow.GetPosition(), Vector3(0.012055833f, 0, 0), 1e-7f);

  // A step that would pass the target stops on it.
  SmoothCamera close(Vector3(0, 0, 0), Vector3(0, 0, 10), Vector3(0, 1, 0));
  close.SetLookAt(Vector3(0, 1, 10), false);
  close.Update(10, false, false);
  ExpectVectorNear(close.GetLookAt(), Vector3(0, 1, 10), 0);
  ExpectVectorNear(close.LookAtState().velocity, Vector3(), 0);

  // Up turns twice as hard, with its own drag and damping, and stays unit.
  SmoothCamera turning(Vector3(0, 0, 0), Vector3(0, 0, 10), Vector3(1, 0, 0));
  turning.SetUp(Vector3(0, 0, 1), false);
  turning.Update(0.1f, false, false);
  ExpectVectorNear(turning.GetUp(), Vector3(0.99990059f, 0, 0.014099924f), 1e-5f);
  ExpectVectorNear(turning.UpState().velocity, Vector3(-0.13905243f, 0, 0.13905243f), 1e-5f);
  turning.Update(0.1f, false, false);
  ExpectVectorNear(turning.GetUp(), Vector3(0.99926701f, 0, 0.038281003f), 1e-5f);
  ExpectVectorNear(turning.UpState().velocity, Vector3(-0.23466122f, 0, 0.23306386f), 1e-5f);
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(CameraTest, TheExtraVectorDriftsPositionAndLookAtOnRequest) {
  struct Case {
    bool targets, current;
    Vector3 position, positionTarget;
  };
  const Case cases[] = {
      {false, false, Vector3(0, 0, 0), Vector3(0, 0, 0)},
      {false, true, Vector3(0.5f, 1, 0), Vector3(0, 0, 0)},
      {true, false, Vector3(0, 0, 0), Vector3(0.5f, 1, 0)},
      {true, true, Vector3(0.5f, 1, 0), Vector3(0.5f, 1, 0)},
  };
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.targets) + std::to_string(c.current);
    SmoothCamera camera(Vector3(0, 0, 0), Vector3(0, 0, 10), Vector3(0, 1, 0));
    camera.SetExtraVector(Vector3(1, 2, 0));
    camera.Update(0.5f, c.targets, c.current);
    ExpectVectorNear(camera.GetPosition(), c.position, 1e-6f, what);
    ExpectVectorNear(camera.PositionState().target, c.positionTarget, 1e-6f, what);
    ExpectVectorNear(camera.GetLookAt(), c.position + Vector3(0, 0, 10), 1e-6f, what);
    ExpectVectorNear(camera.LookAtState().target, c.positionTarget + Vector3(0, 0, 10), 1e-6f, what);
    ExpectVectorNear(camera.GetUp(), Vector3(0, 1, 0), 0, what);
  }
}

}  // namespace
