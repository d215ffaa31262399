// Fuzz target: palettes from pcx files of any length.
#include <cstring>

#include "FuzzSupport.h"
#include "game/formats/ColorTables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  fuzz::WriteBytes("fuzz.pcx", data, size);
  std::memset(Palette, 0, sizeof Palette);
  LoadPcxPalette("fuzz.pcx");
  if (size >= 768) {
    for (int i = 0; i < 256; ++i)
      if (Palette[i].r != data[size - 768 + 3 * i] || Palette[i].zero != 0) __builtin_trap();
  }
  return 0;
}
