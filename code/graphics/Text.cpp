// G::Text: a string laid out in a font record's glyph cells and drawn as one
// vertex buffer of glyph quads; and the one-shot DrawText.
#include "graphics/Text.h"

#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "graphics/Device.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/PackedColor.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"

namespace G {

Text* g_sharedText = nullptr;
Shader* g_textShader = nullptr;

namespace {
bool s_sharedTextReleaseRegistered = false;
}  // namespace

const VertexFormat& GlyphVertexFormat() {
  static const VertexFormat format = {
      {kFloat2, kUsePosition}, {kPackedColor, kUseColor}, {kFloat2, kUseTexCoord}};
  return format;
}

Text::Text() { Init(); }
Text::Text(int value) {
  text_ = value;
  Init();
}
Text::Text(float value) {
  text_ = value;
  Init();
}
Text::Text(const std::string& value) : text_(value) { Init(); }
Text::Text(const char* value) : text_(value) { Init(); }
Text::Text(const Vary& value) : text_(value) { Init(); }

// A fresh text (its own empty buffer, not dynamic) given the other's
// settings by the assignment.
Text::Text(const Text& other) {
  Init();
  *this = other;
}

// The receiving text keeps its own buffer (rebuilt on the next draw) and its
// dynamic flag.
Text& Text::operator=(const Text& other) {
  if (this == &other) return *this;
  text_ = other.text_;
  colorChanges_ = other.colorChanges_;
  x_ = other.x_;
  y_ = other.y_;
  wrapWidth_ = other.wrapWidth_;
  fixedAdvance_ = other.fixedAdvance_;
  fontName_ = other.fontName_;
  fontSize_ = other.fontSize_;
  drawnSize_ = other.drawnSize_;
  fixedWidth_ = other.fixedWidth_;
  font_ = other.font_;
  fontGeneration_ = other.fontGeneration_;
  fontDirty_ = other.fontDirty_;
  cachedText_.clear();
  geometryDirty_ = true;
  return *this;
}

Text::~Text() {
  if (!IsInitialized()) {
    ErrorLog << "BAD: a G::Text is being destructed, but graphics is not inited...\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
  }
}

void Text::Init() {
  x_ = y_ = wrapWidth_ = 0;
  dynamic_ = false;
  font_ = nullptr;
  fontName_.clear();
  fontSize_ = 16.0f;
  drawnSize_ = 16.0f;
  fixedWidth_ = false;
  fixedAdvance_ = 0.5f;
  vertexBuffer_.SRFree();
  capacity_ = 0;
  vertexCount_ = 0;
  cachedText_.clear();
  geometryDirty_ = true;
  fontDirty_ = true;
}

void Text::SetSize(float size) {
  fontSize_ = drawnSize_ = size;
  geometryDirty_ = fontDirty_ = true;
}

void Text::SetFont(const std::string& faceName) {
  fontName_ = faceName;
  fontDirty_ = true;
}

// A new advance on a text that stays fixed-width keeps its font record, so
// the glyphs must be placed again all the same.
void Text::SetFixedWidth(bool fixedWidth, float fixedAdvance) {
  fixedWidth_ = fixedWidth;
  fixedAdvance_ = fixedAdvance;
  geometryDirty_ = fontDirty_ = true;
}

void Text::SetPosition(float x, float y) {
  if (x != x_ || y != y_) cachedText_.clear();
  x_ = x;
  y_ = y;
}

void Text::SetWrapWidth(int width) {
  if (static_cast<float>(width) != wrapWidth_) cachedText_.clear();
  wrapWidth_ = static_cast<float>(width);
}

// Every change of the colours also marks the geometry, so a text whose
// characters stay the same is still rebuilt in its new colours.
void Text::SetColor(unsigned color) {
  const int length = static_cast<int>(text_.AsString().size());
  if (length == 0)
    colorChanges_.clear();
  else if (!colorChanges_.empty() && colorChanges_.back().position == length)
    colorChanges_.pop_back();
  colorChanges_.push_back(ColorChange{length, color});
  geometryDirty_ = true;
}

void Text::SetColorRGBA8(int r, int g, int b, int a) { SetColor(PackColorARGB8(r, g, b, a)); }
void Text::SetColorRGBA(float r, float g, float b, float a) { SetColor(PackColorARGB(r, g, b, a)); }

void Text::Clear() {
  text_ = "";
  colorChanges_.clear();
  geometryDirty_ = true;
}

void Text::KeepLeadingColor() {
  if (!colorChanges_.empty() && colorChanges_.front().position == 0)
    colorChanges_.resize(1);
  else
    colorChanges_.clear();
  geometryDirty_ = true;
}

Text& Text::operator=(const std::string& value) {
  text_ = value;
  KeepLeadingColor();
  return *this;
}
Text& Text::operator=(const char* value) {
  text_ = value;
  KeepLeadingColor();
  return *this;
}
Text& Text::operator=(const Vary& value) {
  text_ = value;
  KeepLeadingColor();
  return *this;
}
Text& Text::operator=(int value) {
  text_ = value;
  KeepLeadingColor();
  return *this;
}
Text& Text::operator=(float value) {
  text_ = value;
  KeepLeadingColor();
  return *this;
}

Text& Text::operator+=(const Text& other) {
  const std::string mine = text_.AsString();
  const int oldLength = static_cast<int>(mine.size());
  // Copies first: the other text may be this one.
  const std::string theirs = other.text_.AsString();
  const std::vector<ColorChange> changes = other.colorChanges_;
  text_ = mine + theirs;
  if (!changes.empty() && !colorChanges_.empty() &&
      colorChanges_.back().position == oldLength + changes.front().position)
    colorChanges_.pop_back();
  for (const ColorChange& change : changes) colorChanges_.push_back(ColorChange{change.position + oldLength, change.color});
  geometryDirty_ = true;
  return *this;
}

Text Text::operator+(const Text& other) const {
  Text sum(*this);
  sum += other;
  return sum;
}

GlyphMetrics Text::Metrics() const {
  return GlyphMetrics{font_->widths, font_->glyphHeight, fixedWidth_, fixedAdvance_, drawnSize_};
}

void Text::UpdateFont() {
  // A record released at shut-down is gone; fetch a fresh one.
  if (font_ && fontGeneration_ != g_fontGeneration) {
    font_ = nullptr;
    fontDirty_ = true;
  }
  if (!fontDirty_) return;
  fontDirty_ = false;
  font_ = BuildFontTexture(fontName_, fontSize_, fixedWidth_);
  fontGeneration_ = g_fontGeneration;
}

bool Text::LayoutLine(int start, int& consumed, std::string& line, float& width, bool escapes) {
  UpdateFont();
  const std::string text = text_.AsString();
  if (!font_) {
    const int rest = static_cast<int>(text.size()) - start;
    consumed = rest > 0 ? rest : 0;
    line.clear();
    width = 0;
    return false;
  }
  return LayoutTextLine(text, colorChanges_, Metrics(), wrapWidth_, start, escapes, consumed, line, width);
}

void Text::GetBounds(float& x1, float& y1, float& x2, float& y2) {
  UpdateFont();
  x1 = x2 = x_;
  y1 = y2 = y_;
  if (!font_) return;
  float width = 0, height = 0;
  MeasureText(text_.AsString(), Metrics(), wrapWidth_, width, height);
  x2 = x_ + width;
  y2 = y_ + height;
}

void Text::BuildGeometry() {
  const int need = static_cast<int>(cachedText_.size()) * 6;
  if (capacity_ < need) {
    capacity_ = need + 192;
    vertexBuffer_.SRFree();
    if (!vertexBuffer_.Create(capacity_, GlyphVertexFormat(), sizeof(GlyphVertex), dynamic_, true)) {
      ErrorLog << "Failed to make G::Text's VB...\n";
      WriteCallStack(ErrorLog, "  -call stack:");
      capacity_ = 0;
      vertexCount_ = 0;
      cachedText_.clear();
      return;
    }
  }
  VertexBufferLock lock(vertexBuffer_, true);
  void* data = nullptr;
  if (!lock.GetData(&data)) {
    ErrorLog << "Failed to lock G::Text's VB...\n";
    vertexCount_ = 0;
    cachedText_.clear();
    return;
  }
  vertexCount_ = BuildGlyphVertices(cachedText_, colorChanges_, Metrics(), wrapWidth_, x_, y_,
                                    static_cast<GlyphVertex*>(data), capacity_);
}

void Text::Draw() {
  const std::string text = text_.AsString();
  if (text.empty()) return;
  if (!g_textShader) {
    g_textShader = new2(G::Shader, G::Shader);
    g_textShader->Load("data\\shaders\\gbfont", "");
  }
  FontTexture* previous = font_;
  UpdateFont();
  if (!font_) return;
  if (font_ != previous || geometryDirty_ || text != cachedText_ || !vertexBuffer_.Record()) {
    cachedText_ = text;
    BuildGeometry();
    geometryDirty_ = false;
  }
  // A failed buffer leaves nothing to draw (the next draw tries again).
  if (vertexCount_ == 0 || !vertexBuffer_.Record()) return;
  SetCullMode(kCullNone);
  font_->texture.Set(0);
  vertexBuffer_.Set();
  g_textShader->Set();
  RenderTris(vertexCount_ / 3, 0);
}

void CreateSharedText() {
  g_sharedText = new2(G::Text, G::Text);
  g_sharedText->SetDynamic(true);
  if (!s_sharedTextReleaseRegistered) {
    s_sharedTextReleaseRegistered = true;
    RegisterShutdownCallback(&ReleaseSharedText);
  }
}

void ReleaseSharedText() {
  if (g_sharedText) delete2(g_sharedText);
  g_sharedText = nullptr;
}

void ReleaseTextShader() {
  if (g_textShader) delete2(g_textShader);
  g_textShader = nullptr;
}

void DrawText(const std::string& text, float x, float y, unsigned color, float size, const std::string& faceName) {
  if (!g_sharedText) CreateSharedText();
  Text& shared = *g_sharedText;
  shared.Clear();
  shared.SetFont(faceName);
  shared.SetSize(size);
  shared.SetColor(color);
  shared += Text(text);
  shared.SetPosition(x, y);
  shared.Draw();
}

}  // namespace G
