// Text layout over glyph widths: wrapping, line feeds, colour escapes,
// bounds and glyph quads. No platform code: these run natively too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/TextLayout.h"

namespace {

using G::ColorChange;
using G::GlyphMetrics;

// Every glyph 10 pixels wide at glyph height 10, except the space (4) and
// 'W' (20); drawn at size 10, so advances equal widths.
struct Font {
  int widths[256];
  Font() {
    for (int& w : widths) w = 10;
    widths[static_cast<int>(' ')] = 4;
    widths[static_cast<int>('W')] = 20;
    for (int c = 0; c < 32; ++c) widths[c] = 0;
  }
  GlyphMetrics Metrics(float drawnSize = 10) const { return GlyphMetrics{widths, 10, false, 0.5f, drawnSize}; }
};

struct Line {
  std::string text;
  float width;
  bool more;
};

std::vector<Line> Lines(const std::string& text, float wrap, const std::vector<ColorChange>& changes = {},
                        bool escapes = false) {
  Font font;
  std::vector<Line> lines;
  int start = 0;
  for (int guard = 0; guard < 1000; ++guard) {
    int consumed = 0;
    std::string line;
    float width = 0;
    bool more = G::LayoutTextLine(text, changes, font.Metrics(), wrap, start, escapes, consumed, line, width);
    start += consumed;
    lines.push_back(Line{line, width, more});
    if (!more) break;
  }
  return lines;
}

std::vector<std::string> Texts(const std::vector<Line>& lines) {
  std::vector<std::string> texts;
  for (const Line& line : lines) texts.push_back(line.text);
  return texts;
}

TEST(TextLayout, AdvancesFollowWidthsOrTheFixedAdvance) {
  Font font;
  GlyphMetrics metrics = font.Metrics(20);
  EXPECT_FLOAT_EQ(G::GlyphAdvance(metrics, 'W'), 40);   // 20 / 10 x 20
  EXPECT_FLOAT_EQ(G::GlyphAdvance(metrics, 200), 20);   // codes above 127 have their own width
  metrics.fixedWidth = true;
  metrics.fixedAdvance = 0.6f;
  EXPECT_FLOAT_EQ(G::GlyphAdvance(metrics, 'W'), 12);
  EXPECT_FLOAT_EQ(G::GlyphAdvance(metrics, ' '), 12);
}

TEST(TextLayout, WithoutAWrapWidthLinesEndOnlyAtLineFeeds) {
  const std::vector<Line> lines = Lines("aaaa bbbb cccc dddd eeee ffff gggg\nhh\tii", 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "aaaa bbbb cccc dddd eeee ffff gggg");
  EXPECT_FLOAT_EQ(lines[0].width, 28 * 10 + 6 * 4);
  EXPECT_TRUE(lines[0].more);
  EXPECT_EQ(lines[1].text, "hhii");  // other control codes are not drawn
  EXPECT_FALSE(lines[1].more);
}

TEST(TextLayout, AWordThatCrossesTheWrapMovesWhole) {
  // "aa bb" is 44 wide; "aa bb cc" would be 68.
  const std::vector<Line> lines = Lines("aa bb cc dd", 50);
  EXPECT_EQ(Texts(lines), (std::vector<std::string>{"aa bb ", "cc dd"}));
  EXPECT_FLOAT_EQ(lines[0].width, 50);  // a wrapped line counts as the wrap width
  EXPECT_FLOAT_EQ(lines[1].width, 44);
}

TEST(TextLayout, ALineWithoutSpacesBreaksBeforeTheCrossingCharacter) {
  EXPECT_EQ(Texts(Lines("abcdefgh", 35)), (std::vector<std::string>{"abc", "def", "gh"}));
  // Reaching the width exactly counts as crossing it.
  EXPECT_EQ(Texts(Lines("abcd", 20)), (std::vector<std::string>{"a", "b", "c", "d"}));
}

// However narrow the wrap, every line takes at least one character, so the
// layout ends.
TEST(TextLayout, AWrapNarrowerThanOneGlyphStillMakesProgress) {
  const std::vector<Line> lines = Lines("aWb", 5);
  EXPECT_EQ(Texts(lines), (std::vector<std::string>{"a", "W", "b"}));
  EXPECT_FLOAT_EQ(lines[1].width, 20);
  EXPECT_TRUE(lines[1].more);
  EXPECT_FALSE(lines[2].more);
  float width = 0, height = 0;
  Font font;
  G::MeasureText("aWb", font.Metrics(), 5, width, height);
  EXPECT_FLOAT_EQ(height, 30);
  EXPECT_FLOAT_EQ(width, 20);
}

TEST(TextLayout, BoundsCountLines) {
  Font font;
  struct Case {
    const char* text;
    float wrap;
    float width, height;
  } cases[] = {
      {"", 0, 0, 0},
      {"ab", 0, 20, 10},
      {"ab\n", 0, 20, 10},  // a line feed at the very end adds no line
      {"ab\ncde", 0, 30, 20},
      {"\n\nab", 0, 20, 30},
      {"aa bb cc dd", 50, 50, 20},
  };
  for (const Case& c : cases) {
    float width = -1, height = -1;
    G::MeasureText(c.text, font.Metrics(), c.wrap, width, height);
    EXPECT_FLOAT_EQ(width, c.width) << c.text;
    EXPECT_FLOAT_EQ(height, c.height) << c.text;
  }
}

std::string Escape(unsigned color) {
  return std::string("\x01") + static_cast<char>(color >> 24) + static_cast<char>(color & 0xFF) +
         static_cast<char>((color >> 8) & 0xFF) + static_cast<char>((color >> 16) & 0xFF);
}

// Changes are positions in the whole text: one on the second line lands on
// its character there, not on the character with that index in the line.
TEST(TextLayout, ColourEscapesLandOnTheirCharactersOnEveryLine) {
  const unsigned red = 0xFFFF0000, blue = 0x800000FF;
  const std::vector<ColorChange> changes = {{0, red}, {4, blue}};
  EXPECT_EQ(Texts(Lines("ab\ncd", 0, changes, true)),
            (std::vector<std::string>{Escape(red) + "ab", "c" + Escape(blue) + "d"}));
  // Without escapes asked for, none appear.
  EXPECT_EQ(Texts(Lines("ab\ncd", 0, changes, false)), (std::vector<std::string>{"ab", "cd"}));
}

TEST(TextLayout, AWrappedCharacterTakesItsEscapeAlong) {
  const unsigned green = 0xFF00FF00;
  // No space: 'd' crosses the wrap and moves, with its colour, to line two.
  EXPECT_EQ(Texts(Lines("abcd", 35, {{3, green}}, true)), (std::vector<std::string>{"abc", Escape(green) + "d"}));
  // After a space: the whole word moves with the escape inside it.
  EXPECT_EQ(Texts(Lines("ab cd", 35, {{4, green}}, true)),
            (std::vector<std::string>{"ab ", "c" + Escape(green) + "d"}));
}

TEST(TextLayout, GlyphQuadsCoverTheirCellsInTheCurrentColour) {
  Font font;
  const unsigned red = 0xFFFF0000;
  std::vector<G::GlyphVertex> vertices(64);
  const std::string text = std::string("A") + static_cast<char>(200) + "\nB";
  int count = G::BuildGlyphVertices(text, {{1, red}}, font.Metrics(), 0, 100, 50, vertices.data(), 64);
  ASSERT_EQ(count, 18);
  const G::GlyphVertex& a = vertices[0];
  EXPECT_FLOAT_EQ(a.x, 100.005f);
  EXPECT_FLOAT_EQ(a.y, 50.005f);
  EXPECT_EQ(a.color, 0xFFDDDDDDu);  // the colour before any change
  EXPECT_FLOAT_EQ(a.u, 1 / 16.0f);  // 'A' = 65: column 1, row 4
  EXPECT_FLOAT_EQ(a.v, 4 / 16.0f);
  const G::GlyphVertex& farCorner = vertices[5];
  EXPECT_FLOAT_EQ(farCorner.x, 110.005f);
  EXPECT_FLOAT_EQ(farCorner.y, 60.005f);
  EXPECT_FLOAT_EQ(farCorner.u, 2 / 16.0f);
  EXPECT_FLOAT_EQ(farCorner.v, 5 / 16.0f);
  // Code 200 sits in its own cell (column 8, row 12), in red, after 'A'.
  EXPECT_EQ(vertices[6].color, red);
  EXPECT_FLOAT_EQ(vertices[6].x, 110.005f);
  EXPECT_FLOAT_EQ(vertices[6].u, 8 / 16.0f);
  EXPECT_FLOAT_EQ(vertices[6].v, 12 / 16.0f);
  // The colour carries onto the next line, which starts one size lower.
  EXPECT_EQ(vertices[12].color, red);
  EXPECT_FLOAT_EQ(vertices[12].x, 100.005f);
  EXPECT_FLOAT_EQ(vertices[12].y, 60.005f);
  // Never more than the capacity.
  EXPECT_EQ(G::BuildGlyphVertices(text, {}, font.Metrics(), 0, 0, 0, vertices.data(), 11), 6);
}

}  // namespace
