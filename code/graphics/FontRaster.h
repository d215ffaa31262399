// The platform half of building a font record: drawing one glyph of a face
// into a small canvas and reading its coverage back.
#pragma once
#include <string>

namespace G {

struct FontRasterizer;

enum FontRasterStatus {
  kRasterReady,
  kRasterNoFont,    // the face could not be made (logged): no record
  kRasterNoCanvas,  // the canvas could not be made (logged): a record without glyphs
};

// The face at the glyph height, on a cell x cell canvas; null unless ready.
FontRasterizer* OpenFontRasterizer(const std::string& faceName, int glyphHeight, int cell, FontRasterStatus& status);
// Clears the canvas, draws the one-character string with its top-left at
// (x, y) and copies the coverage (0..255) of each canvas pixel into grey
// (cell x cell, rows top to bottom). minX and maxX: the least and greatest
// inked columns (cell and -1 when nothing is inked).
void RenderGlyph(FontRasterizer* rasterizer, char glyph, int x, int y, unsigned char* grey, int& minX, int& maxX);
void CloseFontRasterizer(FontRasterizer* rasterizer);

}  // namespace G
