// The mouse state, fed by the window procedure and read by the scenes.
#include "Input.h"

namespace {

constexpr unsigned kMessageMouseMove = 0x0200;    // WM_MOUSEMOVE
constexpr unsigned kMessageLeftDown = 0x0201;     // WM_LBUTTONDOWN
constexpr unsigned kMessageLeftUp = 0x0202;       // WM_LBUTTONUP
constexpr unsigned kMessageRightDown = 0x0204;    // WM_RBUTTONDOWN
constexpr unsigned kMessageRightUp = 0x0205;      // WM_RBUTTONUP
constexpr unsigned kMessageMouseWheel = 0x020A;   // WM_MOUSEWHEEL

// Zero-initialised, no construction code.
struct MouseState {
  int x;
  int y;
  bool leftClicked;
  bool rightClicked;
  bool leftDown;
  bool rightDown;
  int wheel;
};
MouseState s_mouse;

int SignedWord(uintptr_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF)); }

}  // namespace

bool HandleMouseMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kMessageMouseMove:
      // Signed, so positions left of or above the client area (while the
      // mouse is captured) come out negative.
      s_mouse.x = SignedWord(static_cast<uintptr_t>(lParam));
      s_mouse.y = SignedWord(static_cast<uintptr_t>(lParam) >> 16);
      return true;
    case kMessageLeftDown:
      s_mouse.leftClicked = true;
      s_mouse.leftDown = true;
      return true;
    case kMessageRightDown:
      s_mouse.rightClicked = true;
      s_mouse.rightDown = true;
      return true;
    case kMessageLeftUp:
      s_mouse.leftDown = false;
      return false;
    case kMessageRightUp:
      s_mouse.rightDown = false;
      return false;
    case kMessageMouseWheel:
      // Whole notches, positive towards the user; the last message wins.
      s_mouse.wheel = SignedWord(wParam >> 16) / -120;
      return false;
    default:
      return false;
  }
}

void GetMousePosition(int* x, int* y) {
  if (x) *x = s_mouse.x;
  if (y) *y = s_mouse.y;
}

bool WasLeftClicked() { return s_mouse.leftClicked; }
bool WasRightClicked() { return s_mouse.rightClicked; }
bool IsLeftButtonDown() { return s_mouse.leftDown; }
bool IsRightButtonDown() { return s_mouse.rightDown; }
int GetMouseWheel() { return s_mouse.wheel; }

void ResetMouseClicks() {
  s_mouse.leftClicked = false;
  s_mouse.rightClicked = false;
  s_mouse.wheel = 0;
}
