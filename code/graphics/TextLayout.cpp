// Text layout over a font's glyph widths.
#include "graphics/TextLayout.h"

namespace G {

float GlyphAdvance(const GlyphMetrics& metrics, unsigned char c) {
  if (metrics.fixedWidth) return metrics.fixedAdvance * metrics.drawnSize;
  return static_cast<float>(metrics.widths[c]) / static_cast<float>(metrics.glyphHeight) * metrics.drawnSize;
}

bool LayoutTextLine(const std::string& text, const std::vector<ColorChange>& changes, const GlyphMetrics& metrics,
                    float wrapWidth, int start, bool escapes, int& consumed, std::string& line, float& width) {
  const int length = static_cast<int>(text.size());
  line.clear();
  consumed = 0;
  width = 0;
  if (start >= length) return false;

  const int remaining = length - start;
  float x = 0;
  int lastBreak = 0;         // index just past the last space of the line
  size_t lineAtBreak = 0;    // the line string's length at that point
  for (int i = 0; i < remaining; ++i) {
    const int at = start + i;
    const unsigned char ch = static_cast<unsigned char>(text[at]);
    const size_t lineBeforeChar = line.size();
    // Changes are matched by their place in the whole text, so colours on
    // the second and later lines land on the right characters.
    if (escapes) {
      for (const ColorChange& change : changes) {
        if (change.position != at) continue;
        line += '\x01';
        line += static_cast<char>(change.color >> 24);
        line += static_cast<char>(change.color & 0xFF);
        line += static_cast<char>((change.color >> 8) & 0xFF);
        line += static_cast<char>((change.color >> 16) & 0xFF);
      }
    }
    if (ch < 32) {
      if (ch == '\n') {
        consumed = i + 1;
        width = x;
        return i + 1 < remaining;
      }
      continue;  // other control codes are not drawn
    }
    x += GlyphAdvance(metrics, ch);
    if (wrapWidth != 0 && x >= wrapWidth) {
      if (lastBreak >= 1) {
        consumed = lastBreak;
        line.resize(lineAtBreak);
        width = wrapWidth;
        return true;
      }
      if (i > 0) {
        consumed = i;
        line.resize(lineBeforeChar);  // the character's escapes go with it
        width = wrapWidth;
        return true;
      }
      // Not even the line's first glyph fits: it takes a line of its own,
      // or the layout would never get past it.
      line += static_cast<char>(ch);
      consumed = 1;
      width = x;
      return 1 < remaining;
    }
    line += static_cast<char>(ch);
    if (ch == ' ') {
      lastBreak = i + 1;
      lineAtBreak = line.size();
    }
  }
  consumed = remaining;
  width = x;
  return false;
}

void MeasureText(const std::string& text, const GlyphMetrics& metrics, float wrapWidth, float& width,
                 float& height) {
  static const std::vector<ColorChange> kNoChanges;
  width = 0;
  height = 0;
  int start = 0;
  std::string line;
  for (;;) {
    int consumed = 0;
    float lineWidth = 0;
    const bool more = LayoutTextLine(text, kNoChanges, metrics, wrapWidth, start, false, consumed, line, lineWidth);
    start += consumed;
    if (lineWidth > width) width = lineWidth;
    if (more || !line.empty()) height += metrics.drawnSize;
    if (!more) break;
  }
}

int BuildGlyphVertices(const std::string& text, const std::vector<ColorChange>& changes,
                       const GlyphMetrics& metrics, float wrapWidth, float x, float y, GlyphVertex* out,
                       int capacity) {
  const float s = metrics.drawnSize;
  const float cellSize = 1.0f / 16.0f;
  unsigned color = 0xFFDDDDDD;
  float lineY = y + 0.005f;
  int start = 0;
  int count = 0;
  std::string line;
  for (;;) {
    int consumed = 0;
    float lineWidth = 0;
    const bool more = LayoutTextLine(text, changes, metrics, wrapWidth, start, true, consumed, line, lineWidth);
    start += consumed;
    float penX = x + 0.005f;
    for (size_t i = 0; i < line.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(line[i]);
      if (c == 1) {
        if (i + 4 >= line.size()) break;
        const unsigned char a = line[i + 1], b = line[i + 2], g = line[i + 3], r = line[i + 4];
        color = (static_cast<unsigned>(a) << 24) | (static_cast<unsigned>(r) << 16) | (g << 8) | b;
        i += 4;
        continue;
      }
      if (count + 6 > capacity) return count;
      const float cu = (c % 16) * cellSize, cv = (c / 16) * cellSize;
      const GlyphVertex quad[6] = {
          {penX, lineY, color, cu, cv},
          {penX + s, lineY, color, cu + cellSize, cv},
          {penX, lineY + s, color, cu, cv + cellSize},
          {penX, lineY + s, color, cu, cv + cellSize},
          {penX + s, lineY, color, cu + cellSize, cv},
          {penX + s, lineY + s, color, cu + cellSize, cv + cellSize},
      };
      for (const GlyphVertex& v : quad) out[count++] = v;
      penX += GlyphAdvance(metrics, c);
    }
    lineY += s;
    if (!more) break;
  }
  return count;
}

}  // namespace G
