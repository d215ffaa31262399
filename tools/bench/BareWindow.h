// What the two bare window programs of the program benchmark share: the
// window (the size and style the Quorvex programs use), the message loop
// that draws a frame whenever no message waits, and the report of the
// longest frame. Each program adds only its graphics API's set-up, clear
// and present.
#pragma once
#include <windows.h>

#include <cstdio>

namespace bare {

const int kWidth = 800, kHeight = 600;

inline LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A shown window with an 800 x 600 client area, titled as given.
inline HWND MakeWindow(const char* title) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_CLASSDC;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "BareWindow";
  if (!RegisterClassA(&windowClass)) return nullptr;
  const DWORD style = WS_SYSMENU | WS_MINIMIZEBOX;
  RECT rect = {0, 0, kWidth, kHeight};
  AdjustWindowRectEx(&rect, style | WS_CAPTION, FALSE, 0);
  HWND window = CreateWindowExA(0, "BareWindow", title, style, CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                                rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
  if (window) ShowWindow(window, SW_SHOW);
  return window;
}

inline long long Counter() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

// Runs frames until the window is closed, then writes the longest frame
// (from one frame's start to the next) to "bare_window.txt" in the working
// folder. The first second's frames are left out: they carry the driver's
// one-off set-up, which a running program does not meet again. Returns the
// quit message's code.
template <class DrawFrame>
int RunFrames(DrawFrame drawFrame) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const long long first = Counter();
  long long last = 0, longest = 0, frames = 0;
  MSG message = {};
  for (;;) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) break;
      TranslateMessage(&message);
      DispatchMessageA(&message);
      continue;
    }
    const long long now = Counter();
    if (last - first > frequency.QuadPart && now - last > longest) longest = now - last;
    last = now;
    ++frames;
    drawFrame();
    Sleep(0);
  }
  if (FILE* report = std::fopen("bare_window.txt", "w")) {
    std::fprintf(report, "frames %lld\nlongest frame ms %.3f\n", frames,
                 1000.0 * static_cast<double>(longest) / static_cast<double>(frequency.QuadPart));
    std::fclose(report);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace bare
