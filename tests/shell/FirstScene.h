// The first scene of the test program's WinMain runs: a recording scene
// that the running test sets up (through TestFirstScene::setup) before it
// calls WinMain.
#pragma once
#include <functional>

#include "TestScenes.h"

class TestFirstScene : public RecordingScene {
 public:
  TestFirstScene() : RecordingScene("First", "First") {
    if (setup) setup(*this);
  }
  inline static std::function<void(TestFirstScene&)> setup;
};

typedef TestFirstScene FIRST_SCENE;
