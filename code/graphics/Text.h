// Text drawn in 2D from a font's glyph texture: colour changes by position,
// wrapping at a width, bounds, and the one-shot DrawText. The caller sets
// 2D mode and blending before drawing.
#pragma once
#include <string>
#include <vector>

#include "foundation/Vary.h"
#include "graphics/Font.h"
#include "graphics/TextLayout.h"
#include "graphics/VertexBuffer.h"

namespace G {

class Shader;

class Text {
 public:
  Text();
  Text(int value);
  Text(float value);
  Text(double value) : Text(static_cast<float>(value)) {}
  Text(const std::string& value);
  Text(const char* value);
  Text(const Vary& value);
  // Copies the text, its colours, position, wrap and font settings and its
  // font record; the copy makes its own vertex buffer on its first draw.
  Text(const Text& other);
  Text& operator=(const Text& other);
  ~Text();

  // The defaults: at (0, 0), no wrapping, size 16, the default face.
  void Init();

  // Font size and drawn size.
  void SetSize(float size);
  void SetFont(const std::string& faceName);
  void SetFixedWidth(bool fixedWidth, float fixedAdvance);
  void SetPosition(float x, float y);
  void SetWrapWidth(int width);
  // The glyph buffer is made dynamic (the text changes often).
  void SetDynamic(bool dynamic) { dynamic_ = dynamic; }
  // From the current end of the text on.
  void SetColor(unsigned color);
  void SetColorRGBA8(int r, int g, int b, int a);
  void SetColorRGBA(float r, float g, float b, float a);
  // Empties the text and its colours.
  void Clear();

  // The text becomes the value; a colour set at position 0 is kept, the
  // other colours go.
  Text& operator=(const std::string& value);
  Text& operator=(const char* value);
  Text& operator=(const Vary& value);
  Text& operator=(int value);
  Text& operator=(float value);
  Text& operator=(double value) { return *this = static_cast<float>(value); }
  // Appends the other text with its colours.
  Text& operator+=(const Text& other);
  Text operator+(const Text& other) const;

  void GetBounds(float& x1, float& y1, float& x2, float& y2);
  void Draw();

  // One line from character index start (see LayoutTextLine).
  bool LayoutLine(int start, int& consumed, std::string& line, float& width, bool escapes);
  // Fetches the font record after a font change.
  void UpdateFont();

  const Vary& GetText() const { return text_; }
  std::string GetString() const { return text_.AsString(); }
  const std::vector<ColorChange>& GetColorChanges() const { return colorChanges_; }
  float GetX() const { return x_; }
  float GetY() const { return y_; }
  float GetWrapWidth() const { return wrapWidth_; }
  float GetFontSize() const { return fontSize_; }
  float GetDrawnSize() const { return drawnSize_; }
  const std::string& GetFontName() const { return fontName_; }
  bool IsFixedWidth() const { return fixedWidth_; }
  float GetFixedAdvance() const { return fixedAdvance_; }
  FontTexture* GetFont() const { return font_; }
  const std::string& GetCachedText() const { return cachedText_; }
  const VertexBuffer& GetVertexBuffer() const { return vertexBuffer_; }
  int GetVertexCount() const { return vertexCount_; }
  int GetCapacity() const { return capacity_; }

 private:
  void BuildGeometry();
  void KeepLeadingColor();
  GlyphMetrics Metrics() const;

  Vary text_;
  float fixedAdvance_ = 0.5f;
  float x_ = 0, y_ = 0;
  float wrapWidth_ = 0;
  bool dynamic_ = false;
  FontTexture* font_ = nullptr;
  unsigned fontGeneration_ = 0;  // of g_fontTextures when font_ was fetched
  std::string fontName_;
  float fontSize_ = 16.0f;
  bool fixedWidth_ = false;
  float drawnSize_ = 16.0f;
  bool geometryDirty_ = true;
  bool fontDirty_ = true;
  VertexBuffer vertexBuffer_;
  int capacity_ = 0;
  int vertexCount_ = 0;
  std::string cachedText_;
  std::vector<ColorChange> colorChanges_;
};

// The vertex format of GlyphVertex.
const VertexFormat& GlyphVertexFormat();

// Draws a text once, through one shared G::Text made on first use.
void DrawText(const std::string& text, float x, float y, unsigned color, float size, const std::string& faceName);
void CreateSharedText();
void ReleaseSharedText();

extern Text* g_sharedText;
extern Shader* g_textShader;

}  // namespace G
