// Helpers of the world renderer's tests.
#include "WorldTestSupport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "FormatTestSupport.h"
#include "game/formats/MapGrid.h"
#include "game/service/VantDataManager.h"
#include "game/world/VantRendererObjects.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

void CopyWorldData() {
  for (const char* folder : {"shaders", "misc", "walls", "items"}) {
    const std::string from = SourceDir() + "/data/" + folder;
    const std::vector<std::string> files = ListFiles(from);
    if (files.empty()) ADD_FAILURE() << "no program data in " << from;
    for (const std::string& name : files)
      CopyFileTo(from + "/" + name, Backslashed(std::string("data/") + folder + "/" + name));
  }
}

void RemoveProgramFile(const std::string& path) { std::remove(path.c_str()); }

void RemoveModelCaches() {
  RemoveFolder("gen");
  std::error_code error;
  std::vector<std::string> flat;
  for (fs::directory_iterator it(".", error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, 4, "gen\\") == 0) flat.push_back(name);
  }
  for (const std::string& name : flat) std::remove(name.c_str());
}

void LoadBlankMap(int fileWidth, int fileHeight, int floor) {
  std::string bytes = "MAP V01.10 Vantrell\nwidth=" + std::to_string(fileWidth) +
                      "\nheight=" + std::to_string(fileHeight) + "\nBODY\n";
  bytes.append(static_cast<size_t>(6) * fileWidth * fileHeight, '\0');
  WriteFileBytes("blank_test.map", bytes);
  ASSERT_TRUE(LoadMap("blank_test.map"));
  int width = 0, height = 0;
  GetMapSize(&width, &height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) SetMapFloor(x, y, floor);
}

std::vector<int> WindowFloorTiles() {
  std::vector<int> tiles(kFloorSlots);
  int centreX = 0, centreY = 0;
  GetViewPosition(centreX, centreY);
  for (int y = centreY - kViewRadius; y < centreY + kViewRadius; ++y)
    for (int x = centreX - kViewRadius; x < centreX + kViewRadius; ++x) {
      const int floor = GetMapFloor(x, y);
      if (floor >= 0 && floor < kFloorSlots) ++tiles[floor];
    }
  return tiles;
}

std::vector<const G::TextureRecord*> FloorSlotRecords() {
  std::vector<const G::TextureRecord*> records;
  if (!FloorRendererPtr) return records;
  for (const G::Texture& slot : FloorRendererPtr->textures) records.push_back(slot.Record());
  return records;
}

size_t FilledFloorSlots() {
  size_t filled = 0;
  for (const G::TextureRecord* record : FloorSlotRecords()) {
    if (!record) break;
    ++filled;
  }
  return filled;
}

G::Texture PlainTexture(unsigned color) {
  G::Texture texture;
  EXPECT_TRUE(texture.Create(4, 4, G::kTextureRGBA, 1, false));
  G::TextureLock lock(&texture, false, true);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) lock.SetPixel(x, y, color);
  return texture;
}

bool DrawnAt(float x, float y, float z, float& screenX, float& screenY) {
  Matrix4 view, projection;
  WorldCameraObject.BuildViewMatrix(view);
  Matrix4::Perspective(projection, 0.7853982f, 0.75f, 1, 100);
  Vector4 v;
  Matrix4::TransformVector(v, view, Vector4(Vector3(x, y, z), 1));
  const float w = v.x * projection[0][3] + v.y * projection[1][3] + v.z * projection[2][3] + projection[3][3];
  if (w <= 0) return false;
  screenX = (v.x * projection[0][0] / w + 1) * 400;
  screenY = (1 - v.y * projection[1][1] / w) * 300;
  return true;
}
