// Native stand-in for the platform's glyphs: no font engine here, so each
// printable character is a solid box whose width depends on its code. It
// lets the text code run (and be checked) in the native build.
#include <cstring>

#include "foundation/CMemMan.h"
#include "graphics/FontRaster.h"

namespace G {

struct FontRasterizer {
  int glyphHeight = 0;
  int cell = 0;
};

FontRasterizer* OpenFontRasterizer(const std::string& faceName, int glyphHeight, int cell, FontRasterStatus& status) {
  FontRasterizer* r = new2(FontRasterizer, FontRasterizer);
  r->glyphHeight = glyphHeight;
  r->cell = cell;
  status = kRasterReady;
  return r;
}

void RenderGlyph(FontRasterizer* r, char glyph, int x, int y, unsigned char* grey, int& minX, int& maxX) {
  const int cell = r->cell;
  std::memset(grey, 0, static_cast<size_t>(cell) * cell);
  minX = cell;
  maxX = -1;
  const unsigned char c = static_cast<unsigned char>(glyph);
  if (c <= 32) return;
  const int width = 1 + (r->glyphHeight * (3 + c % 5)) / 10;
  for (int row = y; row < y + r->glyphHeight - 2 && row < cell; ++row) {
    for (int column = x; column < x + width && column < cell; ++column) {
      if (row < 0 || column < 0) continue;
      grey[row * cell + column] = 255;
      if (column < minX) minX = column;
      if (column > maxX) maxX = column;
    }
  }
}

void CloseFontRasterizer(FontRasterizer* r) { delete2(r); }

}  // namespace G
