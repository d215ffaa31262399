// Scenes for the shell's tests. Each notes what is done to it in the null
// backend's call record, so scene events and graphics calls read as one
// sequence ("A.OnEnter", "A.Update(0.001)", "DXG::EndFrame0", "A.~").
#pragma once
#include <functional>
#include <string>

#include "NullBackendState.h"
#include "shell/Scene.h"

class RecordingScene : public Scene {
 public:
  // The label marks the notes; the name is what GetName reports (empty: the
  // base class's).
  explicit RecordingScene(const std::string& label, const std::string& name = "") : label_(label), name_(name) {}
  ~RecordingScene() override { Note(".~"); }

  void Update(float seconds) override {
    NullBackend::Note((label_ + ".Update").c_str(), seconds);
    if (onUpdate) onUpdate(seconds);
  }
  void Draw() override {
    Note(".Draw");
    if (onDraw) onDraw();
  }
  void PreFrame() override {
    Note(".PreFrame");
    if (onPreFrame) onPreFrame();
  }
  void OnEnter() override { Note(".OnEnter"); }
  void OnLeave() override { Note(".OnLeave"); }
  std::string GetName() override { return name_.empty() ? Scene::GetName() : name_; }

  std::function<void(float)> onUpdate;
  std::function<void()> onDraw;
  std::function<void()> onPreFrame;
  std::function<void()> onDestroy;

 private:
  void Note(const char* what) {
    NullBackend::Note((label_ + what).c_str());
    if (std::string(what) == ".~" && onDestroy) onDestroy();
  }
  std::string label_;
  std::string name_;
};
