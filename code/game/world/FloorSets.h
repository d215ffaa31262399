// Loading a map's floor set: shape file, floor textures, the renderer's
// floor slots. The map grid below knows nothing of textures; the renderer
// hands LoadPatchFloors to the game-server protocol when it starts.
#pragma once
#include <string>

// A floor shape file (".fsh", or ".fs2" over its default set) made into
// floor textures and handed to the renderer's floor slots. A missing or
// empty file fails silently.
bool LoadFloorSet(const std::string& path);
// The floor set of a patch folder (ending in a backslash): its "floors.fs2",
// else its "floors.fsh", else "patches\default\floors.fsh". A map load never
// changes the floors by itself: callers follow LoadMap with this.
void LoadPatchFloors(const std::string& folder);
