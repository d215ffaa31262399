// What the format readers use from parts of the game client that live
// elsewhere, declared as their owners name them. PlayerInfo and
// GetPlayerInfo belong to the game-state store (VantDataManager): this
// declaration gives way to the store's header when the two meet.
#pragma once
#include <string>

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
