// One screen of the program (the character chooser, the game itself). The
// scene manager drives the current scene once per frame and owns every scene
// pushed on its stack.
#pragma once
#include <string>

class Scene {
 public:
  // Advances the scene by the frame time.
  virtual void Update(float seconds) = 0;
  // Draws the scene between the frame's begin and end.
  virtual void Draw() = 0;
  // Called before the frame begins (outside the frame bracket).
  virtual void PreFrame() {}
  // The scene becomes current / stops being current.
  virtual void OnEnter() {}
  virtual void OnLeave() {}
  // The name the per-scene statistics go by.
  virtual std::string GetName() { return "Unknown"; }
  virtual ~Scene() {}
};
