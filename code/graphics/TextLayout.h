// Laying out text in a font's glyph cells: line breaking at a wrap width,
// colour changes carried as escapes, bounds and glyph quads. No platform
// code: also built natively.
#pragma once
#include <string>
#include <vector>

namespace G {

// From the character at position (0 = the text's first) on, the packed
// colour 0xAARRGGBB applies.
struct ColorChange {
  int position;
  unsigned color;
};

// One corner of a glyph quad (20 bytes): float2 position, packed colour,
// float2 texture coordinate.
struct GlyphVertex {
  float x, y;
  unsigned color;
  float u, v;
};
static_assert(sizeof(GlyphVertex) == 20, "the glyph vertex format is 20 bytes");

// What the layout needs of a font and a text's size settings.
struct GlyphMetrics {
  const int* widths;   // 256 glyph widths in pixels
  int glyphHeight;     // pixels
  bool fixedWidth;
  float fixedAdvance;  // fraction of the drawn size per glyph, fixed width only
  float drawnSize;     // edge of each glyph quad and height of each line
};

// Pixels the pen moves after the glyph of code c.
float GlyphAdvance(const GlyphMetrics& metrics, unsigned char c);

// Lays out the line that begins at character index start. The line string
// holds the glyph codes to draw and, with escapes, byte 1 and the colour's
// bytes A, B, G, R before each character where a colour change applies.
// Returns true when another line follows (a wrap, or a line feed with text
// after it). A line always consumes at least one character while any is
// left, however narrow the wrap width.
bool LayoutTextLine(const std::string& text, const std::vector<ColorChange>& changes, const GlyphMetrics& metrics,
                    float wrapWidth, int start, bool escapes, int& consumed, std::string& line, float& width);

// The laid-out text's width (its widest line) and height (drawn size per
// line; a last line without glyphs adds nothing).
void MeasureText(const std::string& text, const GlyphMetrics& metrics, float wrapWidth, float& width,
                 float& height);

// Six vertices (two triangles) per glyph, lines from the top-left (x, y),
// starting in colour 0xFFDDDDDD; at most capacity vertices. Returns the
// count written.
int BuildGlyphVertices(const std::string& text, const std::vector<ColorChange>& changes,
                       const GlyphMetrics& metrics, float wrapWidth, float x, float y, GlyphVertex* out,
                       int capacity);

}  // namespace G
