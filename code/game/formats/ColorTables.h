// The palette that floor shapes are coloured with, and the colour tables of
// avatar parts: named colours ("data\colors\colors.txt") and ten part tables
// mapping a colour index 0..63 to one of them.
#pragma once
#include <map>
#include <string>

struct PaletteColor {
  unsigned char zero;  // always 0
  unsigned char r;
  unsigned char g;
  unsigned char b;
};

enum PartTable {
  kPartBadge,
  kPartBracer,
  kPartBoot,
  kPartCape,
  kPartEye,
  kPartFur,
  kPartHair,
  kPartMarking,
  kPartPants,
  kPartVest,
  kPartTableCount
};
constexpr int kPartTableSize = 64;

// Zero until loaded.
extern PaletteColor Palette[256];
extern PaletteColor PartColorTables[kPartTableCount][kPartTableSize];

typedef std::map<std::string, PaletteColor> ColorNames;

// Palette = the last 768 bytes (256 R, G, B triples) of a pcx file. A file
// that cannot be read, or is too short to hold a palette, leaves it as it was.
void LoadPcxPalette(const std::string& path);
// Reads "data\colors\colors.txt" into names (emptied first).
void LoadColorNames(ColorNames& names);
// Reads one part file into table (64 entries); nothing when names is empty.
void LoadColorIndexTable(const std::string& path, const ColorNames& names, PaletteColor* table);
// The colour names, then the ten part tables in their fixed order.
void LoadColorTables();
