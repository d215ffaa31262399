// Font records: glyph cells rasterised once per (glyph height, face name,
// fixed-width flag) into one RGBA texture, with each glyph's width.
#include "graphics/Font.h"

#include <cstring>
#include <vector>

#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/FontRaster.h"

namespace G {

unsigned g_fontGeneration = 0;

namespace {

bool s_releaseRegistered = false;

// The cell edge for a requested size: the power of 2 at or below
// size x 1.5 (+ 0.1), kept within 16..64.
int CellFor(float size) {
  float scaled = size * 1.5f + 0.1f;
  if (scaled > 65536.0f) scaled = 65536.0f;
  const int bit = HighestSetBit(static_cast<unsigned>(scaled));
  int cell = bit < 0 ? 1 : 1 << bit;
  if (cell > 64) cell = 64;
  if (cell < 16) cell = 16;
  return cell;
}

// Measures and places every glyph of codes 0..255; writes their cells into
// the texture when its bits are given (white, coverage in alpha).
void Rasterize(FontRasterizer* rasterizer, int cell, bool fixed, unsigned char* bits, int pitch, int bitsPerPixel,
               int (&widths)[256]) {
  std::vector<unsigned char> grey(static_cast<size_t>(cell) * cell);
  for (int c = 0; c < 256; ++c) {
    const char glyph = c <= 32 ? ' ' : static_cast<char>(c);
    int minX = cell, maxX = -1;
    RenderGlyph(rasterizer, glyph, 1, 1, grey.data(), minX, maxX);
    if (c == 32)
      widths[c] = static_cast<int>(cell * 0.3f);
    else
      widths[c] = maxX < 0 ? 0 : maxX - minX + 2;
    // Fixed width centres the ink in the cell; otherwise the leftmost ink
    // goes to column 1.
    const int offset = fixed ? ((cell - 1 - maxX) - minX) / 2 : 1 - minX;
    int ignoredMin, ignoredMax;
    RenderGlyph(rasterizer, glyph, offset + 1, 1, grey.data(), ignoredMin, ignoredMax);
    if (!bits) continue;
    const int left = (c % 16) * cell, top = (c / 16) * cell;
    for (int y = 0; y < cell; ++y) {
      unsigned char* row = bits + static_cast<ptrdiff_t>(top + y) * pitch;
      for (int x = 0; x < cell; ++x) {
        const unsigned g = grey[y * cell + x];
        if (bitsPerPixel == 32) {
          const unsigned texel = 0xFFFFFFu | (g << 24);
          std::memcpy(row + (left + x) * 4, &texel, 4);
        } else {
          const unsigned short texel = static_cast<unsigned short>(0x0FFFu | ((g >> 4) << 12));
          std::memcpy(row + (left + x) * 2, &texel, 2);
        }
      }
    }
  }
}

}  // namespace

FontTexture* BuildFontTexture(const std::string& faceName, float size, bool fixedWidth) {
  if (!(size >= 2.0f)) {
    ErrorLog << "Requested font size too small.  Must be at least 2.\n";
    WriteCallStack(ErrorLog, "  call stack:\n");
    return nullptr;
  }
  if (faceName.size() >= 32) {
    ErrorLog << "Font name too long.  Can be 31 chars max.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return nullptr;
  }
  const std::string face = faceName.empty() ? "Ariel" : faceName;
  if (!s_releaseRegistered) {
    s_releaseRegistered = true;
    RegisterShutdownCallback(&ReleaseFontTextures);
  }

  const int cell = CellFor(size);
  int glyphHeight = size < 16.0f ? static_cast<int>(size) : cell;
  if (glyphHeight < 5) glyphHeight = 5;
  for (FontTexture& record : g_fontTextures)
    if (record.glyphHeight == glyphHeight && record.faceName == face && record.fixedWidth == fixedWidth) return &record;

  FontTexture record;
  if (!record.texture.Create(16 * cell, 16 * cell, kTextureRGBA, 1, false)) {
    ErrorLog << "Font texture creation failed.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return nullptr;
  }
  record.texture.SetWrap(false, false, true);
  record.texture.SetFilter(size < 32.0f ? kFilterPoint : kFilterAnisotropic);

  FontRasterStatus status = kRasterReady;
  FontRasterizer* rasterizer = OpenFontRasterizer(face, glyphHeight, cell, status);
  if (status == kRasterNoFont) return nullptr;
  if (rasterizer) {
    TextureLock lock(&record.texture, false, true);
    unsigned char* bits = nullptr;
    int pitch = 0, bitsPerPixel = 0;
    if (!lock.GetInfo(reinterpret_cast<void**>(&bits), &pitch, nullptr, &bitsPerPixel, nullptr, nullptr, nullptr)) {
      ErrorLog << "Failed to lock font texture.\n";
      bits = nullptr;
    } else if (bitsPerPixel != 16 && bitsPerPixel != 32) {
      ErrorLog << "Texture not either 16 or 32 bpp... failing font setup.\n";
      bits = nullptr;
    }
    // Without texture memory the glyphs are still measured, so the record's
    // text keeps its spacing.
    Rasterize(rasterizer, cell, fixedWidth, bits, pitch, bitsPerPixel, record.widths);
    lock.Unlock();
    CloseFontRasterizer(rasterizer);
  }
  record.faceName = face;
  record.glyphHeight = glyphHeight;
  record.fixedWidth = fixedWidth;
  g_fontTextures.push_front(record);
  return &g_fontTextures.front();
}

void ReleaseFontTextures() {
  StatLog << "Font textures generated: " << static_cast<int>(g_fontTextures.size()) << "\n\n";
  for (FontTexture& record : g_fontTextures) record.texture.SRFree();
  g_fontTextures.clear();
  ++g_fontGeneration;
}

}  // namespace G
