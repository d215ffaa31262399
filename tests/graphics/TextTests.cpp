// Font records and G::Text over the null backend. The glyphs come from the
// platform's rasteriser (GDI under Wine, plain boxes natively), so widths
// are read from the records rather than assumed.
#include <cstring>
#include <string>

#include "GraphicsFixture.h"
#include "foundation/CMemMan.h"
#include "graphics/Font.h"
#include "graphics/Shader.h"
#include "graphics/Text.h"

namespace {

class TextTest : public GraphicsTest {
 protected:
  void TearDown() override {
    G::ReleaseTextShader();
    GraphicsTest::TearDown();
  }
};

using FontRecords = TextTest;

int Calls(const std::string& prefix) {
  int count = 0;
  for (const std::string& call : NullBackend::Calls()) count += call.rfind(prefix, 0) == 0;
  return count;
}

TEST_F(FontRecords, CellAndGlyphHeightFollowTheSize) {
  struct Case {
    float size;
    int cell, glyphHeight, filter;
  } cases[] = {{16, 16, 16, G::kFilterPoint},       {11, 16, 11, G::kFilterPoint},
               {22, 32, 32, G::kFilterPoint},       {43, 64, 64, G::kFilterAnisotropic},
               {100, 64, 64, G::kFilterAnisotropic}, {3, 16, 5, G::kFilterPoint}};
  for (const Case& c : cases) {
    G::FontTexture* font = G::BuildFontTexture("Arial", c.size, false);
    ASSERT_NE(font, nullptr) << c.size;
    const G::TextureRecord* texture = font->texture.Record();
    EXPECT_EQ(texture->width, 16 * c.cell) << c.size;
    EXPECT_EQ(texture->height, 16 * c.cell) << c.size;
    EXPECT_EQ(texture->type, G::kTextureRGBA);
    EXPECT_EQ(texture->depth, 1);
    EXPECT_FALSE(texture->mipmaps);
    EXPECT_EQ(font->glyphHeight, c.glyphHeight) << c.size;
    EXPECT_EQ(NullBackend::TextureFilterOf(texture), c.filter) << c.size;
    EXPECT_FALSE(NullBackend::TextureWrap(texture, 0));
    EXPECT_FALSE(NullBackend::TextureWrap(texture, 1));
    EXPECT_TRUE(NullBackend::TextureWrap(texture, 2));
    // The space is 0.3 of a cell; control codes have no glyph.
    EXPECT_EQ(font->widths[32], static_cast<int>(c.cell * 0.3f));
    for (int code = 0; code < 32; ++code) EXPECT_EQ(font->widths[code], 0) << code;
    EXPECT_GT(font->widths[static_cast<int>('A')], 0);
  }
  // The filter turns at size 32 (the glyph height is 32 on both sides).
  EXPECT_EQ(NullBackend::TextureFilterOf(G::BuildFontTexture("Courier New", 31.9f, false)->texture.Record()),
            G::kFilterPoint);
  EXPECT_EQ(NullBackend::TextureFilterOf(G::BuildFontTexture("Arial", 32, true)->texture.Record()),
            G::kFilterAnisotropic);
}

TEST_F(FontRecords, RecordsAreSharedByHeightFaceAndFlag) {
  G::FontTexture* a = G::BuildFontTexture("Arial", 16, false);
  EXPECT_EQ(G::BuildFontTexture("Arial", 17, false), a);  // glyph height 16 too
  G::FontTexture* lower = G::BuildFontTexture("arial", 16, false);
  G::FontTexture* fixed = G::BuildFontTexture("Arial", 16, true);
  EXPECT_NE(lower, a);
  EXPECT_NE(fixed, a);
  EXPECT_NE(fixed, lower);
  EXPECT_EQ(G::g_fontTextures.size(), 3u);
  EXPECT_EQ(&G::g_fontTextures.front(), fixed);  // newest first
}

TEST_F(FontRecords, FaceNamesAndSizesAreChecked) {
  LogTail log;
  EXPECT_EQ(G::BuildFontTexture("Arial", 1.9f, false), nullptr);
  EXPECT_EQ(G::BuildFontTexture(std::string(32, 'x'), 16, false), nullptr);
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Requested font size too small.  Must be at least 2.\n  call stack:\n\n"
            "Font name too long.  Can be 31 chars max.\n  -call stack:\n\n");
  G::FontTexture* longest = G::BuildFontTexture(std::string(31, 'x'), 16, false);
  ASSERT_NE(longest, nullptr);
  EXPECT_EQ(longest->faceName, std::string(31, 'x'));
  G::FontTexture* unnamed = G::BuildFontTexture("", 16, false);
  ASSERT_NE(unnamed, nullptr);
  EXPECT_EQ(unnamed->faceName, "Ariel");
}

TEST_F(FontRecords, ShutdownReleasesEveryRecord) {
  const size_t texturesBefore = G::g_textureRecords.size();
  G::BuildFontTexture("Arial", 16, false);
  G::BuildFontTexture("Arial", 40, false);
  EXPECT_EQ(G::g_textureRecords.size(), texturesBefore + 2);
  LogTail stat("_stat.txt");
  G::Shutdown();  // a shutdown callback since the first record
  EXPECT_EQ(stat.Text(), "Font textures generated: 2\n\n");
  EXPECT_TRUE(G::g_fontTextures.empty());
  EXPECT_EQ(G::g_textureRecords.size(), texturesBefore);
}

// A texture that is made but cannot be filled still gives a record,
// measured, so texts keep their spacing.
TEST_F(FontRecords, TextureFailures) {
  struct {
    const char* what;
    void (*script)(NullBackend::Script&);
    bool record;
    std::string errors;
  } cases[] = {
      {"not made", [](NullBackend::Script& s) { s.createTextureResult = false; }, false,
       "Null backend: texture creation refused.\nFont texture creation failed.\n  -call stack:\n\n"},
      {"not lockable", [](NullBackend::Script& s) { s.lockTextureResult = false; }, true,
       "Failed to lock font texture.\n"},
      {"24 bits a pixel", [](NullBackend::Script& s) { s.textureBitsPerPixel = 24; }, true,
       "Texture not either 16 or 32 bpp... failing font setup.\n"},
  };
  const NullBackend::Script unscripted = NullBackend::Scripted();
  for (const auto& t : cases) {
    G::ReleaseFontTextures();  // else the second case would reuse the first's record
    NullBackend::Scripted() = unscripted;
    t.script(NullBackend::Scripted());
    LogTail log;
    G::FontTexture* font = G::BuildFontTexture("Arial", 16, false);
    EXPECT_EQ(MaskCallStacks(log.Text()), t.errors) << t.what;
    EXPECT_EQ(font != nullptr, t.record) << t.what;
    if (font) {
      EXPECT_GT(font->widths[static_cast<int>('A')], 0) << t.what;
    }
  }
}

// ---- G::Text -----------------------------------------------------------------

using TextObject = TextTest;

TEST_F(TextObject, ColourChangesFollowTheText) {
  G::Text text("ab");
  EXPECT_EQ(text.GetFontSize(), 16.0f);
  EXPECT_EQ(text.GetFixedAdvance(), 0.5f);
  text.SetColor(0xFF000001);
  text.SetColor(0xFF000002);  // the same position: the later colour stays
  ASSERT_EQ(text.GetColorChanges().size(), 1u);
  EXPECT_EQ(text.GetColorChanges()[0].position, 2);
  EXPECT_EQ(text.GetColorChanges()[0].color, 0xFF000002u);

  G::Text empty;
  empty.SetColor(1);
  empty = "x";
  empty.SetColor(2);
  empty.Clear();
  EXPECT_TRUE(empty.GetColorChanges().empty());
  empty.SetColor(3);
  empty.SetColorRGBA8(255, 0, 0, 255);  // on an empty text, older changes go
  ASSERT_EQ(empty.GetColorChanges().size(), 1u);
  EXPECT_EQ(empty.GetColorChanges()[0].color, 0xFFFF0000u);

  // Assigning keeps only a colour at position 0.
  G::Text coloured;
  coloured.SetColorRGBA(0, 1, 0, 1);
  coloured += G::Text("abc");
  coloured.SetColor(0xFF0000FF);
  coloured += G::Text("d");
  EXPECT_EQ(coloured.GetColorChanges().size(), 2u);
  coloured = 1.5;
  EXPECT_EQ(coloured.GetString(), "1.500000");
  coloured = 42;
  EXPECT_EQ(coloured.GetString(), "42");
  ASSERT_EQ(coloured.GetColorChanges().size(), 1u);
  EXPECT_EQ(coloured.GetColorChanges()[0].color, 0xFF00FF00u);
  G::Text uncoloured("abc");
  uncoloured.SetColor(7);
  uncoloured = std::string("xyz");
  EXPECT_TRUE(uncoloured.GetColorChanges().empty());
}

TEST_F(TextObject, AppendingShiftsTheOthersColours) {
  G::Text left("ab");
  left.SetColor(0xFF111111);  // at 2, the join
  G::Text right;
  right.SetColor(0xFF222222);  // at 0
  right += G::Text("cd");
  right.SetColor(0xFF333333);  // at 2
  right += G::Text("e");
  G::Text sum = left + right;
  EXPECT_EQ(sum.GetString(), "abcde");
  ASSERT_EQ(sum.GetColorChanges().size(), 2u);  // the one at the join gave way
  EXPECT_EQ(sum.GetColorChanges()[0].position, 2);
  EXPECT_EQ(sum.GetColorChanges()[0].color, 0xFF222222u);
  EXPECT_EQ(sum.GetColorChanges()[1].position, 4);
  EXPECT_EQ(left.GetString(), "ab");
  left += left;
  EXPECT_EQ(left.GetString(), "abab");
}

TEST_F(TextObject, CopiesTakeSettingsButNotTheBuffer) {
  G::Text original("copy me");
  original.SetFont("Courier New");
  original.SetSize(20);
  original.SetFixedWidth(true, 0.6f);
  original.SetPosition(5, 6);
  original.SetWrapWidth(300);
  original.SetColor(0xFF00FF00);
  original.Draw();
  ASSERT_TRUE(original.GetVertexBuffer().Record());
  G::Text copy(original);
  EXPECT_EQ(copy.GetString(), "copy me");
  EXPECT_EQ(copy.GetFontName(), "Courier New");
  EXPECT_EQ(copy.GetDrawnSize(), 20.0f);
  EXPECT_TRUE(copy.IsFixedWidth());
  EXPECT_EQ(copy.GetFixedAdvance(), 0.6f);
  EXPECT_EQ(copy.GetX() + copy.GetY(), 11.0f);
  EXPECT_EQ(copy.GetWrapWidth(), 300.0f);
  EXPECT_EQ(copy.GetFont(), original.GetFont());
  EXPECT_EQ(copy.GetColorChanges().size(), 1u);
  EXPECT_FALSE(copy.GetVertexBuffer().Record());
  copy.Draw();
  ASSERT_TRUE(copy.GetVertexBuffer().Record());
  EXPECT_NE(copy.GetVertexBuffer().Record(), original.GetVertexBuffer().Record());
}

TEST_F(TextObject, DrawBuildsGlyphsOnceAndDrawsThemInOneCall) {
  G::Text text("Hi");
  text.SetPosition(10, 20);
  text.SetDynamic(true);
  text.Draw();
  EXPECT_EQ(NullBackend::CallText().find("Shader::Load(data\\shaders\\gbfont,)\n"), 0u);
  EXPECT_EQ(Calls("Shader::Load"), 1);
  ASSERT_NE(text.GetFont(), nullptr);
  const G::VertexBufferRecord* vb = text.GetVertexBuffer().Record();
  ASSERT_NE(vb, nullptr);
  EXPECT_EQ(vb->vertexCount, 2 * 6 + 192);
  EXPECT_EQ(vb->vertexSize, 20);
  EXPECT_TRUE(vb->dynamic);
  EXPECT_TRUE(vb->writeOnly);
  EXPECT_EQ(vb->format.size(), 3u);
  EXPECT_EQ(text.GetVertexCount(), 12);
  ASSERT_EQ(NullBackend::BufferDraws().size(), 1u);
  const NullBackend::BufferDraw& draw = NullBackend::BufferDraws()[0];
  EXPECT_EQ(draw.call, "RenderTris(4,0)");
  EXPECT_EQ(draw.vertexBuffer, vb);
  EXPECT_EQ(draw.texture0, text.GetFont()->texture.Record());
  EXPECT_EQ(draw.shader, G::g_textShader);
  EXPECT_EQ(TrackedRecordOf(G::g_textShader).typeName, "G::Shader");
  EXPECT_EQ(draw.cullMode, G::kCullNone);

  G::GlyphVertex glyphs[12];
  std::memcpy(glyphs, NullBackend::VertexBufferMemory(vb), sizeof glyphs);
  EXPECT_FLOAT_EQ(glyphs[0].x, 10.005f);
  EXPECT_FLOAT_EQ(glyphs[0].y, 20.005f);
  EXPECT_EQ(glyphs[0].color, 0xFFDDDDDDu);
  const G::FontTexture* font = text.GetFont();
  EXPECT_FLOAT_EQ(glyphs[6].x, 10.005f + font->widths[static_cast<int>('H')] / static_cast<float>(font->glyphHeight) * 16.0f);
  EXPECT_FLOAT_EQ(glyphs[5].y, 36.005f);

  // Nothing changed: drawn again without rebuilding.
  NullBackend::ClearCalls();
  text.Draw();
  EXPECT_EQ(NullBackend::CallText(),
            "SetCullMode(2)\nTexture::Set(0)\nVertexBuffer::Set\nShader::Set\nRenderTris(4,0)\n");
  text.SetPosition(10, 21);
  NullBackend::ClearCalls();
  text.Draw();
  EXPECT_EQ(Calls("VertexBufferLock(1)"), 1);
  EXPECT_EQ(Calls("VertexBuffer::Create"), 0);  // the buffer is big enough still
}

// A change of colours alone (same characters) must still be redrawn.
TEST_F(TextObject, ANewColourWithTheSameTextIsRebuilt) {
  G::Text text("abc");
  text.Draw();
  text.Clear();
  text.SetColor(0xFFFF0000);
  text += G::Text("abc");
  text.Draw();
  G::GlyphVertex first;
  std::memcpy(&first, NullBackend::VertexBufferMemory(text.GetVertexBuffer().Record()), sizeof first);
  EXPECT_EQ(first.color, 0xFFFF0000u);
}

// A new advance keeps the font record; the glyphs must still move to agree
// with the bounds.
TEST_F(TextObject, ANewFixedAdvanceIsLaidOutAgain) {
  G::Text text("ab");
  text.SetPosition(10, 0);
  text.SetFixedWidth(true, 0.5f);
  text.Draw();
  const G::FontTexture* font = text.GetFont();
  G::GlyphVertex glyphs[12];
  std::memcpy(glyphs, NullBackend::VertexBufferMemory(text.GetVertexBuffer().Record()), sizeof glyphs);
  EXPECT_FLOAT_EQ(glyphs[6].x, 10.005f + 8.0f);

  text.SetFixedWidth(true, 0.75f);
  text.Draw();
  EXPECT_EQ(text.GetFont(), font);
  std::memcpy(glyphs, NullBackend::VertexBufferMemory(text.GetVertexBuffer().Record()), sizeof glyphs);
  EXPECT_FLOAT_EQ(glyphs[6].x, 10.005f + 12.0f);
  float x1, y1, x2, y2;
  text.GetBounds(x1, y1, x2, y2);
  EXPECT_FLOAT_EQ(x2 - x1, 24.0f);
}

TEST_F(TextObject, BufferFailuresDrawNothingAndAreTriedAgain) {
  G::Text text("abc");
  NullBackend::Scripted().createVertexBufferResult = false;
  LogTail log;
  text.Draw();
  // The stack follows its heading on the same line.
  EXPECT_EQ(log.Text().rfind("Null backend: vertex buffer creation refused.\nFailed to make G::Text's VB...\n"
                             "  -call stack:",
                             0),
            0u);
  EXPECT_EQ(text.GetCachedText(), "");
  EXPECT_TRUE(NullBackend::BufferDraws().empty());

  NullBackend::Scripted().createVertexBufferResult = true;
  NullBackend::Scripted().lockVertexBufferResult = false;
  LogTail lockLog;
  text.Draw();
  EXPECT_EQ(lockLog.Text(), "Failed to lock G::Text's VB...\n");
  EXPECT_EQ(text.GetVertexCount(), 0);
  EXPECT_TRUE(NullBackend::BufferDraws().empty());

  NullBackend::Scripted().lockVertexBufferResult = true;
  text.Draw();
  EXPECT_EQ(text.GetVertexCount(), 18);
  EXPECT_EQ(NullBackend::BufferDraws().size(), 1u);
}

TEST_F(TextObject, BoundsCoverTheLaidOutLines) {
  G::Text text("one two three four");
  text.SetPosition(100, 50);
  text.SetSize(10);
  float x1, y1, x2, y2;
  text.GetBounds(x1, y1, x2, y2);
  EXPECT_EQ(x1, 100);
  EXPECT_EQ(y1, 50);
  EXPECT_EQ(y2, 60);
  const float oneLine = x2 - x1;
  EXPECT_GT(oneLine, 0);
  text.SetWrapWidth(static_cast<int>(oneLine / 2));
  text.GetBounds(x1, y1, x2, y2);
  EXPECT_GE(y2 - y1, 20);
  EXPECT_LE(x2 - x1, oneLine / 2 + 1);

  G::Text noFont("abc");
  noFont.SetSize(1);  // no record for this size
  noFont.SetPosition(3, 4);
  noFont.GetBounds(x1, y1, x2, y2);
  EXPECT_EQ(x1 * 1000 + y1 * 100 + x2 * 10 + y2, 3434);
}

TEST_F(TextObject, DestroyingAfterShutdownIsLogged) {
  G::Text* text = new2(G::Text, G::Text("late"));
  G::Shutdown();
  LogTail log;
  delete2(text);
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "BAD: a G::Text is being destructed, but graphics is not inited...\n  -call stack:\n\n");
}

// Shut-down releases every font record; a text that lives on fetches a new
// one instead of drawing from the released record.
TEST_F(TextObject, ATextOutlivingItsFontRecordFetchesANewOne) {
  G::Text text("again");
  text.Draw();
  G::Shutdown();
  G::Setup setup = *G::GetSetup();
  ASSERT_TRUE(DXG::Init(nullptr, &setup));
  NullBackend::ClearDrawnBlocks();
  text.Draw();
  ASSERT_EQ(G::g_fontTextures.size(), 1u);
  EXPECT_EQ(text.GetFont(), &G::g_fontTextures.front());
  EXPECT_EQ(NullBackend::BufferDraws().back().texture0, G::g_fontTextures.front().texture.Record());
}

TEST_F(TextObject, DrawTextUsesOneSharedText) {
  G::DrawText("score", 7, 8, 0xFF00FF00, 20, "Courier New");
  ASSERT_NE(G::g_sharedText, nullptr);
  G::Text* shared = G::g_sharedText;
  EXPECT_EQ(TrackedRecordOf(shared).typeName, "G::Text");
  EXPECT_EQ(shared->GetString(), "score");
  EXPECT_EQ(shared->GetFontName(), "Courier New");
  EXPECT_EQ(shared->GetDrawnSize(), 20.0f);
  EXPECT_TRUE(shared->GetVertexBuffer().Record()->dynamic);
  G::GlyphVertex first;
  std::memcpy(&first, NullBackend::VertexBufferMemory(shared->GetVertexBuffer().Record()), sizeof first);
  EXPECT_EQ(first.color, 0xFF00FF00u);
  EXPECT_FLOAT_EQ(first.x, 7.005f);
  G::DrawText("x", 0, 0, 0xFFFFFFFF, 20, "Courier New");
  EXPECT_EQ(G::g_sharedText, shared);
  EXPECT_EQ(shared->GetString(), "x");
  EXPECT_EQ(shared->GetColorChanges().size(), 1u);
  G::Shutdown();  // releases the shared text
  EXPECT_EQ(G::g_sharedText, nullptr);
}

}  // namespace
