// The world renderer's module: its objects' life, the per-frame update, the
// order in which one frame of the world is drawn, the tile highlight and the
// dream portals with their labels.
#include "game/world/VantRenderer.h"

#include <algorithm>
#include <cmath>

#include "foundation/CMemMan.h"
#include "foundation/Input.h"
#include "game/formats/MapGrid.h"
#include "game/service/GameProtocol.h"
#include "game/service/VantDataManager.h"
#include "game/world/FloorSets.h"
#include "game/world/VantRendererObjects.h"
#include "game/world/VantRenderObjects.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Model.h"
#include "graphics/RenderState.h"
#include "graphics/ScreenProjection.h"
#include "graphics/Shader.h"
#include "graphics/Text.h"

FloorRenderer* FloorRendererPtr = nullptr;
CharacterRenderer* CharacterRendererPtr = nullptr;
WallRenderer* WallRendererPtr = nullptr;
VANT::RenderObjects* RenderObjectsPtr = nullptr;
G::Texture* DreamTexture = nullptr;
G::Text* PortalLabelTextObject = nullptr;
TilePosition ViewCentre = {0, 0};
TilePosition SelectedTile = {0, 0};

namespace {

constexpr int kKeyReloadItems = 68;  // F10

// The world is projected for 800 x 600 whatever the window's size, so that
// picking (which assumes the same) matches the drawn frame.
void SetWorldViewport() { SetViewportPerspective(0, 0, 800, 600, 1, 100); }

// The protocol's floor hooks exist only while there is a renderer to serve.
void InstallFloorHooks() {
  WorldEffects effects = GetWorldEffects();
  effects.loadPatchFloors = LoadPatchFloors;
  effects.markFloorDirtyNear = MarkFloorDirtyNear;
  SetWorldEffects(effects);
}

void RemoveFloorHooks() {
  WorldEffects effects = GetWorldEffects();
  if (effects.loadPatchFloors == LoadPatchFloors) effects.loadPatchFloors = nullptr;
  if (effects.markFloorDirtyNear == MarkFloorDirtyNear) effects.markFloorDirtyNear = nullptr;
  SetWorldEffects(effects);
}

template <class T>
void DeleteAndClear(T*& object) {
  if (!object) return;
  delete2(object);
  object = nullptr;
}

}  // namespace

bool InitRenderer() {
  if (FloorRendererPtr) ShutdownRenderer();
  FloorRendererPtr = new2(FloorRenderer, FloorRenderer());
  CharacterRendererPtr = new2(CharacterRenderer, CharacterRenderer());
  WallRendererPtr = new2(WallRenderer, WallRenderer());
  RenderObjectsPtr = new2(VANT::RenderObjects, VANT::RenderObjects());
  CreateRendererResources();
  // A step long enough for every part of the camera to arrive: it starts
  // at rest where it belongs.
  UpdateCamera(999.0f);
  InstallFloorHooks();
  return true;
}

void ShutdownRenderer() {
  RemoveFloorHooks();
  DeleteAndClear(FloorRendererPtr);
  DeleteAndClear(CharacterRendererPtr);
  DeleteAndClear(WallRendererPtr);
  DeleteAndClear(RenderObjectsPtr);
  ReleaseRendererResources();
}

void CreateRendererResources() {
  DreamTexture = new2(G::Texture, G::Texture());
  PortalLabelTextObject = new2(G::Text, G::Text());
  // The ring's texture wraps round it; its height is clamped.
  if (DreamTexture->Load("data\\misc\\dream0.png", G::kTextureFileFormat, true, true))
    DreamTexture->SetWrap(true, false, true);
}

void ReleaseRendererResources() {
  DeleteAndClear(PortalLabelTextObject);
  DeleteAndClear(DreamTexture);
}

void UpdateRenderer(float seconds) {
  UpdateCamera(seconds);
  GetViewPosition(ViewCentre.x, ViewCentre.y);
  if (IsKeyPressed(kKeyReloadItems) && RenderObjectsPtr) {
    // Reloads the item list and every model file, changed ones included.
    DeleteAndClear(RenderObjectsPtr);
    G::ClearLoadedModels();
    RenderObjectsPtr = new2(VANT::RenderObjects, VANT::RenderObjects());
  }
}

void SetSelectedTile(int x, int y) {
  SelectedTile.x = x;
  SelectedTile.y = y;
}

void MarkFloorDirtyNear(int x, int y) {
  if (FloorRendererPtr && InViewWindow(x, y)) FloorRendererPtr->dirty = true;
}

void SetFloorTextures(const std::vector<G::Texture>& textures) {
  // Floor sets only matter to a running renderer; the next map load after
  // InitRenderer brings its own.
  if (!FloorRendererPtr) return;
  for (G::Texture& slot : FloorRendererPtr->textures) slot.SRFree();
  const size_t count = std::min(textures.size(), static_cast<size_t>(kFloorSlots));
  for (size_t i = 0; i < count; ++i) FloorRendererPtr->textures[i] = textures[i];
}

void RenderWorld() {
  if (!FloorRendererPtr) return;
  SetWorldViewport();
  G::UnbindShader();
  RenderFloors();
  RenderWalls();
  RenderCharacters();

  SetWorldViewport();
  WorldCameraObject.Apply();
  RenderObjectsPtr->SetWindow(ViewCentre.x - kViewRadius, ViewCentre.x + kViewRadius, ViewCentre.y - kViewRadius,
                              ViewCentre.y + kViewRadius);
  RenderObjectsPtr->Render();

  G::SetCullMode(G::kCullNone);
  G::SetWorldMatrix(Matrix4::Identity());
  SetWorldViewport();
  WorldCameraObject.Apply();
  G::UnsetTexture(0);
  G::UnbindShader();
  RenderSelectedTile();
  RenderPortals();
}

namespace {

void HighlightSquare(float z) {
  const float x0 = static_cast<float>(SelectedTile.x) - 0.5f, x1 = static_cast<float>(SelectedTile.x) + 0.5f;
  const float y0 = static_cast<float>(SelectedTile.y) - 0.5f, y1 = static_cast<float>(SelectedTile.y) + 0.5f;
  G::IMPosition3(x0, y0, z);
  G::IMPosition3(x1, y0, z);
  G::IMPosition3(x1, y1, z);
  G::IMPosition3(x1, y1, z);
  G::IMPosition3(x0, y0, z);
  G::IMPosition3(x0, y1, z);
}

}  // namespace

void RenderSelectedTile() {
  // A dark layer and a light one just above it: visible on light and dark
  // floors alike.
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor4(0, 0, 0, 0.25f);
  HighlightSquare(0.03f);
  G::IMColor4(1, 1, 1, 0.2f);
  HighlightSquare(0.06f);
  G::IMEnd();
}

std::string PortalLabelText(const std::string& text) {
  std::string shown = text;
  std::replace(shown.begin(), shown.end(), '|', ' ');
  return shown;
}

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kRingRadius = 0.45f;
constexpr float kRingHeight = 2.0f;

void RingVertex(float x, float y, float angle, float z, float v) {
  G::IMTexCoord2(angle / kPi, v);
  G::IMPosition3(x + kRingRadius * std::sin(angle), y + kRingRadius * std::cos(angle), z);
}

void DrawRing(const PortalRecord& portal) {
  const float x = static_cast<float>(portal.x), y = static_cast<float>(portal.y);
  for (int i = 0; i < 10; ++i) {
    const float a0 = static_cast<float>(i) * kTwoPi * 0.1f;
    const float a1 = static_cast<float>(i + 1) * kTwoPi * 0.1f;
    RingVertex(x, y, a0, 0, 1);
    RingVertex(x, y, a1, 0, 1);
    RingVertex(x, y, a0, kRingHeight, 0.05f);
    RingVertex(x, y, a1, 0, 1);
    RingVertex(x, y, a0, kRingHeight, 0.05f);
    RingVertex(x, y, a1, kRingHeight, 0.05f);
  }
}

void DrawLabel(const PortalRecord& portal) {
  SetWorldViewport();
  WorldCameraObject.Apply();
  Vector3 screen;
  if (!G::WorldToScreen(screen, Vector3(static_cast<float>(portal.x), static_cast<float>(portal.y), 1.5f))) return;
  G::Text& text = *PortalLabelTextObject;
  text.Clear();
  const size_t n = portal.name.size(), m = portal.label.size(), longest = std::max(n, m);
  // 4 pixels is half the default glyph advance: the longest line is
  // centred over the ring, the shorter one padded to its middle.
  text.SetPosition(screen.x - 4.0f * static_cast<float>(longest), screen.y);
  text.SetColor(0xFFFFFFFFu);
  text += G::Text(std::string((longest - n) / 2, ' ') + PortalLabelText(portal.name) + "\n");
  text.SetColor(0xFFC8C8C8u);
  text += G::Text(std::string((longest - m) / 2, ' ') + PortalLabelText(portal.label));
  G::Set2DModeFullScreen();
  text.Draw();
}

}  // namespace

void RenderPortals() {
  const std::list<PortalRecord>& portals = GetPortalList();
  if (portals.empty()) return;
  G::SetWorldMatrix(Matrix4::Identity());
  if (DreamTexture->Record())
    DreamTexture->Set(0);
  else
    G::UnsetTexture(0);  // the image is missing: plain rings
  G::SetRenderState(G::kStateAlphaBlend, true);
  G::SetCullMode(G::kCullClockwise);
  G::SetRenderState(G::kStateDepthWrite, false);
  WorldCameraObject.Apply();
  G::IMBegin(G::kPrimitiveTriangles);
  G::IMColor3(1, 1, 1);
  G::IMNormal(0, 0, 1);
  for (const PortalRecord& portal : portals)
    if (InViewWindow(portal.x, portal.y)) DrawRing(portal);
  G::IMEnd();
  G::SetRenderState(G::kStateDepthWrite, true);
  G::SetCullMode(G::kCullNone);
  for (const PortalRecord& portal : portals)
    if (InViewWindow(portal.x, portal.y)) DrawLabel(portal);
}
