// Keyboard, typed characters and mouse for the main thread: the typed-
// character queue and the mouse state, fed by the window procedure, and a
// DirectInput 8 snapshot of all 256 keys taken once per drawn frame.
#pragma once
#include <cstdint>

#include "Platform.h"

struct HINSTANCE__;
typedef HINSTANCE__* InstanceHandle;

// Codes the typed-character queue holds besides ordinary characters. A
// backspace is queued as kTypedBackspace followed by the character 8.
enum TypedCharCode : unsigned char {
  kTypedBackspace = 0xFF,
  kTypedEnter = 0xFE,
  kTypedInsert = 0xFD,
  kTypedDelete = 0xFC,
  kTypedHome = 0xFB,
  kTypedEnd = 0xFA,
  kTypedPageUp = 0xF9,
  kTypedPageDown = 0xF8,
  kTypedUp = 0xF7,
  kTypedDown = 0xF6,
  kTypedLeft = 0xF5,
  kTypedRight = 0xF4,
};

// Typed-character queue. The window procedure offers every message first to
// HandleCharMessage, then to HandleMouseMessage; true means handled.
bool HandleCharMessage(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam);
bool HasTypedChars();
// The oldest entry, removed; 0 when the queue is empty.
char PopTypedChar();
void ClearTypedChars();

// Keyboard state by DirectInput key code (only the low 8 bits count).
bool InitKeyboard(InstanceHandle instance, WindowHandle window, bool exclusive);
void PollKeyboard();
bool IsKeyDown(int key);
// Down now and up in the previous snapshot.
bool IsKeyPressed(int key);
void ResetKeyStates();
void ReleaseKeyboard();
// PollKeyboard's second half, also usable without a device: the current key
// state becomes the previous one, then the 256 key bytes (non-zero: down)
// become the current one. Null, a failed read, keeps the current state, so
// nothing counts as newly pressed.
void AdvanceKeyState(const unsigned char* keys);

// Mouse state.
bool HandleMouseMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
void GetMousePosition(int* x, int* y);
bool WasLeftClicked();
bool WasRightClicked();
bool IsLeftButtonDown();
bool IsRightButtonDown();
int GetMouseWheel();
void ResetMouseClicks();
