// Fuzz target: player files.
#include "FuzzSupport.h"
#include "game/formats/Base95.h"
#include "game/formats/PlayerFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  fuzz::WriteBytes("fuzz.ini", data, size);
  PlayerInfo info;
  if (LoadPlayerIni("fuzz.ini", info)) {
    // The colour line carries each Spec value as one base-95 character: never a
    // control character.
    for (int value : {info.Spec1, info.Spec2}) {
      const unsigned char sent = static_cast<unsigned char>(EncodeBase95(value, false)[0]);
      if (sent < 32 || sent == 127) __builtin_trap();
    }
  }
  return 0;
}
