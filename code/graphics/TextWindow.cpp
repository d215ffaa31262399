// The scrolling text window: lines stacked up from the bottom edge, scrolled
// through the overflow, drawn clipped to the window.
#include "graphics/TextWindow.h"

#include "graphics/DeviceCallbacks.h"

namespace G {

TextWindow::TextWindow(float x, float y, float width, float height, int maxLines, float fontSize,
                       const std::string& fontName, bool fixedWidth, float fixedAdvance)
    : maxLines_(maxLines),
      x_(x),
      y_(y),
      height_(height),
      width_(width),
      fontSize_(fontSize),
      fontName_(fontName),
      fixedWidth_(fixedWidth),
      fixedAdvance_(fixedAdvance) {}

TextWindow::~TextWindow() {}

void TextWindow::AddLine(const Text& text) {
  lines_.push_back(TextWindowLine{text, 0.0f});
  Text& line = lines_.back().text;
  line.SetFont(fontName_);
  line.SetSize(fontSize_);
  line.SetFixedWidth(fixedWidth_, fixedAdvance_);
  line.SetWrapWidth(static_cast<int>(width_));
  float x1, y1, x2, y2;
  line.GetBounds(x1, y1, x2, y2);
  lines_.back().height = y2 - y1;
  if (static_cast<int>(lines_.size()) > maxLines_) lines_.pop_front();
  Layout();
}

void TextWindow::SetScroll(float scroll) {
  if (scroll < 0) scroll = 0;
  if (scroll > 1) scroll = 1;
  scroll_ = scroll;
  Layout();
}

void TextWindow::Layout() {
  float total = 0;
  for (const TextWindowLine& line : lines_) total += line.height;
  float overflow = total - height_;
  if (overflow < 0) overflow = 0;
  float bottom = y_ + height_ + (1 - scroll_) * overflow;

  // From the newest line up; the visible range is one run of lines.
  firstVisible_ = lastVisible_ = 0;
  bool metVisible = false, rangeEnded = false;
  for (int i = static_cast<int>(lines_.size()) - 1; i >= 0; --i) {
    TextWindowLine& line = lines_[i];
    const float top = bottom - line.height;
    line.text.SetPosition(x_, top);  // a move empties the line's cached text
    bottom = top;
    const bool visible = top + line.height > y_ && top < y_ + height_;
    if (rangeEnded) continue;
    if (visible) {
      if (!metVisible) lastVisible_ = i;
      metVisible = true;
      firstVisible_ = i;
    } else if (metVisible) {
      rangeEnded = true;
    } else {
      firstVisible_ = lastVisible_ = i;
    }
  }
  if (!metVisible) firstVisible_ = lastVisible_ = 0;
}

void TextWindow::Draw() {
  if (lines_.empty()) return;
  Set2DMode(static_cast<int>(x_), static_cast<int>(y_), static_cast<int>(width_ + 0.5f),
            static_cast<int>(height_ + 0.5f));
  for (int i = firstVisible_; i <= lastVisible_ && i < static_cast<int>(lines_.size()); ++i) lines_[i].text.Draw();
}

}  // namespace G
