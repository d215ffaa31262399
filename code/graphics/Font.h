// Font records: a Windows font rasterised once into a texture of 16 x 16
// glyph cells, shared by every text of the same glyph height, face name and
// fixed-width flag, and kept until graphics shut-down.
#pragma once
#include <list>
#include <string>

#include "graphics/Texture.h"

namespace G {

struct FontTexture {
  Texture texture;        // 16 x 16 cells, RGBA, white with coverage in alpha
  std::string faceName;   // after the empty-name default
  int glyphHeight = 0;    // pixels
  bool fixedWidth = false;
  int widths[256] = {};   // each character code's glyph width in pixels
};

// Newest first; its size is the count of font textures made.
extern std::list<FontTexture> g_fontTextures;
// Counts the releases of every record, so a text holding a record pointer
// can tell it was released.
extern unsigned g_fontGeneration;

// The record for the face, size and flag, made on first demand; null (and
// logged) for a size below 2, a face name of 32 characters or more, or a
// failed texture or font.
FontTexture* BuildFontTexture(const std::string& faceName, float size, bool fixedWidth);
// Writes the count to the statistics log and releases every record; a
// shutdown callback.
void ReleaseFontTextures();

// Deletes the shader every text draws with; the entry point calls it at
// shut-down.
void ReleaseTextShader();

}  // namespace G
