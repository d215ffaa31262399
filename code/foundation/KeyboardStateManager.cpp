// The per-frame key states by DirectInput key code; the device that feeds
// them lives in KeyboardStateManager_win32.cpp.
#include <bitset>

#include "Input.h"
#include "StartupOrder.h"

QV_STARTUP_MARK(kRowKeyState, "g_keyState");
static std::bitset<256> g_keyState QV_STARTUP(kRowKeyState);
QV_STARTUP_MARK(kRowPreviousKeyState, "PreviousKeyState");
static std::bitset<256> PreviousKeyState QV_STARTUP(kRowPreviousKeyState);

bool IsKeyDown(int key) { return g_keyState.test(key & 0xFF); }

bool IsKeyPressed(int key) { return g_keyState.test(key & 0xFF) && !PreviousKeyState.test(key & 0xFF); }

void ResetKeyStates() {
  g_keyState.reset();
  PreviousKeyState.reset();
}

void AdvanceKeyState(const unsigned char* keys) {
  PreviousKeyState = g_keyState;
  if (!keys) return;
  for (int i = 0; i < 256; ++i) g_keyState.set(i, keys[i] != 0);
}
