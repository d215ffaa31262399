// The program's entry point (WinMain), its one window and its main loop,
// in MainGame.cpp, which each program compiles with its own first scene.
#pragma once
#include "foundation/Input.h"
#include "foundation/Platform.h"

// The instance handle, stored once the window exists (the window class and
// the window themselves are made without one).
extern InstanceHandle g_hInstance;

// Registers the window class and makes the window at the current
// resolution's size; null (logged) on failure.
WindowHandle CreateMainWindow();

// The main loop's clock: a counter and its ticks per second. Tests install
// their own to drive the frame timing exactly.
struct FrameClock {
  long long (*counter)();
  long long (*frequency)();
};
// Installs a clock (null members: the high-resolution counter's) and returns
// the one before.
FrameClock SetFrameClock(FrameClock clock);
