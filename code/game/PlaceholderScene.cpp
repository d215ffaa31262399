// The placeholder first scene: a dark background, the program's name and a
// colour band that sweeps back and forth, so a running program is plain to
// see.
#include <cmath>

#include "FirstScene.h"
#include "graphics/Device.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Primitives.h"
#include "graphics/Text.h"

namespace VANT {

void PlaceholderScene::Update(float seconds) { time_ += seconds; }

void PlaceholderScene::Draw() {
  G::Clear(0xFF182030, true, true, false, 0);
  G::Set2DModeFullScreen();
  int x = 0, y = 0, width = 0, height = 0;
  G::GetViewportRect(x, y, width, height);
  float bandWidth = width / 4.0f;
  float bandHeight = height / 5.0f;
  // Once across and back every four seconds.
  float position = 0.5f - 0.5f * std::cos(time_ * 1.5707964f);
  float left = x + position * (width - bandWidth);
  float top = y + (height - bandHeight) / 2;
  G::DrawQuadColored(left, top, bandWidth, bandHeight, 0xFFE04040, 0xFFE0C040, 0xFF4060E0, 0xFF40C080);
  G::DrawText("Quorvex", x + 20.0f, y + 40.0f, 0xFFFFFFFF, 32, "Arial");
}

}  // namespace VANT
