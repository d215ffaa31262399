// Outer window size for a client size, from the system's own frame metrics.
#include "WindowSize.h"

#include <windows.h>

const unsigned long kMainWindowStyle = WS_SYSMENU | WS_MINIMIZEBOX;

void MainWindowOuterSize(int clientWidth, int clientHeight, int* outerWidth, int* outerHeight) {
  RECT rect = {0, 0, clientWidth, clientHeight};
  // An overlapped window always gets a caption, whether or not its style
  // asks for one; the frame must be measured with it.
  if (!AdjustWindowRectEx(&rect, kMainWindowStyle | WS_CAPTION, FALSE, 0)) {
    // The classic frame: 3-pixel borders and a 20-pixel caption. The bare
    // client size would give a client area smaller than the back buffer.
    rect.left = rect.top = 0;
    rect.right = clientWidth + 6;
    rect.bottom = clientHeight + 26;
  }
  *outerWidth = rect.right - rect.left;
  *outerHeight = rect.bottom - rect.top;
}
