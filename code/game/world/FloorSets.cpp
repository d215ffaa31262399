// Loading a map's floor set: shape file, floor textures, the renderer's
// floor slots. Apart from the map grid so that the grid needs no graphics.
#include "game/world/FloorSets.h"

#include "foundation/LogFile.h"
#include "game/world/FloorTextures.h"
#include "game/world/VantRenderer.h"

bool LoadFloorSet(const std::string& path) {
  ShapeSet set;
  if (!LoadShapeFile(set, path)) return false;
  std::vector<G::Texture> textures;
  if (!GenerateFloorTextures(set, textures)) return false;
  SetFloorTextures(textures);
  return true;
}

void LoadPatchFloors(const std::string& folder) {
  if (LoadFloorSet(folder + "floors.fs2")) return;
  if (LoadFloorSet(folder + "floors.fsh")) return;
  ErrorLog << "Error while trying to loading the floor for patch " << folder << ".  Will use default floor.\n";
  if (!LoadFloorSet("patches\\default\\floors.fsh")) ErrorLog << "Hrm... default floor failed to load... badness...\n";
}
