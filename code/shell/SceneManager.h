// The scene stack: exactly one current scene (the top) is driven by the main
// loop every frame. Removed scenes are deleted only after the frame's update,
// so a scene may replace itself from inside its own Update. The manager also
// draws a frame-rate overlay and keeps per-scene frame-rate statistics.
#pragma once
#include <string>

#include "shell/Scene.h"

// The main loop runs while this is set; the scene stack clears it when it
// becomes empty, which ends the program.
extern bool g_running;

namespace SceneManager {

// Pushes a scene (made with new2; the manager deletes it) and makes it
// current. A null scene is logged and ignored.
void AddScene(Scene* scene);
// Takes the current scene off the stack; it is deleted after the current
// update. Logged when the stack is empty.
void RemoveScene();
// Removes every scene, then pushes this one.
void SetScene(Scene* scene);

// The main loop's calls, once per frame.
void PreFrame();
void Draw();
void Update(float seconds);

// The current scene's name, or "none".
std::string GetCurrentSceneName();
// Removes every scene and writes the statistics (once per run).
void EndAllScenes();
// EndAllScenes, then deletes the removed scenes and the overlay.
void Shutdown();

// The overlay's text ("" while there is no overlay).
std::string OverlayText();
// Back to the state before the first scene was ever pushed (the test
// programs run several lifetimes of the stack in one process).
void ResetForTests();

}  // namespace SceneManager
