// What the scene tests share: the null backend started as the program starts
// it, a clean input state, and the input a player gives (typed characters,
// keys held, mouse moves, clicks and wheel steps) fed through the same calls
// the window procedure and the main loop use.
#pragma once
#include <string>
#include <vector>

#include "graphics/Texture.h"

namespace G {
class TextWindow;
}

// Starts the null backend (800 x 600) with what the world renderer needs
// (the bone allocator, the program's world data in the working folder), and
// clears input and the draw records; StopSceneGraphics shuts it down again.
void StartSceneGraphics();
void StopSceneGraphics();

void ClearInput();
void TypeText(const std::string& text);
// WM_CHAR of one character (8 for backspace, 13 for Enter).
void TypeChar(unsigned char c);
// WM_KEYDOWN with the extended bit: the cursor block's keys (virtual key).
void TypeKey(int virtualKey);
// The DirectInput snapshot of the next frame: these keys down, all others
// up (AdvanceKeyState, as PollKeyboard takes it).
void HoldKeys(const std::vector<int>& keys);
void MoveMouse(int x, int y);
void PressLeft(int x, int y);
void ReleaseLeft();
// Wheel steps as the mouse state counts them (positive: towards the user).
void TurnWheel(int steps);
// What the main loop does after an update.
void EndFrameInput();

// The chat window's lines as texts, oldest first.
std::vector<std::string> ChatLines(const G::TextWindow& window);

// The drawn immediate-mode blocks that had this texture bound; the smallest
// x and y of their vertices (the sprite's top-left corner).
struct SpriteAt {
  float x, y;
};
std::vector<SpriteAt> SpritesOf(const G::Texture& texture);
