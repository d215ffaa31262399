// The world camera: its speed tables and glide, the keypad turns and the
// orbit round the own tile; and picking the tile under a screen point with
// the fixed 800 x 600 projection the world is drawn with.
#include <cmath>

#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"
#include "WorldFixture.h"

namespace {

const float kPi = 3.1415927f;

TEST(WorldCameraSpeeds, TablesOverTheDistance) {
  struct Case {
    float distance, speed;
  };
  // q = distance / 50 in the table 0, .05, .1, .2, .4, .8, 1 -> 0, 4, 12,
  // 20, 40, 100, 300.
  const Case cases[] = {{0, 0},    {1, 1.6f},  {2.5f, 4},   {3.75f, 8}, {5, 12},   {7.5f, 16}, {10, 20},
                        {20, 40},  {30, 70},   {40, 100},   {45, 200},  {50, 300}, {100, 300}, {-1, 0}};
  for (const Case& c : cases) EXPECT_NEAR(WorldCameraSpeed(c.distance), c.speed, 1e-4f) << c.distance;
  // q = distance / 2 in the table 0, .25, .5, 1 -> 0, .2, .5, 1.
  const Case up[] = {{0, 0}, {0.25f, 0.1f}, {0.5f, 0.2f}, {0.75f, 0.35f}, {1, 0.5f}, {1.5f, 0.75f}, {2, 1}, {3, 1}};
  for (const Case& c : up) EXPECT_NEAR(WorldCameraUpSpeed(c.distance), c.speed, 1e-6f) << c.distance;
}

TEST(WorldCameraGlide, AtTheTableSpeedThenOnTheTarget) {
  WorldCamera camera;
  camera.SetPosition(Vector3(100, 0, 0), false);
  // 100 and 70 away: 300 a second; 40 away: 100; 30: 70; 23: 49.
  const float xs[] = {30, 60, 70, 77, 81.9f};
  for (float x : xs) {
    camera.Update(0.1f, false, false);
    EXPECT_NEAR(camera.GetPosition().x, x, 1e-4f);
    EXPECT_EQ(camera.GetPosition().y, 0);
  }
  EXPECT_EQ(camera.GetLookAt().z, 10);  // on its target: untouched

  // A step that reaches the target ends on it, at rest.
  WorldCamera arriving;
  arriving.SetLookAt(Vector3(0, 1, 10), false);
  arriving.SmoothCamera::Update(0.1f, false, false);  // gives it a velocity
  ASSERT_GT(arriving.LookAtState().velocity.Length(), 0);
  arriving.Update(1, false, false);  // 1 away at 1.6 a second
  EXPECT_EQ(arriving.GetLookAt().y, 1);
  EXPECT_EQ(arriving.LookAtState().velocity.Length(), 0);

  // Up turns by its own table, without being normalised on the way.
  WorldCamera turning;
  turning.SetUp(Vector3(0, 0, 1), false);  // sqrt 2 away: 0.7071 a second
  turning.Update(0.5f, false, false);
  const float step = 0.5f * 0.70710677f;
  EXPECT_NEAR(turning.GetUp().x, 1 - step * 0.70710677f, 1e-5f);
  EXPECT_NEAR(turning.GetUp().z, step * 0.70710677f, 1e-5f);
}

TEST(WorldCameraGlide, TheExtraVectorDriftsOnlyWhatHasNotArrived) {
  WorldCamera camera;
  camera.SetExtraVector(Vector3(2, 0, 0));
  camera.SetPosition(Vector3(0, 1, 0), false);  // arrives in this step: no drift
  camera.Update(1, true, true);
  EXPECT_EQ(camera.GetPosition().x, 0);
  EXPECT_EQ(camera.GetPosition().y, 1);
  // The look-at was at rest: it and its target drift; up never does.
  EXPECT_EQ(camera.GetLookAt().x, 2);
  EXPECT_EQ(camera.LookAtState().target.x, 2);
  EXPECT_EQ(camera.GetUp().x, 1);
  camera.Update(1, false, true);
  EXPECT_EQ(camera.GetLookAt().x, 4);
  EXPECT_EQ(camera.LookAtState().target.x, 2);
}

class WorldCameraTest : public WorldTest {
 protected:
  static void HoldKeys(std::initializer_list<int> keys) {
    unsigned char state[256] = {};
    for (int key : keys) state[key] = 0x80;
    AdvanceKeyState(state);
  }
};

TEST_F(WorldCameraTest, TheCameraOrbitsTheOwnTile) {
  SetViewPosition(10, 20);
  UpdateCamera(999);
  const SmoothCamera& c = WorldCameraObject;
  EXPECT_FLOAT_EQ(c.LookAtState().target.x, 10);
  EXPECT_FLOAT_EQ(c.LookAtState().target.y, 20);
  EXPECT_EQ(c.LookAtState().target.z, 0);
  EXPECT_FLOAT_EQ(c.PositionState().target.x, 10 + 6.8f * std::cos(kPi / 4));
  EXPECT_FLOAT_EQ(c.PositionState().target.y, 20 + 6.8f * std::sin(kPi / 4));
  EXPECT_FLOAT_EQ(c.PositionState().target.z, 7.9f);
  EXPECT_EQ(c.UpState().target.z, 1);
  // 999 s: everything arrived.
  EXPECT_FLOAT_EQ(c.GetPosition().x, c.PositionState().target.x);
  EXPECT_FLOAT_EQ(c.GetLookAt().y, 20);

  // A jump of 100 tiles: 300 units a second in doubled time, then slower
  // along the table.
  SetViewPosition(110, 20);
  const float xs[] = {40, 70, 80, 87};
  for (float x : xs) {
    UpdateCamera(0.05f);
    EXPECT_NEAR(c.GetLookAt().x, x, 1e-3f);
  }
}

TEST_F(WorldCameraTest, KeypadKeysTurnTheYaw) {
  struct Case {
    const char* what;
    std::initializer_list<int> keys;
    float start;
    int frames;
    float seconds;
    float yaw;
  };
  const Case cases[] = {
      {"keypad 4 for half a second", {75}, kPi / 4, 30, 1 / 60.0f, 2 * kPi - kPi / 4},
      {"keypad 6 for half a second", {77}, kPi / 4, 30, 1 / 60.0f, 3 * kPi / 4},
      {"both", {75, 77}, 1.0f, 10, 0.1f, 1.0f},
      {"keypad 5 resets at once", {75, 76}, 3.0f, 1, 0.1f, kPi / 4},
      {"no key", {}, 2.0f, 5, 0.1f, 2.0f},
      {"past 2 pi", {77}, 6.2f, 1, 0.1f, 6.2f + 0.1f * kPi - 2 * kPi},
      {"below 0", {75}, 0.1f, 1, 0.1f, 0.1f - 0.1f * kPi + 2 * kPi},
      // More than a turn in one step still ends within 0..2 pi.
      {"999 s of keypad 4", {75}, kPi / 4, 1, 999, 5 * kPi / 4},
      {"999 s of keypad 6", {77}, kPi / 4, 1, 999, 5 * kPi / 4},
  };
  for (const Case& c : cases) {
    CameraYaw = c.start;
    HoldKeys(c.keys);
    for (int i = 0; i < c.frames; ++i) UpdateCamera(c.seconds);
    EXPECT_NEAR(CameraYaw, c.yaw, c.seconds > 1 ? 2e-3f : 1e-4f) << c.what;
    EXPECT_GE(CameraYaw, 0) << c.what;
    EXPECT_LE(CameraYaw, 2 * kPi) << c.what;
  }
  // The camera goes where the yaw says: keypad 6 for half a second puts it
  // on the other side of the tile's diagonal.
  HoldKeys({});
  SetViewPosition(0, 0);
  CameraYaw = 3 * kPi / 4;
  UpdateCamera(999);
  EXPECT_NEAR(WorldCameraObject.GetPosition().x, -6.8f * 0.70710677f, 1e-4f);
  EXPECT_NEAR(WorldCameraObject.GetPosition().y, 6.8f * 0.70710677f, 1e-4f);
}

// ---- Picking -------------------------------------------------------------------

TEST_F(WorldCameraTest, AClickPicksTheTileDrawnUnderIt) {
  const int views[][2] = {{20, 20}, {3, 40}, {0, 0}};
  const float yaws[] = {kPi / 4, 2.0f, 4.5f};
  for (int v = 0; v < 3; ++v) {
    SetViewPosition(views[v][0], views[v][1]);
    CameraYaw = yaws[v];
    UpdateCamera(999);
    // The middle of the screen is the own tile.
    int tx = -1, ty = -1;
    PickTile(400, 300, tx, ty);
    EXPECT_EQ(tx, views[v][0]);
    EXPECT_EQ(ty, views[v][1]);
    int checked = 0;
    for (int dy = -8; dy <= 8; ++dy) {
      for (int dx = -8; dx <= 8; ++dx) {
        const int x = views[v][0] + dx, y = views[v][1] + dy;
        float sx, sy;
        if (!DrawnAt(static_cast<float>(x), static_cast<float>(y), 0, sx, sy)) continue;
        if (sx < 1 || sx > 799 || sy < 1 || sy > 599) continue;
        PickTile(static_cast<int>(std::lround(sx)), static_cast<int>(std::lround(sy)), tx, ty);
        // Tiles at negative coordinates round toward zero (below).
        EXPECT_EQ(tx, x < 0 ? x + 1 : x) << "view " << v << " tile " << x << "," << y << " at " << sx << "," << sy;
        EXPECT_EQ(ty, y < 0 ? y + 1 : y) << "view " << v << " tile " << x << "," << y << " at " << sx << "," << sy;
        ++checked;
      }
    }
    EXPECT_GT(checked, 60) << v;
  }
}

TEST_F(WorldCameraTest, HitsRoundHalfUpTruncatingTowardZero) {
  struct Case {
    float x, y;
    int tileX, tileY;
  };
  const Case cases[] = {{4.49f, 7.2f, 4, 7}, {4.5f, 7.25f, 5, 7}, {4.51f, 6.9f, 5, 7},
                        {-0.7f, -0.4f, 0, 0}, {-1.6f, -2.4f, -1, -1}, {0, 0, 0, 0}};
  for (const Case& c : cases) {
    // Straight down on the point: the middle of the screen hits it.
    WorldCameraObject.SetUp(Vector3(0, 1, 0), true);
    WorldCameraObject.SetPosition(Vector3(c.x, c.y, 10), true);
    WorldCameraObject.SetLookAt(Vector3(c.x, c.y, 0), true);
    int tx = 99, ty = 99;
    PickTile(400, 300, tx, ty);
    EXPECT_EQ(tx, c.tileX) << c.x;
    EXPECT_EQ(ty, c.tileY) << c.y;
  }
}

TEST_F(WorldCameraTest, PickingLeavesTheTransformsAsTheyWere) {
  const Matrix4 projection(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
  const Matrix4 view(1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1);
  const Matrix4 world(3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1);
  G::SetProjectionMatrix(projection);
  G::SetViewMatrix(view);
  G::SetWorldMatrix(world);
  G::SetViewport(10, 20, 300, 200);
  NullBackend::ClearCalls();
  int tx, ty;
  PickTile(123, 456, tx, ty);
  EXPECT_EQ(NullBackend::CallText(),
            "SetWorldMatrix\nSetViewMatrix\nSetViewport(0,0,800,600)\nSetProjectionMatrix\n"
            "SetWorldMatrix\nSetViewMatrix\nSetProjectionMatrix\n");
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(G::GetProjectionMatrix().m[i], projection.m[i]);
    EXPECT_EQ(G::GetViewMatrix().m[i], view.m[i]);
    EXPECT_EQ(G::GetWorldMatrix().m[i], world.m[i]);
  }
  int x, y, w, h;
  G::GetViewport(x, y, w, h);
  EXPECT_EQ(w, 800);  // the viewport stays the world's
  EXPECT_EQ(GetActiveCamera(), &WorldCameraObject);
}

TEST_F(WorldCameraTest, PickingWorksWhileTheDeviceIsLost) {
  SetViewPosition(12, 30);
  UpdateCamera(999);
  const int points[][2] = {{400, 300}, {100, 500}, {700, 120}, {5, 5}};
  for (const auto& p : points) {
    int tx = 0, ty = 0, lostX = 1, lostY = 1;
    PickTile(p[0], p[1], tx, ty);
    G::SetDeviceLost(true);
    NullBackend::ClearCalls();
    PickTile(p[0], p[1], lostX, lostY);
    EXPECT_EQ(NullBackend::CallText(), "");  // nothing touches the device
    G::SetDeviceLost(false);
    EXPECT_EQ(lostX, tx) << p[0] << "," << p[1];
    EXPECT_EQ(lostY, ty) << p[0] << "," << p[1];
  }
}

TEST_F(WorldCameraTest, ARayAlongTheGroundPicksTheOwnTile) {
  SetViewPosition(17, 4);
  const float heights[] = {0, 3};
  for (float z : heights) {
    WorldCameraObject.SetUp(Vector3(0, 0, 1), true);
    WorldCameraObject.SetPosition(Vector3(30, 20, z), true);
    WorldCameraObject.SetLookAt(Vector3(20, 20, z), true);
    int tx = 0, ty = 0;
    LogTail errors;
    PickTile(400, 300, tx, ty);
    EXPECT_EQ(tx, 17) << z;
    EXPECT_EQ(ty, 4) << z;
    EXPECT_EQ(errors.Text(), "");
  }
}

}  // namespace
