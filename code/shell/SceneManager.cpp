// The scene stack, its frame-rate overlay and the per-scene frame-rate
// statistics written to the statistics log when the scenes end.
#include "shell/SceneManager.h"

#include <climits>
#include <cmath>
#include <list>

#include "foundation/CMemMan.h"
#include "foundation/Input.h"
#include "foundation/LogFile.h"
#include "foundation/StartupOrder.h"
#include "graphics/Device.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/GraphicsLock.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"
#include "graphics/Text.h"

bool g_running = true;

namespace {

struct SceneStats {
  std::string name;
  int frames;
  float seconds;
};

// DirectInput key code of F11, which draws the scene in wireframe while held.
constexpr int kKeyF11 = 87;
// A scene's first update after its push gets this instead of the frame time
// (the frame that pushed it may have been long), and stays out of the
// statistics.
constexpr float kFirstUpdateSeconds = 0.001f;
constexpr float kLongestUpdateSeconds = 0.25f;

}  // namespace

// Front = current scene.
QV_STARTUP_MARK(kRowSceneStack, "g_sceneStack");
static std::list<Scene*> g_sceneStack QV_STARTUP(kRowSceneStack);
// Removed scenes wait here until the end of the update in which they left.
QV_STARTUP_MARK(kRowRemovedScenes, "g_removedScenes");
static std::list<Scene*> g_removedScenes QV_STARTUP(kRowRemovedScenes);
// One entry per scene name, in order of first appearance.
QV_STARTUP_MARK(kRowSceneStats, "g_sceneStats");
static std::list<SceneStats> g_sceneStats QV_STARTUP(kRowSceneStats);

namespace {

bool s_justAdded = true;
bool s_statsWritten = false;
bool s_callbacksRegistered = false;
G::Text* s_overlay = nullptr;
float s_fpsHistory[4] = {};  // oldest first

// Float to int by truncation. Where the plain conversion is undefined it
// gives 0 for a value that is no number (a rate over no time at all) and
// the nearest int for one out of range.
int Truncate(float value) {
  if (value != value || value == HUGE_VALF || value == -HUGE_VALF) return 0;
  if (value >= 2147483647.0f) return INT_MAX;
  if (value <= -2147483648.0f) return INT_MIN;
  return static_cast<int>(value);
}

void DeleteRemovedScenes() {
  // Taken off the list before its destructor runs, which may itself push or
  // remove scenes.
  while (!g_removedScenes.empty()) {
    Scene* scene = g_removedScenes.front();
    g_removedScenes.pop_front();
    delete2(scene);
  }
}

void DeleteOverlay() {
  if (s_overlay) delete2(s_overlay);
  s_overlay = nullptr;
}

void OnDeviceLost() {
  for (size_t i = 0; i < g_sceneStack.size(); ++i) ErrorLog << "Release junk removed... it was only an old dx hack.\n";
  // Made again by the next update.
  DeleteOverlay();
}

void OnDeviceRestored() {
  for (size_t i = 0; i < g_sceneStack.size(); ++i) ErrorLog << "Restore junk removed... it was only an old dx hack.\n";
}

void UpdateOverlay(float seconds) {
  if (!s_overlay && G::IsInitialized()) s_overlay = new2(G::Text, G::Text);
  if (!s_overlay || !(seconds > 0)) return;
  s_overlay->SetPosition(5, 5);
  float fps = 1.0f / seconds;
  float average = (fps + s_fpsHistory[0] + s_fpsHistory[1] + s_fpsHistory[2] + s_fpsHistory[3]) * 0.2f;
  *s_overlay = "FPS: " + std::to_string(Truncate(fps)) + "\nFPS (last 5 avg): " + std::to_string(Truncate(average));
  s_fpsHistory[0] = s_fpsHistory[1];
  s_fpsHistory[1] = s_fpsHistory[2];
  s_fpsHistory[2] = s_fpsHistory[3];
  s_fpsHistory[3] = fps;
}

void CountFrame(const std::string& name, float seconds) {
  for (SceneStats& stats : g_sceneStats) {
    if (stats.name == name) {
      ++stats.frames;
      stats.seconds += seconds;
      return;
    }
  }
  g_sceneStats.push_back(SceneStats{name, 1, seconds});
}

}  // namespace

namespace SceneManager {

void AddScene(Scene* scene) {
  if (!s_callbacksRegistered) {
    s_callbacksRegistered = true;
    G::RegisterDeviceLostCallback(OnDeviceLost);
    G::RegisterDeviceRestoredCallback(OnDeviceRestored);
  }
  if (!scene) {
    ErrorLog << "Bad.. attempt to add null pointer as a scene.\n";
    WriteCallStack(ErrorLog, "  -attempt made from:\n");
    return;
  }
  if (!g_sceneStack.empty()) g_sceneStack.front()->OnLeave();
  g_sceneStack.push_front(scene);
  scene->OnEnter();
  s_justAdded = true;
}

void RemoveScene() {
  if (g_sceneStack.empty()) {
    ErrorLog << "Bad.. attempt to remove a scene when none exist.\n";
    WriteCallStack(ErrorLog, "  -attempt made from:\n");
    return;
  }
  Scene* scene = g_sceneStack.front();
  scene->OnLeave();
  g_removedScenes.push_back(scene);
  g_sceneStack.pop_front();
}

void SetScene(Scene* scene) {
  while (!g_sceneStack.empty()) RemoveScene();
  AddScene(scene);
}

void PreFrame() {
  CriticalSectionLock hold(g_graphicsLock);
  if (!g_sceneStack.empty()) g_sceneStack.front()->PreFrame();
}

void Draw() {
  CriticalSectionLock hold(g_graphicsLock);
  bool wireframe = IsKeyDown(kKeyF11);
  if (wireframe) {
    G::Clear(0, true, false, false, 0);
    G::SetRenderState(G::kStateWireframe, true);
  }
  if (!g_sceneStack.empty()) g_sceneStack.front()->Draw();
  if (wireframe) G::SetRenderState(G::kStateWireframe, false);
  if (s_overlay) {
    G::UnbindShader();
    G::Set2DModeFullScreen();
    s_overlay->Draw();
  }
}

void Update(float seconds) {
  // The overlay shows the frame's real rate, before the clamp below.
  UpdateOverlay(seconds);
  if (g_sceneStack.empty()) {
    DeleteRemovedScenes();
    g_running = false;
    return;
  }
  if (seconds > kLongestUpdateSeconds) seconds = kLongestUpdateSeconds;
  if (s_justAdded) {
    s_justAdded = false;
    g_sceneStack.front()->Update(kFirstUpdateSeconds);
  } else {
    g_sceneStack.front()->Update(seconds);
    // Counted under the scene that is current after the update.
    if (!s_statsWritten && !g_sceneStack.empty()) CountFrame(g_sceneStack.front()->GetName(), seconds);
  }
  DeleteRemovedScenes();
}

std::string GetCurrentSceneName() { return g_sceneStack.empty() ? "none" : g_sceneStack.front()->GetName(); }

void EndAllScenes() {
  while (!g_sceneStack.empty()) RemoveScene();
  if (s_statsWritten) return;
  s_statsWritten = true;
  if (!g_sceneStats.empty()) StatLog << "average FPS for invididual scenes:\n";
  for (const SceneStats& stats : g_sceneStats) {
    StatLog << "  -" << stats.name << " (over " << Truncate(stats.seconds) << " seconds): "
            << Truncate(static_cast<float>(stats.frames) / stats.seconds) << " frames/sec\n";
  }
  StatLog << "\n";
}

void Shutdown() {
  EndAllScenes();
  DeleteRemovedScenes();
  DeleteOverlay();
}

std::string OverlayText() { return s_overlay ? s_overlay->GetString() : ""; }

void ResetForTests() {
  while (!g_sceneStack.empty()) {
    Scene* scene = g_sceneStack.front();
    g_sceneStack.pop_front();
    delete2(scene);
  }
  DeleteRemovedScenes();
  DeleteOverlay();
  g_sceneStats.clear();
  s_justAdded = true;
  s_statsWritten = false;
  for (float& fps : s_fpsHistory) fps = 0;
  if (s_callbacksRegistered) {
    G::UnregisterDeviceLostCallback(OnDeviceLost);
    G::UnregisterDeviceRestoredCallback(OnDeviceRestored);
    s_callbacksRegistered = false;
  }
  g_running = true;
}

}  // namespace SceneManager
