// Player files: the service's character files ("*.ini" in the working
// folder), with the name, password, colours, description and Spec characters.
#pragma once
#include <string>

// The chosen character, as read from its player file (the game-state store
// keeps the one that counts).
struct PlayerInfo {
  std::string Name;
  std::string Password;
  std::string Colors;
  std::string Desc;
  int Spec1 = 0;  // a character's code minus that of '0'
  int Spec2 = 0;
};

// Reads the file into the record. True when all five keys were found;
// fields read before a failure stay written.
bool LoadPlayerIni(const std::string& path, PlayerInfo& info);
