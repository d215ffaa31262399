// Fuzz target: player files.
#include "FuzzSupport.h"
#include "game/PlayerFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  fuzz::WriteBytes("fuzz.ini", data, size);
  PlayerInfo info;
  if (LoadPlayerIni("fuzz.ini", info)) {
    // What goes on the wire as '0' + digit must be a digit.
    if (info.Spec1 < 0 || info.Spec1 > 9 || info.Spec2 < 0 || info.Spec2 > 9) __builtin_trap();
  }
  return 0;
}
