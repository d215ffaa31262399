// The scrolling text window: stacking, scrolling, the line limit, visible
// lines and drawing clipped to the window.
#include <string>

#include "GraphicsFixture.h"
#include "graphics/Shader.h"
#include "graphics/TextWindow.h"

namespace {

class TextWindowTest : public GraphicsTest {
 protected:
  void TearDown() override {
    G::ReleaseTextShader();
    GraphicsTest::TearDown();
  }
};

float Top(const G::TextWindow& window, int line) { return window.Lines()[line].text.GetY(); }

TEST_F(TextWindowTest, LinesThatFitStackUpFromTheBottomWhateverTheScroll) {
  G::TextWindow window(40, 300, 700, 250, 60);
  for (const char* line : {"one", "two", "three"}) window.AddLine(G::Text(line));
  for (float scroll : {1.0f, 0.0f, 0.5f}) {
    window.SetScroll(scroll);
    EXPECT_FLOAT_EQ(Top(window, 2), 534) << scroll;
    EXPECT_FLOAT_EQ(Top(window, 1), 518);
    EXPECT_FLOAT_EQ(Top(window, 0), 502);
    EXPECT_EQ(window.Lines()[0].text.GetX(), 40);
    EXPECT_EQ(window.FirstVisible(), 0);
    EXPECT_EQ(window.LastVisible(), 2);
  }
  EXPECT_EQ(window.Lines()[0].height, 16);
  EXPECT_EQ(window.Lines()[0].text.GetWrapWidth(), 700);
}

TEST_F(TextWindowTest, ScrollingMovesThroughTheOverflow) {
  G::TextWindow window(0, 300, 500, 40, 60, 16);
  for (int i = 0; i < 5; ++i) window.AddLine(G::Text("line " + std::to_string(i)));
  // 80 pixels of text in 40: scroll 1 puts the newest line on the bottom edge.
  EXPECT_FLOAT_EQ(Top(window, 4) + 16, 340);
  EXPECT_EQ(window.FirstVisible(), 2);
  EXPECT_EQ(window.LastVisible(), 4);
  window.SetScroll(-3);
  EXPECT_EQ(window.GetScroll(), 0);
  EXPECT_FLOAT_EQ(Top(window, 0), 300);  // the oldest line on the top edge
  EXPECT_EQ(window.FirstVisible(), 0);
  EXPECT_EQ(window.LastVisible(), 2);
  window.SetScroll(7);
  EXPECT_EQ(window.GetScroll(), 1);
  window.SetScroll(0.5f);
  EXPECT_FLOAT_EQ(Top(window, 0), 280);
  EXPECT_EQ(window.FirstVisible(), 1);
  EXPECT_EQ(window.LastVisible(), 3);
}

TEST_F(TextWindowTest, TheOldestLineGoesPastTheLimit) {
  G::TextWindow window(40, 300, 700, 250, 60);
  for (int i = 0; i <= 60; ++i) window.AddLine(G::Text(i));
  ASSERT_EQ(window.Lines().size(), 60u);
  EXPECT_EQ(window.Lines().front().text.GetString(), "1");
  EXPECT_EQ(window.Lines().back().text.GetString(), "60");
}

TEST_F(TextWindowTest, AWrappedLineIsAsTallAsItsLines) {
  // Three words in a window one and a half words wide: three lines.
  G::Text word("wwww");
  float x1, y1, x2, y2;
  word.GetBounds(x1, y1, x2, y2);
  G::Text space(" ");
  float s1, t1, s2, t2;
  space.GetBounds(s1, t1, s2, t2);
  const float wordWidth = x2 - x1, spaceWidth = s2 - s1;
  G::TextWindow window(0, 0, wordWidth + spaceWidth + wordWidth / 2, 400, 10);
  window.AddLine(G::Text("wwww"));
  window.AddLine(G::Text("wwww wwww wwww"));
  EXPECT_EQ(window.Lines()[1].height, 3 * window.Lines()[0].height);
}

TEST_F(TextWindowTest, DrawingClipsToTheWindowAndDrawsTheVisibleLines) {
  G::TextWindow empty(0, 0, 100, 100, 5);
  empty.Draw();
  EXPECT_EQ(NullBackend::CallText(), "");  // no 2D mode without lines

  G::TextWindow window(10.7f, 20.2f, 99.5f, 40.4f, 10);
  for (int i = 0; i < 6; ++i) window.AddLine(G::Text("x"));
  NullBackend::ClearCalls();
  window.Draw();
  const std::string calls = NullBackend::CallText();
  EXPECT_NE(calls.find("SetViewport(10,20,100,40)\n"), std::string::npos);
  const int visible = window.LastVisible() - window.FirstVisible() + 1;
  EXPECT_EQ(visible, 3);  // 16-pixel lines in 40.4 pixels: one of them in part
  EXPECT_EQ(static_cast<int>(NullBackend::BufferDraws().size()), visible);
  EXPECT_EQ(NullBackend::BufferDraws().front().vertexBuffer,
            window.Lines()[window.FirstVisible()].text.GetVertexBuffer().Record());
}

}  // namespace
