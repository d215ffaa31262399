// The world renderer through the null backend: its life, the frame's call
// order, the floor buffer built from a known map and rebuilt only when
// needed, walls, avatars and their colours, portals with their labels, the
// tile highlight, and the protocol's floor hooks.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "foundation/Input.h"
#include "game/formats/ColorTables.h"
#include "game/formats/MapGrid.h"
#include "game/service/GameProtocol.h"
#include "game/world/FloorSets.h"
#include "game/world/VantRenderObjects.h"
#include "graphics/RenderState.h"
#include "graphics/ScreenProjection.h"
#include "graphics/Text.h"
#include "ServiceTestSupport.h"
#include "WorldFixture.h"

namespace {

// A 40 x 40 grid (file map 10 x 10) of cells without a drawn floor, the own
// avatar at its middle, and deterministic textures in place of the image
// files (which only the Windows build can decode).
class WorldRendererTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    LoadBlankMap(10, 10, 700);
    StandAt(20, 20);
    WallRendererPtr->texture = PlainTexture(0xFF808080u);
    *DreamTexture = PlainTexture(0xFF8040FFu);
    NullBackend::ClearCalls();
  }

  // The own tile, as the protocol sets it and the next update takes it.
  static void StandAt(int x, int y) {
    SetViewPosition(x, y);
    UpdateRenderer(999.0f);  // long enough for the camera to arrive
  }

  static std::string CallsOf(void (*draw)()) {
    NullBackend::ClearCalls();
    draw();
    return NullBackend::CallText();
  }

  static FloorVertex FloorVertexAt(int index) {
    FloorVertex v;
    std::memcpy(&v, NullBackend::VertexBufferMemory(FloorRendererPtr->vertexBuffer.Record()) + 36 * index, 36);
    return v;
  }

  static const NullBackend::DrawBlock& LastBlock() { return NullBackend::DrawnBlocks().back(); }
};

void ExpectVertex(const G::IMVertex& v, float x, float y, float z, float u, float t, const std::string& what) {
  EXPECT_FLOAT_EQ(v.position[0], x) << what;
  EXPECT_FLOAT_EQ(v.position[1], y) << what;
  EXPECT_FLOAT_EQ(v.position[2], z) << what;
  EXPECT_FLOAT_EQ(v.texCoord[0], u) << what;
  EXPECT_FLOAT_EQ(v.texCoord[1], t) << what;
}

// ---- Life ------------------------------------------------------------------------

TEST_F(WorldTest, InitAndShutdownMakeAndReleaseEverything) {
  ShutdownRenderer();
  G::ClearLoadedModels();
  EXPECT_EQ(FloorRendererPtr, nullptr);
  EXPECT_EQ(CharacterRendererPtr, nullptr);
  EXPECT_EQ(WallRendererPtr, nullptr);
  EXPECT_EQ(RenderObjectsPtr, nullptr);
  EXPECT_EQ(DreamTexture, nullptr);
  EXPECT_EQ(PortalLabelTextObject, nullptr);
  EXPECT_EQ(GetWorldEffects().loadPatchFloors, nullptr);
  EXPECT_EQ(GetWorldEffects().markFloorDirtyNear, nullptr);
  const size_t textures = G::g_textureRecords.size(), buffers = G::g_vertexBufferRecords.size();
  const size_t models = G::g_modelRegistry.size();

  NullBackend::ClearCalls();
  SetViewPosition(7, 9);
  ASSERT_TRUE(InitRenderer());
  // The floor buffer first (5766 vertices of 36 bytes, static, write-only),
  // then the wall image, the item renderer, the portal image.
  std::vector<std::string> marks;
  for (const std::string& call : NullBackend::Calls())
    if (call.find("VertexBuffer::Create(5766") == 0 || call.find("LoadImageFile") != std::string::npos ||
        call.find("Shader::Load") == 0)
      marks.push_back(call);
  ASSERT_GE(marks.size(), 4u);
  EXPECT_EQ(marks.front(), "VertexBuffer::Create(5766,36,0,1)");
  EXPECT_EQ(marks[1], "Texture::LoadImageFile(data\\walls\\stone1.bmp,0,1,1)");
  EXPECT_EQ(marks[2], "Shader::Load(data\\shaders\\simple,)");
  EXPECT_EQ(marks.back(), "Texture::LoadImageFile(data\\misc\\dream0.png,0,1,1)");
  ASSERT_NE(FloorRendererPtr, nullptr);
  EXPECT_TRUE(FloorRendererPtr->dirty);
  EXPECT_EQ(FilledFloorSlots(), 0u);
  EXPECT_NE(PortalLabelTextObject, nullptr);
  // The floor hooks are the protocol's now.
  EXPECT_EQ(GetWorldEffects().loadPatchFloors, &LoadPatchFloors);
  EXPECT_EQ(GetWorldEffects().markFloorDirtyNear, &MarkFloorDirtyNear);
  // The camera starts at rest where it belongs: over the own tile.
  const float yaw = 0.7853982f;
  const Vector3 position = WorldCameraObject.GetPosition();
  EXPECT_FLOAT_EQ(position.x, 7 + 6.8f * std::cos(yaw));
  EXPECT_FLOAT_EQ(position.y, 9 + 6.8f * std::sin(yaw));
  EXPECT_FLOAT_EQ(position.z, 7.9f);
  EXPECT_FLOAT_EQ(WorldCameraObject.GetLookAt().x, 7);
  EXPECT_FLOAT_EQ(WorldCameraObject.GetLookAt().y, 9);
  EXPECT_FLOAT_EQ(WorldCameraObject.GetUp().z, 1);

  // Everything it made goes again (with the models' master copies).
  ShutdownRenderer();
  G::ClearLoadedModels();
  EXPECT_EQ(G::g_textureRecords.size(), textures);
  EXPECT_EQ(G::g_vertexBufferRecords.size(), buffers);
  EXPECT_EQ(G::g_modelRegistry.size(), models);
  // A map line after the end draws nothing and touches nothing.
  LoadBlankMap(4, 4, 3);
  SetFloorTextures({PlainTexture(0xFF00FF00u)});
  MarkFloorDirtyNear(7, 9);
  ASSERT_TRUE(InitRenderer());
}

TEST_F(WorldRendererTest, AFrameOfAnEmptyWorld) {
  ASSERT_EQ(CallsOf(RenderWorld),
            "SetViewport(0,0,800,600)\nSetProjectionMatrix\nUnbindShader\n"
            // floors: rebuilt (first frame), nothing drawn
            "SetCullMode(2)\nVertexBufferLock(1)\nVertexBufferLock::Unlock\nVertexBuffer::Set\nSetViewMatrix\n"
            // walls
            "SetCullMode(2)\nTexture::Set(0)\nSetViewMatrix\nIMBegin(2)\nIMEnd\n"
            // avatars
            "SetWorldMatrix\nSetRenderState(2,1)\nUnsetTexture(0)\nSetViewMatrix\nIMBegin(2)\nIMEnd\n"
            // items
            "SetViewport(0,0,800,600)\nSetProjectionMatrix\nSetViewMatrix\nSetCullMode(0)\nShader::Set\n"
            // the highlight; no portals
            "SetCullMode(2)\nSetWorldMatrix\nSetViewport(0,0,800,600)\nSetProjectionMatrix\nSetViewMatrix\n"
            "UnsetTexture(0)\nUnbindShader\nIMBegin(2)\nIMEnd\n");
  EXPECT_TRUE(NullBackend::BufferDraws().empty());
  // Always the fixed projection: an 800 x 600 viewport, near 1, far 100.
  Matrix4 expected;
  Matrix4::Perspective(expected, 0.7853982f, 0.75f, 1, 100);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(G::GetProjectionMatrix().m[i], expected.m[i]);
  Matrix4 view;
  WorldCameraObject.BuildViewMatrix(view);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(G::GetViewMatrix().m[i], view.m[i]);
  EXPECT_EQ(GetActiveCamera(), &WorldCameraObject);
  EXPECT_EQ(NullBackend::CurrentShader(), nullptr);
}

TEST_F(WorldRendererTest, TheHighlightMarksTheSelectedTile) {
  SetSelectedTile(-3, 17);
  RenderWorld();
  const NullBackend::DrawBlock& block = LastBlock();
  ASSERT_EQ(block.vertices.size(), 12u);
  EXPECT_EQ(block.texture0, nullptr);
  EXPECT_EQ(block.cullMode, G::kCullNone);
  const float corners[6][2] = {{-3.5f, 16.5f}, {-2.5f, 16.5f}, {-2.5f, 17.5f},
                               {-2.5f, 17.5f}, {-3.5f, 16.5f}, {-3.5f, 17.5f}};
  for (int i = 0; i < 12; ++i) {
    const G::IMVertex& v = block.vertices[i];
    EXPECT_FLOAT_EQ(v.position[0], corners[i % 6][0]) << i;
    EXPECT_FLOAT_EQ(v.position[1], corners[i % 6][1]) << i;
    EXPECT_FLOAT_EQ(v.position[2], i < 6 ? 0.03f : 0.06f) << i;
    // A dark layer under a light one (alpha 0.25 and 0.2 of 255).
    EXPECT_EQ(v.color, i < 6 ? 0x3F000000u : 0x33FFFFFFu) << i;
  }
}

// ---- Floors ----------------------------------------------------------------------

TEST_F(WorldRendererTest, FloorsAreSortedByNumberIntoTheBuffer) {
  std::vector<G::Texture> slots(600);
  for (int n : {3, 5, 599}) slots[n] = PlainTexture(0xFF000000u | n);
  SetFloorTextures(slots);
  // Row by row (y outer): 5 at (10, 6), 3 at (12, 6), 5 at (6, 7), 599 at
  // (7, 8), 600 (no slot) at (8, 8), and 5 at (34, 34), the window's last
  // cell; (35, 20) and (20, 35) are just outside it.
  SetMapFloor(10, 6, 5);
  SetMapFloor(12, 6, 3);
  SetMapFloor(6, 7, 5);
  SetMapFloor(7, 8, 599);
  SetMapFloor(8, 8, 600);
  SetMapFloor(34, 34, 5);
  SetMapFloor(35, 20, 3);
  SetMapFloor(20, 35, 3);

  EXPECT_EQ(CallsOf(RenderFloors),
            "SetCullMode(2)\nVertexBufferLock(1)\nVertexBufferLock::Unlock\nVertexBuffer::Set\nSetViewMatrix\n"
            "Texture::Set(0)\nRenderTris(2,0)\nTexture::Set(0)\nRenderTris(6,6)\nTexture::Set(0)\nRenderTris(2,24)\n");
  EXPECT_FALSE(FloorRendererPtr->dirty);
  EXPECT_EQ(FloorRendererPtr->firstVertex[3], 0);
  EXPECT_EQ(FloorRendererPtr->vertexCount[3], 6);
  EXPECT_EQ(FloorRendererPtr->firstVertex[5], 6);
  EXPECT_EQ(FloorRendererPtr->vertexCount[5], 18);
  EXPECT_EQ(FloorRendererPtr->firstVertex[599], 24);
  EXPECT_EQ(FloorRendererPtr->vertexCount[599], 6);
  const std::vector<NullBackend::BufferDraw>& draws = NullBackend::BufferDraws();
  ASSERT_EQ(draws.size(), 3u);
  EXPECT_EQ(draws[0].texture0, slots[3].Record());
  EXPECT_EQ(draws[1].texture0, slots[5].Record());
  EXPECT_EQ(draws[2].texture0, slots[599].Record());
  EXPECT_EQ(draws[0].vertexBuffer, FloorRendererPtr->vertexBuffer.Record());
  EXPECT_EQ(draws[0].cullMode, G::kCullNone);

  // Each tile: two triangles over its unit square, facing down the z axis
  // in white, with the whole texture.
  struct Tile {
    int first, x, y;
  };
  const Tile tiles[] = {{0, 12, 6}, {6, 10, 6}, {12, 6, 7}, {18, 34, 34}, {24, 7, 8}};
  const float corners[6][4] = {{-0.5f, -0.5f, 0, 0}, {0.5f, -0.5f, 1, 0}, {-0.5f, 0.5f, 0, 1},
                               {0.5f, -0.5f, 1, 0},  {-0.5f, 0.5f, 0, 1}, {0.5f, 0.5f, 1, 1}};
  for (const Tile& tile : tiles) {
    for (int i = 0; i < 6; ++i) {
      const FloorVertex v = FloorVertexAt(tile.first + i);
      const std::string what = "tile " + std::to_string(tile.x) + "," + std::to_string(tile.y) + " vertex " +
                               std::to_string(i);
      EXPECT_FLOAT_EQ(v.position[0], tile.x + corners[i][0]) << what;
      EXPECT_FLOAT_EQ(v.position[1], tile.y + corners[i][1]) << what;
      EXPECT_EQ(v.position[2], 0) << what;
      EXPECT_EQ(v.normal[0], 0) << what;
      EXPECT_EQ(v.normal[1], 0) << what;
      EXPECT_EQ(v.normal[2], -1) << what;
      EXPECT_EQ(v.color, 0xFFFFFFFFu) << what;
      EXPECT_EQ(v.texCoord[0], corners[i][2]) << what;
      EXPECT_EQ(v.texCoord[1], corners[i][3]) << what;
    }
  }
  const G::VertexBufferRecord* buffer = FloorRendererPtr->vertexBuffer.Record();
  EXPECT_EQ(buffer->vertexCount, 5766);
  EXPECT_FALSE(buffer->dynamic);
  EXPECT_TRUE(buffer->writeOnly);
  ASSERT_EQ(buffer->format.size(), 4u);
  EXPECT_EQ(buffer->format[2].type, G::kPackedColor);
  EXPECT_EQ(buffer->format[3].type, G::kFloat2);
  EXPECT_EQ(buffer->format[3].use, G::kUseTexCoord);
}

TEST_F(WorldRendererTest, FloorsWithoutATextureOrNumberAreNotDrawn) {
  // Floor 4 has tiles but an empty slot; nothing in view is below 600.
  SetFloorTextures({PlainTexture(1), PlainTexture(2), PlainTexture(3)});
  SetMapFloor(20, 20, 4);
  RenderFloors();
  EXPECT_EQ(FloorRendererPtr->vertexCount[4], 6);
  EXPECT_TRUE(NullBackend::BufferDraws().empty());
  SetMapFloor(20, 20, 65535);
  MarkFloorDirtyNear(20, 20);
  RenderFloors();
  for (int n = 0; n < 600; ++n) ASSERT_EQ(FloorRendererPtr->vertexCount[n], 0) << n;
  EXPECT_TRUE(NullBackend::BufferDraws().empty());
}

TEST_F(WorldRendererTest, OutsideTheMapTheEdgeFloorIsDrawn) {
  std::vector<G::Texture> slots(162);
  slots[161] = PlainTexture(0xFF202080u);
  SetFloorTextures(slots);
  // At the grid's corner: of the 30 x 30 window, only 15 x 15 cells are
  // inside the 40 x 40 grid.
  StandAt(0, 0);
  RenderFloors();
  EXPECT_EQ(FloorRendererPtr->vertexCount[161], 6 * (900 - 15 * 15));
  ASSERT_EQ(NullBackend::BufferDraws().size(), 1u);
  EXPECT_EQ(NullBackend::BufferDraws()[0].call, "RenderTris(1350,0)");
  const FloorVertex first = FloorVertexAt(0);  // cell (-15, -15)
  EXPECT_FLOAT_EQ(first.position[0], -15.5f);
  EXPECT_FLOAT_EQ(first.position[1], -15.5f);
}

TEST_F(WorldRendererTest, TheBufferIsRebuiltOnlyWhenTheViewMovesOrAVisibleFloorChanges) {
  SetFloorTextures({PlainTexture(1)});
  auto rebuilds = [] {
    const std::string calls = CallsOf(RenderFloors);
    size_t count = 0;
    for (size_t at = 0; (at = calls.find("VertexBufferLock(", at)) != std::string::npos; ++at) ++count;
    return count;
  };
  EXPECT_EQ(rebuilds(), 1u);  // the first frame
  EXPECT_EQ(rebuilds(), 0u);
  EXPECT_EQ(rebuilds(), 0u);

  // One tile further: one rebuild, then none.
  StandAt(21, 20);
  EXPECT_EQ(rebuilds(), 1u);
  EXPECT_EQ(rebuilds(), 0u);
  // The floors follow the view position itself, even before the update.
  SetViewPosition(21, 19);
  EXPECT_EQ(rebuilds(), 1u);
  StandAt(21, 19);

  // Floor changes: within 15 tiles of the centre (closed), on either axis.
  struct Case {
    int x, y;
    bool dirty;
  };
  const Case cases[] = {{21 + 15, 19, true}, {21 + 16, 19, false}, {21 - 15, 19 - 15, true},
                        {21 - 16, 19, false}, {21, 19 + 15, true},  {21, 19 - 16, false}};
  for (const Case& c : cases) {
    MarkFloorDirtyNear(c.x, c.y);
    EXPECT_EQ(FloorRendererPtr->dirty, c.dirty) << c.x << "," << c.y;
    EXPECT_EQ(rebuilds(), c.dirty ? 1u : 0u) << c.x << "," << c.y;
  }

  // New floor textures change no cell's number: no rebuild.
  SetFloorTextures({PlainTexture(2)});
  EXPECT_FALSE(FloorRendererPtr->dirty);
  EXPECT_EQ(rebuilds(), 0u);
}

// ---- A map replaced at the same own tile ----------------------------------------

// A map of fileWidth x fileHeight file cells, every one with the floor (grid
// cells that no file cell reaches have none).
void PutMapWithFloor(const std::string& path, int fileWidth, int fileHeight, int floor) {
  std::string bytes = "MAP V01.10 Vantrell\nwidth=" + std::to_string(fileWidth) +
                      "\nheight=" + std::to_string(fileHeight) + "\nBODY\n";
  for (int i = 0; i < fileWidth * fileHeight; ++i) {
    bytes += static_cast<char>(floor & 0xFF);
    bytes += static_cast<char>(floor >> 8);
  }
  bytes.append(static_cast<size_t>(4) * fileWidth * fileHeight, '\0');  // no items, no walls
  WriteFileBytes(path, bytes);
}

void LoadOtherMap() {
  PutMapWithFloor("other_test.map", 10, 10, 7);
  EXPECT_TRUE(LoadMap("other_test.map"));
}

// A failed load leaves the blank 0 x 0 map: the edge floor everywhere.
void LoadMissingMap() {
  std::remove("missing_test.map");
  EXPECT_FALSE(LoadMap("missing_test.map"));
}

void LoadMapWithBadSize() {
  WriteFileBytes("bad_test.map", "MAP V01.10 Vantrell\nwidth=0\nheight=10\nBODY\n");
  EXPECT_FALSE(LoadMap("bad_test.map"));
}

// The game server's map line, through the protocol with the program's own
// map loader and the renderer's hooks; the floor set is the test's.
void SendOtherMapLine() {
  PutMapWithFloor("other_test.map", 10, 10, 7);
  WorldEffects effects = GetWorldEffects();
  EXPECT_EQ(effects.markFloorDirtyNear, &MarkFloorDirtyNear);
  effects.deskew = Deskew;
  effects.loadMap = LoadMap;
  effects.loadPatchFloors = [](const std::string&) {};
  const WorldEffects previous = SetWorldEffects(effects);
  ScriptedConnection connection;
  ResetGameProtocol();
  SetServerConnection(&connection);
  connection.batches = {"Welcome END\n", "&&&&&&&&&&&&&\n", ";other_test.map\n"};
  for (int i = 0; i < 3; ++i) PollGameServer();
  SetWorldEffects(previous);
  SetServerConnection(nullptr);
  ResetGameProtocol();
  DrainMessages();
}

struct MapReplacement {
  const char* label;
  void (*replace)();
  int floor;  // drawn in the window afterwards
};

void PrintTo(const MapReplacement& c, std::ostream* out) { *out << c.label; }

const MapReplacement kMapReplacements[] = {
    {"AnotherMap", LoadOtherMap, 7},
    {"TheMapLine", SendOtherMapLine, 7},
    {"AMissingMap", LoadMissingMap, kOutsideFloor},
    {"ABadSize", LoadMapWithBadSize, kOutsideFloor},
};

class MapReplacedInPlace : public WorldRendererTest, public testing::WithParamInterface<MapReplacement> {};

TEST_P(MapReplacedInPlace, TheNextFrameDrawsTheNewMapsFloors) {
  std::vector<G::Texture> slots(600);
  for (int n : {3, 7, kOutsideFloor}) slots[n] = PlainTexture(0xFF000000u | n);
  SetFloorTextures(slots);
  LoadBlankMap(10, 10, 3);
  RenderFloors();
  ASSERT_EQ(FloorRendererPtr->vertexCount[3], 6 * 900);

  GetParam().replace();
  int x = 0, y = 0;
  GetViewPosition(x, y);
  ASSERT_EQ(x, 20);  // still the same own tile
  ASSERT_EQ(y, 20);
  const size_t earlierDraws = NullBackend::BufferDraws().size();
  RenderFloors();
  const std::vector<NullBackend::BufferDraw> draws(NullBackend::BufferDraws().begin() + earlierDraws,
                                                   NullBackend::BufferDraws().end());

  // Every floor number's run holds exactly the window's cells of that
  // number on the new map, and is drawn with that number's texture.
  const std::vector<int> tiles = WindowFloorTiles();
  EXPECT_GT(tiles[GetParam().floor], 0);
  EXPECT_EQ(tiles[3], 0);
  size_t drawn = 0;
  for (int n = 0; n < 600; ++n) {
    ASSERT_EQ(FloorRendererPtr->vertexCount[n], 6 * tiles[n]) << "floor " << n;
    for (int tile = 0; tile < tiles[n]; ++tile) {
      const FloorVertex corner = FloorVertexAt(FloorRendererPtr->firstVertex[n] + 6 * tile);
      const int cx = static_cast<int>(std::lround(corner.position[0] + 0.5f));
      const int cy = static_cast<int>(std::lround(corner.position[1] + 0.5f));
      ASSERT_EQ(GetMapFloor(cx, cy), n) << "tile at " << cx << "," << cy;
    }
    if (tiles[n] == 0) continue;
    ASSERT_LT(drawn, draws.size());
    EXPECT_EQ(draws[drawn].texture0, slots[n].Record()) << "floor " << n;
    ++drawn;
  }
  EXPECT_EQ(draws.size(), drawn);
}

INSTANTIATE_TEST_SUITE_P(WorldRenderer, MapReplacedInPlace, testing::ValuesIn(kMapReplacements),
                         [](const testing::TestParamInfo<MapReplacement>& info) { return info.param.label; });

TEST_F(WorldRendererTest, TheProtocolsFloorLineMarksTheFloorsThroughTheHook) {
  RenderFloors();
  ASSERT_FALSE(FloorRendererPtr->dirty);
  // The floor line of the protocol: position in file coordinates (deskewed
  // onto the grid), then the floor number in base 95.
  int fileX = 0, fileY = 0;
  Reskew(22, 21, &fileX, &fileY);
  // The program's own map effects, with the renderer's hook (other tests
  // leave effects of their own behind).
  WorldEffects effects = GetWorldEffects();
  ASSERT_EQ(effects.markFloorDirtyNear, &MarkFloorDirtyNear);
  effects.deskew = Deskew;
  effects.setMapFloor = SetMapFloor;
  const WorldEffects previous = SetWorldEffects(effects);
  ScriptedConnection connection;
  ResetGameProtocol();
  SetServerConnection(&connection);
  connection.batches = {"Welcome END\n", "&&&&&&&&&&&&&\n",
                        "1" + EncodeBase95(fileX, true) + EncodeBase95(fileY, true) + EncodeBase95(4, true) + "\n"};
  for (int i = 0; i < 3; ++i) PollGameServer();
  SetWorldEffects(previous);
  SetServerConnection(nullptr);
  ResetGameProtocol();
  DrainMessages();
  EXPECT_EQ(GetMapFloor(22, 21), 4);
  EXPECT_TRUE(FloorRendererPtr->dirty);
}

TEST_F(WorldRendererTest, AFailedLockDrawsNothingAndTriesAgainNextFrame) {
  SetFloorTextures({PlainTexture(1)});
  SetMapFloor(20, 20, 0);
  NullBackend::Scripted().lockVertexBufferResult = false;
  EXPECT_EQ(CallsOf(RenderFloors), "SetCullMode(2)\nVertexBufferLock(1)\n");
  EXPECT_TRUE(FloorRendererPtr->dirty);
  EXPECT_TRUE(NullBackend::BufferDraws().empty());
  NullBackend::Scripted().lockVertexBufferResult = true;
  RenderFloors();
  ASSERT_EQ(NullBackend::BufferDraws().size(), 1u);
  EXPECT_EQ(NullBackend::BufferDraws()[0].call, "RenderTris(2,0)");
  EXPECT_FLOAT_EQ(FloorVertexAt(0).position[0], 19.5f);
}

TEST_F(WorldTest, WithoutAFloorBufferThereAreNoFloors) {
  ShutdownRenderer();
  NullBackend::Scripted().createVertexBufferResult = false;
  ASSERT_TRUE(InitRenderer());
  NullBackend::Scripted().createVertexBufferResult = true;
  LoadBlankMap(10, 10, 0);
  SetFloorTextures({PlainTexture(1)});
  SetViewPosition(20, 20);
  NullBackend::ClearCalls();
  LogTail errors;
  RenderWorld();
  EXPECT_TRUE(NullBackend::BufferDraws().empty());
  EXPECT_EQ(NullBackend::CallText().find("VertexBufferLock"), std::string::npos);
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(WorldRendererTest, FloorSlotsTakeTheListUpToTheirNumber) {
  std::vector<G::Texture> many;
  for (int i = 0; i < 605; ++i) many.push_back(PlainTexture(static_cast<unsigned>(i)));
  SetFloorTextures(many);
  ASSERT_EQ(FilledFloorSlots(), 600u);
  EXPECT_EQ(FloorSlotRecords()[599], many[599].Record());
  // Shared, not copied.
  EXPECT_EQ(many[0].Record()->refCount, 2);
  EXPECT_EQ(many[600].Record()->refCount, 1);

  // A shorter list empties the slots above it.
  SetFloorTextures({many[7], many[8]});
  EXPECT_EQ(FilledFloorSlots(), 2u);
  EXPECT_EQ(FloorSlotRecords()[0], many[7].Record());
  EXPECT_EQ(FloorSlotRecords()[2], nullptr);
  EXPECT_EQ(many[0].Record()->refCount, 1);
}

// ---- Walls -----------------------------------------------------------------------

TEST_F(WorldRendererTest, WallsStandOnTheMarkedEdges) {
  SetWallXEdge(21, 22, 1);    // along x = 20.5
  SetWallYEdge(23, 24, -3);   // along y = 23.5 (any non-zero byte)
  SetWallXEdge(35, 20, 1);    // outside the window: x up to 34
  SetWallYEdge(20, 4, 1);     // outside: y from 5
  SetWallXEdge(5, 34, 1);     // the window's corner cell
  EXPECT_EQ(CallsOf(RenderWalls), "SetCullMode(2)\nTexture::Set(0)\nSetViewMatrix\nIMBegin(2)\nIMEnd\n");
  const NullBackend::DrawBlock& block = LastBlock();
  EXPECT_EQ(block.texture0, WallRendererPtr->texture.Record());
  ASSERT_EQ(block.vertices.size(), 18u);
  // Row by row: (21, 22), (23, 24), (5, 34).
  ExpectVertex(block.vertices[0], 20.5f, 21.5f, 0, 0, 0, "x edge");
  ExpectVertex(block.vertices[1], 20.5f, 22.5f, 0, 1, 0, "x edge");
  ExpectVertex(block.vertices[2], 20.5f, 21.5f, 1, 0, 1, "x edge");
  ExpectVertex(block.vertices[3], 20.5f, 21.5f, 1, 0, 1, "x edge");
  ExpectVertex(block.vertices[4], 20.5f, 22.5f, 0, 1, 0, "x edge");
  ExpectVertex(block.vertices[5], 20.5f, 22.5f, 1, 1, 1, "x edge");
  ExpectVertex(block.vertices[6], 22.5f, 23.5f, 0, 0, 0, "y edge");
  ExpectVertex(block.vertices[7], 23.5f, 23.5f, 0, 1, 0, "y edge");
  ExpectVertex(block.vertices[8], 22.5f, 23.5f, 1, 0, 1, "y edge");
  ExpectVertex(block.vertices[9], 22.5f, 23.5f, 1, 0, 1, "y edge");
  ExpectVertex(block.vertices[10], 23.5f, 23.5f, 0, 1, 0, "y edge");
  ExpectVertex(block.vertices[11], 23.5f, 23.5f, 1, 1, 1, "y edge");
  ExpectVertex(block.vertices[12], 4.5f, 33.5f, 0, 0, 0, "corner");
  for (const G::IMVertex& v : block.vertices) {
    EXPECT_EQ(v.color, 0xFFFFFFFFu);
    EXPECT_EQ(v.normal[2], 1);
  }
  // A cell with both edges gives both walls, x edge first.
  SetWallYEdge(21, 22, 1);
  RenderWalls();
  ASSERT_EQ(LastBlock().vertices.size(), 24u);
  ExpectVertex(LastBlock().vertices[6], 20.5f, 21.5f, 0, 0, 0, "second wall of the cell");
  ExpectVertex(LastBlock().vertices[7], 21.5f, 21.5f, 0, 1, 0, "second wall of the cell");
}

TEST_F(WorldRendererTest, MissingImagesGivePlainWallsAndRingsWithoutComplaint) {
  WallRendererPtr->texture.SRFree();
  DreamTexture->SRFree();
  AddPortal(PortalRecord{20, 21, "Ring", "Lost"});
  SetWallXEdge(20, 20, 1);
  LogTail errors;
  NullBackend::ClearDrawnBlocks();
  RenderWorld();
  EXPECT_EQ(errors.Text(), "");
  const std::vector<NullBackend::DrawBlock>& blocks = NullBackend::DrawnBlocks();
  ASSERT_GE(blocks.size(), 4u);
  EXPECT_EQ(blocks[0].vertices.size(), 6u);  // the wall
  EXPECT_EQ(blocks[0].texture0, nullptr);
  EXPECT_EQ(blocks[3].vertices.size(), 60u);  // the ring
  EXPECT_EQ(blocks[3].texture0, nullptr);
}

// ---- Avatars ---------------------------------------------------------------------

AvatarRecord Avatar(int x, int y, int direction, uint8_t tipCode = 1, uint8_t baseCode = 2) {
  AvatarRecord a;
  a.colorCode[5] = tipCode;
  a.colorCode[0] = baseCode;
  a.direction = direction;
  a.x = x;
  a.y = y;
  return a;
}

class AvatarTest : public WorldRendererTest {
 protected:
  void SetUp() override {
    WorldRendererTest::SetUp();
    for (int i = 0; i < kPartTableSize; ++i) PartColorTables[kPartVest][i] = PaletteColor{0, 0, 0, 0};
    PartColorTables[kPartVest][0] = PaletteColor{0, 0x11, 0x22, 0x33};
    PartColorTables[kPartVest][1] = PaletteColor{0, 0xFF, 0x80, 0x00};
    PartColorTables[kPartVest][2] = PaletteColor{0, 0x00, 0x40, 0xC0};
    PartColorTables[kPartVest][63] = PaletteColor{0, 0x63, 0x63, 0x63};
    // Other tables are not read for the arrows.
    PartColorTables[kPartPants][1] = PaletteColor{0, 0xAA, 0xAA, 0xAA};
  }
  void TearDown() override {
    for (auto& table : PartColorTables)
      for (PaletteColor& c : table) c = PaletteColor{0, 0, 0, 0};
    WorldRendererTest::TearDown();
  }
};

TEST_F(AvatarTest, ArrowsPointTheirWayInNineLayers) {
  struct Case {
    int direction;
    float tip[2], base1[2], base2[2];
    float baseUv1[2], baseUv2[2];
  };
  const float h = 0.2f;
  const Case cases[] = {
      {0, {0, -h}, {h, h}, {-h, h}, {1, 1}, {0, 1}},    // toward -y
      {1, {-h, 0}, {h, -h}, {h, h}, {1, 1}, {0, 1}},    // toward -x
      {2, {0, h}, {-h, -h}, {h, -h}, {0, 1}, {1, 1}},   // toward +y
      {3, {h, 0}, {-h, h}, {-h, -h}, {0, 1}, {1, 1}},   // toward +x
      {-7, {-h, 0}, {h, -h}, {h, h}, {1, 1}, {0, 1}},   // anything else: as 1
  };
  for (const Case& c : cases) {
    ClearAvatars();
    SetAvatar(-1, -1, Avatar(22, 18, c.direction));
    EXPECT_EQ(CallsOf(RenderCharacters),
              "SetWorldMatrix\nSetRenderState(2,1)\nUnsetTexture(0)\nSetViewMatrix\nIMBegin(2)\nIMEnd\n");
    const NullBackend::DrawBlock& block = LastBlock();
    ASSERT_EQ(block.vertices.size(), 27u) << c.direction;
    EXPECT_EQ(block.texture0, nullptr);
    float z = 0.1f;
    for (int layer = 0; layer < 9; ++layer, z += 0.1f) {
      const G::IMVertex* v = &block.vertices[3 * layer];
      const std::string what = "direction " + std::to_string(c.direction) + " layer " + std::to_string(layer);
      ExpectVertex(v[0], 22 + c.tip[0], 18 + c.tip[1], z, 0.5f, 0, what);
      ExpectVertex(v[1], 22 + c.base1[0], 18 + c.base1[1], z, c.baseUv1[0], c.baseUv1[1], what);
      ExpectVertex(v[2], 22 + c.base2[0], 18 + c.base2[1], z, c.baseUv2[0], c.baseUv2[1], what);
      EXPECT_EQ(v[0].normal[2], 1) << what;
    }
    EXPECT_NEAR(block.vertices[26].position[2], 0.9f, 1e-5f);
  }
  // Blending stays on.
  EXPECT_TRUE(G::GetRenderState(G::kStateAlphaBlend));
}

TEST_F(AvatarTest, TipAndBaseWearTheVestColoursOfTheirCodeDigits) {
  struct Case {
    uint8_t tipCode, baseCode;
    unsigned tip, base;
  };
  const Case cases[] = {
      {1, 2, 0xFFFF8000u, 0x7F0040C0u},
      {63, 0, 0xFF636363u, 0x7F112233u},
      // Digits beyond the 64-entry table (64..94, or any byte of a damaged
      // code, 200 being negative as a signed byte) wear its first colour.
      {64, 94, 0xFF112233u, 0x7F112233u},
      {200, 255, 0xFF112233u, 0x7F112233u},
  };
  for (const Case& c : cases) {
    ClearAvatars();
    SetAvatar(-1, -1, Avatar(20, 20, 0, c.tipCode, c.baseCode));
    RenderCharacters();
    const NullBackend::DrawBlock& block = LastBlock();
    ASSERT_EQ(block.vertices.size(), 27u);
    for (int i = 0; i < 27; ++i)
      EXPECT_EQ(block.vertices[i].color, i % 3 == 0 ? c.tip : c.base) << int(c.tipCode) << " vertex " << i;
  }
}

TEST_F(AvatarTest, OnlyAvatarsWithinFifteenTilesAreDrawn) {
  const int in[][2] = {{35, 20}, {5, 5}, {20, 35}};
  const int out[][2] = {{36, 20}, {4, 20}, {20, 36}, {-2000000000, 20}};
  for (const auto& p : in) SetAvatar(-1, -1, Avatar(p[0], p[1], 2));
  for (const auto& p : out) SetAvatar(-1, -1, Avatar(p[0], p[1], 2));
  RenderCharacters();
  const NullBackend::DrawBlock& block = LastBlock();
  ASSERT_EQ(block.vertices.size(), 3u * 27u);
  std::vector<std::pair<float, float>> drawn;
  for (int a = 0; a < 3; ++a) drawn.emplace_back(block.vertices[27 * a].position[0], block.vertices[27 * a].position[1] - 0.2f);
  std::sort(drawn.begin(), drawn.end());
  EXPECT_EQ(drawn, (std::vector<std::pair<float, float>>{{5, 5}, {20, 35}, {35, 20}}));
}

// ---- Portals ---------------------------------------------------------------------

TEST_F(WorldRendererTest, NoPortalsNoPortalCalls) {
  NullBackend::ClearCalls();
  RenderPortals();
  EXPECT_EQ(NullBackend::CallText(), "");
}

TEST_F(WorldRendererTest, PortalsAreTexturedRingsWithinFifteenTiles) {
  AddPortal(PortalRecord{24, 17, "a", "b"});
  AddPortal(PortalRecord{36, 20, "far", "away"});  // 16 tiles: not drawn
  AddPortal(PortalRecord{20, 5, "z", "y"});        // 15 tiles: drawn
  const std::string calls = CallsOf(RenderPortals);
  const std::string rings =
      "SetWorldMatrix\nTexture::Set(0)\nSetRenderState(2,1)\nSetCullMode(1)\nSetRenderState(1,0)\nSetViewMatrix\n"
      "IMBegin(2)\nIMEnd\nSetRenderState(1,1)\nSetCullMode(2)\n";
  ASSERT_EQ(calls.substr(0, rings.size()), rings);
  // Then one label per drawn portal, each in its own viewport and camera.
  size_t labels = 0;
  for (size_t at = rings.size(); (at = calls.find("SetViewport(0,0,800,600)\nSetProjectionMatrix\nSetViewMatrix\n", at)) !=
                                 std::string::npos;
       ++at)
    ++labels;
  EXPECT_EQ(labels, 2u);

  const NullBackend::DrawBlock& ring = NullBackend::DrawnBlocks().front();
  EXPECT_EQ(ring.texture0, DreamTexture->Record());
  EXPECT_EQ(ring.cullMode, G::kCullClockwise);
  ASSERT_EQ(ring.vertices.size(), 2u * 60u);
  // Ten segments round a circle of radius 0.45, two units high; the image
  // wraps twice round the ring.
  const float pi = 3.1415927f;
  for (int i = 0; i < 10; ++i) {
    const float a0 = i * 6.2831855f * 0.1f, a1 = (i + 1) * 6.2831855f * 0.1f;
    const float x0 = 24 + 0.45f * std::sin(a0), y0 = 17 + 0.45f * std::cos(a0);
    const float x1 = 24 + 0.45f * std::sin(a1), y1 = 17 + 0.45f * std::cos(a1);
    const G::IMVertex* v = &ring.vertices[6 * i];
    const std::string what = "segment " + std::to_string(i);
    ExpectVertex(v[0], x0, y0, 0, a0 / pi, 1, what);
    ExpectVertex(v[1], x1, y1, 0, a1 / pi, 1, what);
    ExpectVertex(v[2], x0, y0, 2, a0 / pi, 0.05f, what);
    ExpectVertex(v[3], x1, y1, 0, a1 / pi, 1, what);
    ExpectVertex(v[4], x0, y0, 2, a0 / pi, 0.05f, what);
    ExpectVertex(v[5], x1, y1, 2, a1 / pi, 0.05f, what);
    EXPECT_EQ(v[0].color, 0xFFFFFFFFu);
  }
  EXPECT_FLOAT_EQ(ring.vertices[60].position[1], 5 + 0.45f);  // the second ring, (20, 5)
  // Depth writes are back on for what follows.
  EXPECT_TRUE(G::GetRenderState(G::kStateDepthWrite));
}

TEST_F(WorldRendererTest, LabelsAreCentredOverTheirRings) {
  struct Case {
    std::string name, label;
    std::string text;  // as shown, the label from position grey
    int grey;
  };
  const Case cases[] = {
      {"ab", "cd|efg", "  ab\ncd efg", 5},      // the shorter name padded to the middle
      {"Sun|Gate", "The", "Sun Gate\n  The", 9},  // a label of 3 under a name of 8: (8 - 3) / 2 spaces
      {"abcdef", "xyz", "abcdef\n xyz", 7},
      {"", "", "\n", 1},
  };
  for (const Case& c : cases) {
    ClearPortals();
    AddPortal(PortalRecord{18, 23, c.name, c.label});
    RenderPortals();
    const G::Text& text = *PortalLabelTextObject;
    EXPECT_EQ(text.GetString(), c.text) << c.name;
    ASSERT_EQ(text.GetColorChanges().size(), 2u) << c.name;
    EXPECT_EQ(text.GetColorChanges()[0].position, 0);
    EXPECT_EQ(text.GetColorChanges()[0].color, 0xFFFFFFFFu);
    EXPECT_EQ(text.GetColorChanges()[1].position, c.grey) << c.name;
    EXPECT_EQ(text.GetColorChanges()[1].color, 0xFFC8C8C8u);

    // The longest line is centred on where the point 1.5 above the portal
    // lands on the screen: half the default advance (4) per character.
    SetViewportPerspective(0, 0, 800, 600, 1, 100);
    WorldCameraObject.Apply();
    Vector3 screen;
    ASSERT_TRUE(G::WorldToScreen(screen, Vector3(18, 23, 1.5f)));
    const float longest = static_cast<float>(std::max(c.name.size(), c.label.size()));
    EXPECT_FLOAT_EQ(text.GetX(), screen.x - 4 * longest) << c.name;
    EXPECT_FLOAT_EQ(text.GetY(), screen.y) << c.name;
  }
  // The last label is drawn in 2D over the whole window: the 2D switch, then
  // the text's triangles.
  const std::vector<std::string>& calls = NullBackend::Calls();
  const auto draw = std::find_if(calls.rbegin(), calls.rend(),
                                 [](const std::string& call) { return call.rfind("RenderTris", 0) == 0; });
  ASSERT_NE(draw, calls.rend());
  const auto twoD = std::find(draw, calls.rend(), "SetViewport(0,0,800,600)");
  ASSERT_NE(twoD, calls.rend());
  ASSERT_GE(calls.rend() - twoD, 4);
  EXPECT_EQ((std::vector<std::string>{*(twoD + 3), *(twoD + 2), *(twoD + 1)}),
            (std::vector<std::string>{"SetWorldMatrix", "SetViewMatrix", "SetProjectionMatrix"}));
  EXPECT_EQ(PortalLabelText("|a||b|"), " a  b ");
}

// ---- The update ------------------------------------------------------------------

TEST_F(WorldRendererTest, TheUpdateFollowsTheOwnTile) {
  SetViewPosition(31, 12);
  EXPECT_EQ(ViewCentre.x, 20);
  UpdateRenderer(0.016f);
  EXPECT_EQ(ViewCentre.x, 31);
  EXPECT_EQ(ViewCentre.y, 12);
  // The look-at glides there in doubled time: 13.6 tiles away its speed is
  // 27.2 a second, so 0.016 s moves it 0.8705 along (11, -8).
  EXPECT_NEAR(WorldCameraObject.GetLookAt().x, 20.704f, 1e-4f);
  EXPECT_NEAR(WorldCameraObject.GetLookAt().y, 19.488f, 1e-4f);
  SetSelectedTile(4, -9);
  EXPECT_EQ(SelectedTile.x, 4);
  EXPECT_EQ(SelectedTile.y, -9);
}

}  // namespace
