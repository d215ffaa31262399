#include "SceneTestSupport.h"

#include <algorithm>

#include "foundation/Input.h"
#include "game/world/VantRenderer.h"
#include "graphics/Device.h"
#include "graphics/Font.h"
#include "graphics/GBMesh.h"
#include "graphics/TextWindow.h"
#include "NullBackend.h"
#include "WindowMessages.h"
#include "WorldTestSupport.h"

using namespace Msg;

void StartSceneGraphics() {
  NullBackend::ResetAndStart();
  // The in-game scene starts the world renderer: its models need the bone
  // allocator, its images and item list the program's data.
  G::CreateBoneAllocator();
  CopyWorldData();
  NullBackend::ClearCalls();
  NullBackend::ClearDrawnBlocks();
  ClearInput();
}

void StopSceneGraphics() {
  NullBackend::Scripted().observer = nullptr;
  ClearInput();
  ShutdownRenderer();  // nothing when the scene stopped it
  G::ClearLoadedModels();
  G::DestroyBoneAllocator();
  G::ReleaseTextShader();  // made by the first text drawn
  if (G::IsInitialized()) G::Shutdown();
  NullBackend::Reset();
}

void ClearInput() {
  ClearTypedChars();
  HandleMouseMessage(kLeftUp, 0, 0);
  HandleMouseMessage(kMouseMove, 0, 0);
  ResetMouseClicks();
  ResetKeyStates();
}

void TypeChar(unsigned char c) { HandleCharMessage(nullptr, kChar, c, 0); }

void TypeText(const std::string& text) {
  for (char c : text) TypeChar(static_cast<unsigned char>(c));
}

void TypeKey(int virtualKey) { HandleCharMessage(nullptr, kKeyDown, virtualKey, kExtended); }

void HoldKeys(const std::vector<int>& keys) {
  unsigned char state[256] = {};
  for (int key : keys) state[key & 0xFF] = 0x80;
  AdvanceKeyState(state);
}

void MoveMouse(int x, int y) { HandleMouseMessage(kMouseMove, 0, PointParam(x, y)); }

void PressLeft(int x, int y) {
  MoveMouse(x, y);
  HandleMouseMessage(kLeftDown, 0, PointParam(x, y));
}

void ReleaseLeft() { HandleMouseMessage(kLeftUp, 0, 0); }

void TurnWheel(int steps) {
  const int delta = -120 * steps;
  HandleMouseMessage(kMouseWheel, WheelDelta(delta), 0);
}

void EndFrameInput() {
  ClearTypedChars();
  ResetMouseClicks();
}

std::vector<std::string> ChatLines(const G::TextWindow& window) {
  std::vector<std::string> lines;
  for (const G::TextWindowLine& line : window.Lines()) lines.push_back(line.text.GetString());
  return lines;
}

std::vector<SpriteAt> SpritesOf(const G::Texture& texture) {
  std::vector<SpriteAt> sprites;
  for (const NullBackend::DrawBlock& block : NullBackend::DrawnBlocks()) {
    if (!texture.Record() || block.texture0 != texture.Record() || block.vertices.empty()) continue;
    SpriteAt at{block.vertices[0].position[0], block.vertices[0].position[1]};
    for (const G::IMVertex& vertex : block.vertices) {
      at.x = std::min(at.x, vertex.position[0]);
      at.y = std::min(at.y, vertex.position[1]);
    }
    sprites.push_back(at);
  }
  return sprites;
}
