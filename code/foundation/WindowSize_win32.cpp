// Windows side of the client-area sizing (AdjustWindowRectEx).
#include "WindowSize.h"

#include <windows.h>

void OuterSizeForClient(unsigned long style, unsigned long extendedStyle, int clientWidth, int clientHeight,
                        int* outerWidth, int* outerHeight) {
  // The system gives every overlapped window (neither popup nor child) a
  // caption, whatever its style asked for.
  if (!(style & (WS_POPUP | WS_CHILD))) style |= WS_CAPTION;
  RECT rect = {0, 0, clientWidth, clientHeight};
  if (!AdjustWindowRectEx(&rect, style, FALSE, extendedStyle)) rect = RECT{0, 0, clientWidth, clientHeight};
  *outerWidth = rect.right - rect.left;
  *outerHeight = rect.bottom - rect.top;
}

bool SetWindowClientSize(WindowHandle window, int width, int height) {
  if (!window) return false;
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
  const DWORD extendedStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
  int outerWidth = 0, outerHeight = 0;
  // A window with a menu bar would need it counted; the program's has none.
  OuterSizeForClient(style, extendedStyle, width, height, &outerWidth, &outerHeight);
  return SetWindowPos(window, nullptr, 0, 0, outerWidth, outerHeight, SWP_NOMOVE | SWP_NOZORDER) != 0;
}
