// Fuzz target: "data\colors\colors.txt" and a part table. The input is the
// two files separated by the first zero byte.
#include <cstring>
#include <filesystem>

#include "FuzzSupport.h"
#include "game/formats/ColorTables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  static bool ready = std::filesystem::create_directories("data/colors") || true;
  (void)ready;
  const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  size_t namesSize = split ? size_t(split - data) : size;
  fuzz::WriteBytes("data/colors/colors.txt", data, namesSize);
  size_t rest = split ? size - namesSize - 1 : 0;
  fuzz::WriteBytes("data/colors/vest.txt", split ? split + 1 : data, rest);
  ColorNames names;
  LoadColorNames(names);
  PaletteColor table[kPartTableSize];
  LoadColorIndexTable("data\\colors\\vest.txt", names, table);
  return 0;
}
