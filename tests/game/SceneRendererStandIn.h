// The world renderer's calls from the scenes, stood in for while the
// renderer is not in the build: every call is recorded as text, and tile
// picking answers (1000 + x / 10, 2000 + y / 10) for the screen point (x, y),
// which the tests' recording reskew turns into the file tile (x / 10, y / 10).
#pragma once
#include <functional>
#include <string>
#include <vector>

// "InitRenderer", "UpdateRenderer(0.25)", "RenderWorld", "SetSelectedTile(1040,2030)",
// "PickTile(400,300)", "ShutdownRenderer".
std::vector<std::string>& RendererCalls();
// Called with each call's text as it is recorded (null: nothing).
std::function<void(const std::string&)>& RendererObserver();
