// A scrolling window of text lines, newest at the bottom, that keeps at most
// a given number of lines and draws only inside its rectangle (the chat).
#pragma once
#include <deque>
#include <string>

#include "graphics/Text.h"

namespace G {

struct TextWindowLine {
  Text text;
  float height;  // pixels, as laid out in the window's width
};

class TextWindow {
 public:
  TextWindow(float x, float y, float width, float height, int maxLines, float fontSize = 16.0f,
             const std::string& fontName = "", bool fixedWidth = false, float fixedAdvance = 0.5f);
  ~TextWindow();

  // Appends a copy in the window's font and width; the oldest line goes
  // when there are more than the maximum.
  void AddLine(const Text& text);
  // 1: newest lines at the bottom edge; 0: oldest line at the top edge.
  void SetScroll(float scroll);
  float GetScroll() const { return scroll_; }
  void Draw();

  const std::deque<TextWindowLine>& Lines() const { return lines_; }
  int FirstVisible() const { return firstVisible_; }
  int LastVisible() const { return lastVisible_; }

 private:
  TextWindow(const TextWindow&) = delete;
  TextWindow& operator=(const TextWindow&) = delete;
  void Layout();

  std::deque<TextWindowLine> lines_;  // oldest at the front
  int maxLines_;
  float x_, y_;
  float height_, width_;
  float fontSize_;
  std::string fontName_;
  bool fixedWidth_;
  float fixedAdvance_;
  float scroll_ = 1.0f;
  int firstVisible_ = 0;
  int lastVisible_ = 0;
};

}  // namespace G
