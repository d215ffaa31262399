// Stands in for the world renderer's scene-facing calls (see the header).
// Goes when the renderer joins the build.
#include "SceneRendererStandIn.h"

#include <sstream>

#include "game/VantRenderer.h"

namespace {

void Record(const std::string& call) {
  RendererCalls().push_back(call);
  if (RendererObserver()) RendererObserver()(call);
}

}  // namespace

std::vector<std::string>& RendererCalls() {
  static std::vector<std::string> calls;
  return calls;
}

std::function<void(const std::string&)>& RendererObserver() {
  static std::function<void(const std::string&)> observer;
  return observer;
}

bool InitRenderer() {
  Record("InitRenderer");
  return true;
}

void ShutdownRenderer() { Record("ShutdownRenderer"); }

void UpdateRenderer(float seconds) {
  std::ostringstream text;
  text << "UpdateRenderer(" << seconds << ")";
  Record(text.str());
}

void RenderWorld() { Record("RenderWorld"); }

void SetSelectedTile(int x, int y) { Record("SetSelectedTile(" + std::to_string(x) + "," + std::to_string(y) + ")"); }

void PickTile(int screenX, int screenY, int& tileX, int& tileY) {
  Record("PickTile(" + std::to_string(screenX) + "," + std::to_string(screenY) + ")");
  tileX = 1000 + screenX / 10;
  tileY = 2000 + screenY / 10;
}
