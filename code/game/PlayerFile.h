// Player files: the service's character files ("*.ini" in the working
// folder), with the name, password, colours, description and spec characters.
#pragma once
#include <string>

#include "VantDataManager.h"

// Reads the file into the store's PlayerInfo. True when all five keys were
// found; fields read before a failure stay written.
bool LoadPlayerIni(const std::string& path);
// The same into any record.
bool LoadPlayerIni(const std::string& path, PlayerInfo& info);
