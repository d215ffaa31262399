// A small known world drawn for real by the OpenGL backend (Mesa under Wine)
// with the program's own data: floors, walls, an avatar, items, a portal
// with its label and the tile highlight, read back by pixel where each one
// is, and saved as world.png for a person to look at.
#include <cmath>

#include "game/formats/ColorTables.h"
#include "game/formats/MapGrid.h"
#include "game/service/VantDataManager.h"
#include "game/world/VantRenderer.h"
#include "game/world/VantRendererObjects.h"
#include "GLTestSupport.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Font.h"
#include "graphics/GBMesh.h"
#include "graphics/LoadedImage.h"
#include "ImageFiles.h"
#include "WorldTestSupport.h"

namespace {

const unsigned kSand = 0xFFC8B070u;
const unsigned kRed = 0xFFC03030u;
const unsigned kEdge = 0xFF203060u;

class WorldDrawingTest : public GLTest {
 protected:
  static void SetUpTestSuite() { G::InitImageLoader(); }
  static void TearDownTestSuite() { G::ShutdownImageLoader(); }
  void SetUp() override {
    GLTest::SetUp();
    G::CreateBoneAllocator();
    CopyWorldData();
    RemoveModelCaches();
  }
  void TearDown() override {
    ShutdownRenderer();
    G::ReleaseTextShader();
    G::ClearLoadedModels();
    G::DestroyBoneAllocator();
    ClearAvatars();
    ClearPortals();
    for (auto& table : PartColorTables)
      for (PaletteColor& c : table) c = PaletteColor{0, 0, 0, 0};
    GLTest::TearDown();
  }
};

struct Rgb8 {
  int r, g, b;
};
Rgb8 Channels(unsigned argb) { return {static_cast<int>(argb >> 16 & 0xFF), static_cast<int>(argb >> 8 & 0xFF),
                                       static_cast<int>(argb & 0xFF)}; }

TEST_F(WorldDrawingTest, ASmallWorldDrawnAndReadBack) {
  // The map: sand everywhere, one red tile, a wall along x = 16.5 and one
  // along y = 15.5, a tree, an avatar and a portal around the own tile.
  LoadBlankMap(10, 10, 0);
  SetMapFloor(18, 20, 1);
  for (int y = 16; y <= 21; ++y) SetWallXEdge(17, y, 1);
  for (int x = 17; x <= 21; ++x) SetWallYEdge(x, 16, 1);
  SetMapObject(22, 17, 1);  // a tree in the program's own item list
  SetMapObject(24, 20, 4);  // a crate
  SetMapObject(20, 24, 5);  // the crate with its image swapped
  SetViewPosition(20, 20);
  PartColorTables[kPartVest][1] = PaletteColor{0, 255, 220, 0};
  PartColorTables[kPartVest][2] = PaletteColor{0, 255, 120, 0};
  AvatarRecord avatar;
  avatar.colorCode[5] = 1;
  avatar.colorCode[0] = 2;
  avatar.direction = 2;
  avatar.x = 21;
  avatar.y = 19;
  SetAvatar(-1, -1, avatar);
  AddPortal(PortalRecord{17, 22, "Meadow", "The|Meadow"});

  LogTail errors;
  ASSERT_TRUE(InitRenderer());
  std::vector<G::Texture> floors(162);
  floors[0] = PlainTexture(kSand);
  floors[1] = PlainTexture(kRed);
  floors[161] = PlainTexture(kEdge);
  SetFloorTextures(floors);
  UpdateRenderer(0.016f);
  SetSelectedTile(19, 21);

  ASSERT_TRUE(DXG::BeginFrame(0.016f, true, true));
  G::Clear(0xFF000000u, true, true, false, 0);
  G::SetFullViewport();
  RenderWorld();
  const std::vector<unsigned> frame = ReadPixels(0, 0, 800, 600);
  DXG::EndFrame0();
  std::vector<unsigned> opaque(frame);
  for (unsigned& p : opaque) p |= 0xFF000000u;
  WritePngRgba("world.png", 800, 600, opaque);
  DXG::EndFrame1();
  EXPECT_EQ(errors.Text(), "");

  auto at = [&](float wx, float wy, float wz) {
    float sx = 0, sy = 0;
    EXPECT_TRUE(DrawnAt(wx, wy, wz, sx, sy));
    const int x = static_cast<int>(sx), y = static_cast<int>(sy);
    EXPECT_TRUE(x >= 0 && x < 800 && y >= 0 && y < 600) << wx << "," << wy << "," << wz;
    return Channels(frame[static_cast<size_t>(std::max(0, std::min(599, y))) * 800 + std::max(0, std::min(799, x))]);
  };
  auto near = [](Rgb8 c, unsigned expected, int tolerance) {
    const Rgb8 e = Channels(expected);
    return std::abs(c.r - e.r) <= tolerance && std::abs(c.g - e.g) <= tolerance && std::abs(c.b - e.b) <= tolerance;
  };

  // Floors: each tile shows its floor's texture, as is.
  for (const auto& tile : std::vector<std::pair<int, int>>{{23, 19}, {20, 23}, {18, 18}, {22, 22}}) {
    const Rgb8 c = at(static_cast<float>(tile.first), static_cast<float>(tile.second), 0);
    EXPECT_TRUE(near(c, kSand, 4)) << tile.first << "," << tile.second << ": " << c.r << " " << c.g << " " << c.b;
  }
  const Rgb8 red = at(18, 20, 0);
  EXPECT_TRUE(near(red, kRed, 4)) << red.r << " " << red.g << " " << red.b;

  // Walls: grey stone halfway up, where the floor would be sand.
  for (const Rgb8 c : {at(16.5f, 19.2f, 0.5f), at(19, 15.5f, 0.5f)}) {
    EXPECT_LT(std::abs(c.r - c.g), 24) << c.r << " " << c.g << " " << c.b;
    EXPECT_LT(std::abs(c.g - c.b), 24) << c.r << " " << c.g << " " << c.b;
    EXPECT_GT(c.g, 50);
    EXPECT_LT(c.g, 200);
  }

  // The avatar: its top layer in its vest colours, yellow over orange.
  const Rgb8 arrow = at(21, 19, 0.9f);
  EXPECT_GT(arrow.r, 200) << arrow.r << " " << arrow.g << " " << arrow.b;
  EXPECT_GT(arrow.g, 100);
  EXPECT_LT(arrow.b, 60);

  // The tree: green leaves above its cell.
  const Rgb8 leaves = at(22, 17, 1.0f);
  EXPECT_GT(leaves.g, leaves.r + 30) << leaves.r << " " << leaves.g << " " << leaves.b;
  EXPECT_GT(leaves.g, leaves.b + 30);

  // The crates: wooden boards on top, the swapped image a darker stain (on
  // average: seams and the cross make single pixels darker or lighter).
  auto meanAround = [&](float wx, float wy, float wz) {
    float sx = 0, sy = 0;
    EXPECT_TRUE(DrawnAt(wx, wy, wz, sx, sy));
    Rgb8 sum = {0, 0, 0};
    for (int y = static_cast<int>(sy) - 6; y <= static_cast<int>(sy) + 6; ++y)
      for (int x = static_cast<int>(sx) - 6; x <= static_cast<int>(sx) + 6; ++x) {
        const Rgb8 c = Channels(frame[static_cast<size_t>(y) * 800 + x]);
        sum.r += c.r, sum.g += c.g, sum.b += c.b;
      }
    return Rgb8{sum.r / 169, sum.g / 169, sum.b / 169};
  };
  const Rgb8 crate = meanAround(24, 20, 0.6f), dark = meanAround(20, 24, 0.6f);
  EXPECT_GT(crate.r, crate.g) << crate.r << " " << crate.g << " " << crate.b;
  EXPECT_GT(crate.g, crate.b);
  EXPECT_GT(crate.r, 100);
  EXPECT_LT(dark.r, crate.r - 20) << dark.r << " " << dark.g << " " << dark.b;
  EXPECT_GT(dark.r, dark.b);

  // The highlight darkens the selected tile a little.
  const Rgb8 highlighted = at(19, 21, 0);
  EXPECT_LT(highlighted.r, Channels(kSand).r - 15) << highlighted.r << " " << highlighted.g << " " << highlighted.b;
  EXPECT_GT(highlighted.r, 100);

  // The portal: a violet and cyan ring; its label in white above it.
  float left = 800, right = 0, top = 600, bottom = 0;
  for (int i = 0; i < 16; ++i) {
    const float a = i * 6.2831855f / 16;
    for (float z : {0.0f, 2.0f}) {
      float sx, sy;
      ASSERT_TRUE(DrawnAt(17 + 0.45f * std::sin(a), 22 + 0.45f * std::cos(a), z, sx, sy));
      left = std::min(left, sx), right = std::max(right, sx), top = std::min(top, sy), bottom = std::max(bottom, sy);
    }
  }
  int ring = 0;
  for (int y = static_cast<int>(top); y < static_cast<int>(bottom); ++y)
    for (int x = static_cast<int>(left); x < static_cast<int>(right); ++x) {
      const Rgb8 c = Channels(frame[static_cast<size_t>(y) * 800 + x]);
      ring += c.b > 150 && c.b > c.r + 20 && c.b > c.g + 10;
    }
  EXPECT_GT(ring, 200);
  float labelX, labelY;
  ASSERT_TRUE(DrawnAt(17, 22, 1.5f, labelX, labelY));
  int white = 0;
  for (int y = static_cast<int>(labelY); y < static_cast<int>(labelY) + 40; ++y)
    for (int x = static_cast<int>(labelX) - 40; x < static_cast<int>(labelX) + 40; ++x) {
      const Rgb8 c = Channels(frame[static_cast<size_t>(y) * 800 + x]);
      white += c.r > 220 && c.g > 220 && c.b > 220;
    }
  EXPECT_GT(white, 30);
}

}  // namespace
