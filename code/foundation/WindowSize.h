// The main window's style and the outer size that gives it a client area of
// a wanted size, shared by the entry point (which creates the window) and a
// backend that resizes it for a new display mode.
#pragma once

// A fixed-size window with a system menu and a minimise box (WS_SYSMENU |
// WS_MINIMIZEBOX; the system adds the caption to such an overlapped window).
extern const unsigned long kMainWindowStyle;

// The outer width and height of a main window whose client area is
// clientWidth x clientHeight, so that area matches the back buffer.
void MainWindowOuterSize(int clientWidth, int clientHeight, int* outerWidth, int* outerHeight);
