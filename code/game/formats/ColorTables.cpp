// Palettes and colour tables. The text readers check the stream after every
// read, so a token that is not a number ends the file instead of storing a
// made-up entry or looping for ever.
#include "game/formats/ColorTables.h"

#include <cstring>
#include <sstream>

#include "foundation/LogFile.h"
#include "foundation/StartupOrder.h"
#include "foundation/Utility.h"
#include "game/formats/LocalFiles.h"

// Plain zero-initialised arrays: nothing to construct, so they are usable
// before any constructor runs. The marks record their place in the order.
QV_STARTUP_MARK(kRowPalette, "Palette");
PaletteColor Palette[256];
QV_STARTUP_MARK(kRowPartColorTables, "PartColorTables");
PaletteColor PartColorTables[kPartTableCount][kPartTableSize];

namespace {

const char kColorNamesPath[] = "data\\colors\\colors.txt";
const char* const kPartTablePaths[kPartTableCount] = {
    "data\\colors\\badge.txt", "data\\colors\\bracer.txt",  "data\\colors\\boot.txt",
    "data\\colors\\cape.txt",  "data\\colors\\eye.txt",     "data\\colors\\fur.txt",
    "data\\colors\\hair.txt",  "data\\colors\\marking.txt", "data\\colors\\pants.txt",
    "data\\colors\\vest.txt",
};

}  // namespace

void LoadPcxPalette(const std::string& path) {
  const long length = GetFileLength(path);
  FILE* f = OpenLocalFile(path, "rb");
  if (!f) {
    ErrorLog << "Failed to open file to read pcx palette (" << path << ")\n";
    return;
  }
  // A shorter file would have the read start before the file: the palette
  // stays as it was instead.
  unsigned char rgb[768];
  bool ok = length >= 768 && std::fseek(f, length - 768, SEEK_SET) == 0 &&
            std::fread(rgb, 1, sizeof rgb, f) == sizeof rgb;
  std::fclose(f);
  if (!ok) {
    ErrorLog << "Palette file " << path << " is too short to hold a palette (" << std::to_string(length)
             << " bytes); the palette is unchanged.\n";
    return;
  }
  for (int i = 0; i < 256; ++i) {
    Palette[i].r = rgb[3 * i];
    Palette[i].g = rgb[3 * i + 1];
    Palette[i].b = rgb[3 * i + 2];
  }
}

void LoadColorNames(ColorNames& names) {
  names.clear();
  std::string text;
  if (!ReadTextModeFile(kColorNamesPath, &text)) {
    ErrorLog << "Failed to open " << kColorNamesPath << " to load color pairs.\n";
    return;
  }
  std::istringstream in(text);
  std::string lastToken;
  while (!in.eof()) {
    std::string name;
    if (!(in >> name)) break;
    lastToken = name;
    if (name == "End") break;
    int rgb[3];
    bool complete = true;
    for (int& value : rgb) {
      in >> value;
      // A group cut off by the end of the file, or a value that is not a
      // number, is not stored.
      if (in.fail() || in.eof()) {
        complete = false;
        break;
      }
    }
    if (!complete) break;
    names.emplace(name, PaletteColor{0, static_cast<unsigned char>(rgb[0]), static_cast<unsigned char>(rgb[1]),
                                     static_cast<unsigned char>(rgb[2])});
  }
  if (lastToken != "End") ErrorLog << "Error in file " << kColorNamesPath << ", some colors may be wrong...\n";
}

void LoadColorIndexTable(const std::string& path, const ColorNames& names, PaletteColor* table) {
  if (names.empty()) return;
  std::string text;
  if (!ReadTextModeFile(path, &text)) {
    ErrorLog << "Failed to open " << path << " to load color indices from.\n";
    return;
  }
  std::memset(table, 0, sizeof(PaletteColor) * kPartTableSize);
  std::istringstream in(text);
  while (true) {
    int index;
    if (!(in >> index)) break;  // the end, or not a number
    if (index < 0) return;      // the table's proper end
    std::string name;
    if (!(in >> name)) break;
    if (index >= kPartTableSize) {
      ErrorLog << "Color index too high (" << index << ") in file " << path << "...  ignoring it.\n";
    } else {
      ColorNames::const_iterator found = names.find(name);
      if (found != names.end()) {
        table[index] = found->second;
      } else {
        ErrorLog << "No such color (" << name << "), referanced in file " << path << "\n";
      }
    }
    if (in.eof()) break;
  }
  ErrorLog << "Error in file " << path << "\n";
}

void LoadColorTables() {
  ColorNames names;
  LoadColorNames(names);
  for (int i = 0; i < kPartTableCount; ++i) LoadColorIndexTable(kPartTablePaths[i], names, PartColorTables[i]);
}
