// Sizing the main window from the client area it must have: the back buffer
// is the client area, so the frame's allowance comes from the system, not
// from fixed numbers that hold for one theme only.
#pragma once
#include "Platform.h"

// The main window's style: fixed size, system menu and minimise box
// (WS_SYSMENU | WS_MINIMIZEBOX), no extended style, no menu.
constexpr unsigned long kMainWindowStyle = 0x00080000UL | 0x00020000UL;

// The outer size of a window of the style whose client area is
// clientWidth x clientHeight. An overlapped style counts with the caption
// the system adds to it.
void OuterSizeForClient(unsigned long style, unsigned long extendedStyle, int clientWidth, int clientHeight,
                        int* outerWidth, int* outerHeight);

// Resizes the window without moving it (or changing its z-order) so that
// its client area is width x height, by the window's own style. False when
// the window is null or the system refuses.
bool SetWindowClientSize(WindowHandle window, int width, int height);
