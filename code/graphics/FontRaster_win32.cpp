// Glyphs through GDI: the face as an antialiased Windows font, drawn white on
// black into a 32-bit top-down DIB section on a memory device context.
#include <windows.h>

#include <cstring>

#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/Platform.h"
#include "graphics/FontRaster.h"

namespace G {

struct FontRasterizer {
  HDC dc = nullptr;
  HFONT font = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ oldBitmap = nullptr;
  HGDIOBJ oldFont = nullptr;
  unsigned* pixels = nullptr;
  int cell = 0;
};

FontRasterizer* OpenFontRasterizer(const std::string& faceName, int glyphHeight, int cell, FontRasterStatus& status) {
  HFONT font = CreateFontA(glyphHeight - 1, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH,
                           faceName.c_str());
  if (!font) {
    ErrorLog << "Failed to lead windows font \"" << faceName << "\".  -call stack:\n";
    WriteCallStack(ErrorLog, "");
    status = kRasterNoFont;
    return nullptr;
  }
  HDC windowDc = GetDC(g_mainWindow);
  HDC dc = CreateCompatibleDC(windowDc);
  ReleaseDC(g_mainWindow, windowDc);

  // The header and one colour entry (44 bytes); a negative height makes the
  // rows run top to bottom.
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = cell;
  info.bmiHeader.biHeight = -cell;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!bitmap || !bits) {
    // No canvas to draw a glyph into: the record is made without glyphs.
    ErrorLog << "Grr... DIB failed to create in font setup.\n";
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    DeleteObject(font);
    status = kRasterNoCanvas;
    return nullptr;
  }

  FontRasterizer* r = new2(FontRasterizer, FontRasterizer);
  r->dc = dc;
  r->font = font;
  r->bitmap = bitmap;
  r->pixels = static_cast<unsigned*>(bits);
  r->cell = cell;
  r->oldBitmap = SelectObject(dc, bitmap);
  r->oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetBkColor(dc, 0);
  SetTextColor(dc, 0xFFFFFF);
  status = kRasterReady;
  return r;
}

void RenderGlyph(FontRasterizer* r, char glyph, int x, int y, unsigned char* grey, int& minX, int& maxX) {
  const int cell = r->cell;
  std::memset(r->pixels, 0, static_cast<size_t>(cell) * cell * 4);
  TextOutA(r->dc, x, y, &glyph, 1);
  GdiFlush();  // the DIB's bits are current only after GDI has finished
  minX = cell;
  maxX = -1;
  for (int row = 0; row < cell; ++row) {
    for (int column = 0; column < cell; ++column) {
      const unsigned pixel = r->pixels[row * cell + column];
      grey[row * cell + column] = static_cast<unsigned char>(pixel & 0xFF);
      if (pixel == 0) continue;
      if (column < minX) minX = column;
      if (column > maxX) maxX = column;
    }
  }
}

void CloseFontRasterizer(FontRasterizer* r) {
  SelectObject(r->dc, r->oldFont);
  SelectObject(r->dc, r->oldBitmap);
  DeleteObject(r->bitmap);
  DeleteObject(r->font);  // a font handle per record would otherwise leak
  DeleteDC(r->dc);
  delete2(r);
}

}  // namespace G
