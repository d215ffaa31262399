// The player-file reader's entry for the store's own record. Apart from the
// reader proper so that programs without the store (the format tests and
// fuzzers) do not need it.
#include "game/formats/PlayerFile.h"
#include "game/service/VantDataManager.h"

bool LoadPlayerIni(const std::string& path) { return LoadPlayerIni(path, GetPlayerInfo()); }
