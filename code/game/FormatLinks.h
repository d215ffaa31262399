// What the format readers use from parts of the game client that live
// elsewhere, declared as their owners name them. PlayerInfo and
// GetPlayerInfo belong to the game-state store (VantDataManager), and
// SetFloorTextures to the world renderer (VantRenderer): these declarations
// give way to those headers when the parts meet.
#pragma once
#include <string>
#include <vector>

namespace G {
class Texture;
}

// The chosen character, as read from its player file.
struct PlayerInfo {
  std::string Name;
  std::string Password;
  std::string Colors;
  std::string Desc;
  int Spec1 = 0;
  int Spec2 = 0;
};

// The store's one PlayerInfo record, which the player-file reader fills.
PlayerInfo& GetPlayerInfo();

// The renderer's floor slots: slot i takes texture i of the list (the list
// may be longer than the slots; the rest is not kept).
void SetFloorTextures(const std::vector<G::Texture>& textures);
