// Seams of the OpenGL start-up for what a test cannot make the system do: a
// desktop of another colour depth, a pixel format without depth or stencil,
// a display mode the screen refuses. No windows.h here.
#pragma once

// What DescribePixelFormat reported of the format ChoosePixelFormat picked
// (number 0: none found). A filter may change any of it before start-up
// reads it; the format then set is the (possibly changed) number.
struct PixelFormatReport {
  int number;
  int colorBits;
  int depthBits;
  int stencilBits;
};
typedef void (*PixelFormatFilter)(PixelFormatReport* report);
// Null: the driver's report as it is. Returns the filter replaced.
PixelFormatFilter SetPixelFormatFilter(PixelFormatFilter filter);

// The desktop's bits per pixel.
typedef int (*DesktopBitsSource)();
DesktopBitsSource SetDesktopBitsSource(DesktopBitsSource source);

// ChangeDisplaySettingsA: full screen at width x height and the bit depth,
// or, with width 0, back to the desktop's own mode. The result is the
// system's (0 success).
typedef long (*DisplayModeChanger)(int width, int height, int bitsPerPixel);
DisplayModeChanger SetDisplayModeChanger(DisplayModeChanger changer);
