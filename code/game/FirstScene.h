// The scene each program starts with (the entry point makes it as
// FIRST_SCENE). Until the character chooser takes its place, a placeholder
// that shows the window, the loop and the drawing are alive.
#pragma once
#include <string>

#include "foundation/Scene.h"

namespace VANT {

class PlaceholderScene : public Scene {
 public:
  void Update(float seconds) override;
  void Draw() override;
  std::string GetName() override { return "Placeholder"; }

 private:
  float time_ = 0;  // seconds since the scene started
};

}  // namespace VANT

typedef VANT::PlaceholderScene FIRST_SCENE;
